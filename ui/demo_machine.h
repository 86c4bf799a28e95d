// The simulated machine of the demo program and of the Windows tests: two NTFS drives, C:
// ("系统") and D: ("资料"), with a demo tree of a few thousand folders and files with Chinese
// and English names, sizes, times and attributes: a Windows installation, programs, a user's
// documents and downloads, photos, music, books, films and a software project.
//
// The tree is the same on every run (a fixed seed), so the tests can count on its entries.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/sim_machine.h"
#include "search/scope_list.h"

namespace vessiko {

// The keys of the simulated folders by their paths ("C:\Users\小明\文档"), for the scope
// panel's folder browser; a path the tree does not hold is refused.
class DemoFolders final : public FolderResolver {
 public:
  void add(std::u16string path, EntryKey key);
  bool folderKey(std::u16string_view path, EntryKey* key) override;

 private:
  std::mutex mutex_;
  std::map<std::u16string, EntryKey, std::less<>> keys_;
};

// Makes folders and files on one simulated volume, without journal records (as if they were
// there before the program started), and notes each folder's path and key.
class SimTreeBuilder {
 public:
  SimTreeBuilder(SimVolume& volume, char letter, DemoFolders& folders);

  uint64_t root() const { return SimVolume::kRootDirectory; }
  // Each returns the new entry's reference, or 0 when the simulated volume refused it.
  // Without times an entry takes the volume's clock.
  uint64_t folder(uint64_t parent, std::u16string_view name, uint32_t attributes = 0,
                  std::optional<FileTimes> times = std::nullopt);
  uint64_t file(uint64_t parent, std::u16string_view name, uint64_t size, uint32_t attributes = 0,
                std::optional<FileTimes> times = std::nullopt);

 private:
  SimVolume& volume_;
  char16_t letter_;
  DemoFolders& folders_;
  std::map<uint64_t, std::u16string> paths_;
};

void FillDemoMachine(SimMachine& machine, DemoFolders& folders);

}  // namespace vessiko
