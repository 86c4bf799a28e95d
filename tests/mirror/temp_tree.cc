#include "tests/mirror/temp_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace vessiko::testing {

namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what);
}

void RemoveAll(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    if (DIR* dir = opendir(path.c_str())) {
      while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") RemoveAll(path + "/" + name);
      }
      closedir(dir);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

void WalkInto(const std::string& root, const std::string& relative, std::vector<std::string>* out) {
  DIR* dir = opendir((root + "/" + relative).c_str());
  if (dir == nullptr) return;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string child = relative.empty() ? name : relative + "/" + name;
    struct stat st {};
    lstat((root + "/" + child).c_str(), &st);
    out->push_back((S_ISDIR(st.st_mode) ? "D " : "F ") + child);
    if (S_ISDIR(st.st_mode)) WalkInto(root, child, out);
  }
  closedir(dir);
}

}  // namespace

TempTree::TempTree() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/vessiko-tree-XXXXXX";
  Check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  char resolved[PATH_MAX];
  Check(realpath(pattern.c_str(), resolved) != nullptr, "realpath");
  root_ = resolved;
}

TempTree::~TempTree() {
  RemoveAll(root_);
}

void TempTree::makeDirectory(const std::string& relative) const {
  Check(mkdir(path(relative).c_str(), 0755) == 0, "mkdir " + relative);
}

void TempTree::writeFile(const std::string& relative, uint64_t size) const {
  const int fd = open(path(relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  Check(fd >= 0, "create " + relative);
  if (size > 0) {
    Check(ftruncate(fd, static_cast<off_t>(size - 1)) == 0, "truncate " + relative);
    Check(pwrite(fd, "x", 1, static_cast<off_t>(size - 1)) == 1, "write " + relative);
  }
  close(fd);
}

void TempTree::rename(const std::string& from, const std::string& to) const {
  Check(::rename(path(from).c_str(), path(to).c_str()) == 0, "rename " + from);
}

void TempTree::remove(const std::string& relative) const {
  RemoveAll(path(relative));
}

void TempTree::symlink(const std::string& target, const std::string& relative) const {
  Check(::symlink(target.c_str(), path(relative).c_str()) == 0, "symlink " + relative);
}

void TempTree::setTimes(const std::string& relative, int64_t access, int64_t modification) const {
  const timespec times[2] = {{static_cast<time_t>(access), 0},
                             {static_cast<time_t>(modification), 0}};
  Check(utimensat(AT_FDCWD, path(relative).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0,
        "utimensat " + relative);
}

std::vector<std::string> TempTree::walk() const {
  std::vector<std::string> out;
  WalkInto(root_, "", &out);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace vessiko::testing
