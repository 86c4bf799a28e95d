// A real directory tree in a fresh temporary folder, removed with everything in it at the end,
// for the tests of the mirror and of the command. Paths are relative to the tree's root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vessiko::testing {

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  std::string path(const std::string& relative) const { return root_ + "/" + relative; }

  void makeDirectory(const std::string& relative) const;
  // A file of `size` bytes (sparse past its first byte).
  void writeFile(const std::string& relative, uint64_t size = 0) const;
  void rename(const std::string& from, const std::string& to) const;
  // A file, an empty directory, or a directory with everything in it.
  void remove(const std::string& relative) const;
  void symlink(const std::string& target, const std::string& relative) const;
  // Access and modification times, in seconds since 1970.
  void setTimes(const std::string& relative, int64_t access, int64_t modification) const;

  // Every entry below the root, as "D relative/path" or "F relative/path" (anything that is
  // not a directory counts as a file), walked plainly without following links.
  std::vector<std::string> walk() const;

 private:
  std::string root_;
};

}  // namespace vessiko::testing
