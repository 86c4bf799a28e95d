// An index for tests: its own heap and message recorder, the shipped collation, and helpers
// that add directories and files by UTF-8 name the way the enumeration does.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "index/index.h"
#include "platform/fakes/recording_messages.h"

namespace vessiko::testing {

// The UTF-8 text of a packed name.
std::string DecodeToUtf8(const uint8_t* bytes, uint32_t length);

class TestIndex {
 public:
  // With the given system heap instead of a private one (tests of memory failures).
  explicit TestIndex(Heap* heap = nullptr);

  Index& index() { return index_; }
  RecordingMessages& messages() { return messages_; }
  PrivateHeap& heap() { return *heap_; }

  // A record built as the enumeration builds it, with an unresolved parent link (an EntryKey);
  // not yet in any list.
  RecordRef makeDir(EntryKey key, EntryKey parentKey, std::string_view name);
  RecordRef makeFile(uint32_t recordNumber, EntryKey parentKey, std::string_view name);
  // A file record's bytes in a scratch buffer, built as a removal probe is built.
  std::vector<uint8_t> fileProbe(uint32_t recordNumber, std::string_view name);
  std::vector<uint8_t> dirProbe(EntryKey key, std::string_view name);

  // The displayed name: directory name, or base name + "." + extension.
  std::string dirName(RecordRef dir) const;
  std::string fileName(RecordRef file) const;

  // "C:\\a\\b" for a linked directory record.
  std::string pathOf(RecordRef dir) const;
  // The path of a linked file: its folder's path, a backslash, its name.
  std::string filePath(RecordRef file) const;

  std::vector<RecordRef> dirsInOrder() const;
  std::vector<RecordRef> filesInOrder() const;

 private:
  RecordingMessages messages_;
  std::unique_ptr<PrivateHeap> heap_;
  Index index_;
};

}  // namespace vessiko::testing
