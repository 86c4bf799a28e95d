#include "tests/support/search_fixture.h"

#include "index/sort_entries.h"
#include "platform/utf.h"

namespace vessiko::testing {

bool MapFolderResolver::folderKey(std::u16string_view path, EntryKey* key) {
  const auto it = keys.find(std::u16string(path));
  if (it == keys.end()) return false;
  *key = it->second;
  return true;
}

SearchFixture::SearchFixture(const std::string& drives) {
  Index& index = t.index();
  index.extensions.seedBuiltins();
  int row = 0;
  for (char drive : drives) {
    const uint32_t volume = static_cast<uint32_t>(drive - 'A');
    const RecordRef root = index.dirArena.allocate(DirEntry::kRootBytes);
    DirEntry::initRoot(index.dirArena.at(root), volume);
    index.dirs.append(root);
    index.dirMap.insert(RootKey(volume), root);
    roots_[drive] = root;
    const std::u16string label =
        u"Disk (" + std::u16string(1, static_cast<char16_t>(drive)) + u":)";
    scope.insertRow(row, label, true);
    scope.setSecondColumn(row, u"是");
    ++row;
  }
}

RecordRef SearchFixture::addDir(RecordRef parent, const std::string& name) {
  const EntryKey key = MakeEntryKey(VolumeOf(t.index().dir(parent).key()), nextRecord_++);
  const RecordRef dir = t.makeDir(key, parent, name);
  t.index().dirs.append(dir);
  t.index().dirMap.insert(key, dir);
  folders.keys[Utf8ToUtf16(t.pathOf(dir))] = key;
  return dir;
}

RecordRef SearchFixture::addFile(RecordRef parent, const std::string& name) {
  const RecordRef file = t.makeFile(nextRecord_++, parent, name);
  t.index().files.append(file);
  return file;
}

void SearchFixture::finish() {
  Index& index = t.index();
  std::vector<RecordRef> refs = t.dirsInOrder();
  sortEntryPointers(refs.data(), refs.size(), index.dirOrder());
  index.dirs.copyFrom(refs.data());
  refs = t.filesInOrder();
  sortEntryPointers(refs.data(), refs.size(), index.fileOrder());
  index.files.copyFrom(refs.data());
  ui.searchEnabled = true;
}

std::vector<std::string> SearchFixture::results() {
  std::vector<std::string> out;
  for (uint32_t i = 0; i < state.dirResults.count(); ++i) {
    out.push_back("D " + t.pathOf(state.dirResults.itemAt(i)));
  }
  for (uint32_t i = 0; i < state.fileResults.count(); ++i) {
    out.push_back("F " + t.filePath(state.fileResults.itemAt(i)));
  }
  return out;
}

std::vector<std::string> SearchFixture::search(const std::string& name,
                                               const std::string& extension) {
  RunSearch(context, {Utf8ToUtf16(name), Utf8ToUtf16(extension)});
  return results();
}

void SearchFixture::searchWith(std::atomic<bool>& flag) {
  flag = true;
  RepeatSearch(context);
}

}  // namespace vessiko::testing
