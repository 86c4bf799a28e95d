#include "store/extension_database.h"

#include <span>

#include "index/heap_array.h"
#include "index/packed_name.h"
#include "store/byte_buffer.h"

namespace vessiko {

namespace {

constexpr uint32_t kUnknownIcon = 0xFFFFFFFD;
// An entry holds at least its index, its icon and the terminating unit.
constexpr size_t kSmallestEntry = 10;
// No file larger than a table of every possible index could be; also bounds what is read.
constexpr uint64_t kLargestFile = 1ULL << 31;

}  // namespace

bool EncodeExtensionDatabase(const ExtensionTable& table, ByteWriter& out) {
  const uint32_t count = table.count();
  out.u32(count);
  for (uint32_t position = 0; position < count; ++position) {
    const int32_t index = table.sortedIndexAt(position);
    const char16_t* text = table.extensionText(index);
    out.u32(static_cast<uint32_t>(index));
    out.u32(kUnknownIcon);
    for (const char16_t* u = text; *u != 0; ++u)
      out.u16(*u);
    out.u16(0);
  }
  return out.ok();
}

void SaveExtensionDatabase(const std::string& path, const ExtensionTable& table, Files& files,
                           UserMessages& messages) {
  PrivateHeap heap(messages, ProcessHeap());
  ByteWriter image(heap);
  if (!EncodeExtensionDatabase(table, image)) return;
  const std::span<const uint8_t> pieces[] = {image.written()};
  uint32_t error = 0;
  if (!files.replaceWith(path, pieces, &error)) ShowExtensionSaveFailure(messages, error);
}

void ShowExtensionSaveFailure(UserMessages& messages, uint32_t error) {
  ShowError(messages, "写入扩展名文件失败:%d", static_cast<int>(error));
}

int LoadExtensionDatabase(const std::string& path, ExtensionTable& table, Files& files,
                          UserMessages& messages) {
  const auto readFailed = [&messages](uint32_t error) {
    ShowError(messages, "读扩展名文件失败:%d", static_cast<int>(error));
    return 0;
  };
  uint32_t error = 0;
  std::unique_ptr<FileReader> reader = files.openForRead(path, &error);
  if (reader == nullptr) return readFailed(error);
  uint64_t size = 0;
  if (!reader->size(&size, &error)) return readFailed(error);
  if (size > kLargestFile) return readFailed(0);
  // The table keeps its heap to itself; the file's bytes come from the process's heap, told as a
  // private heap tells a failure.
  PrivateHeap heap(messages, ProcessHeap());
  HeapArray<uint8_t> bytes(heap, size);
  if (!bytes.ok()) {
    heap.reportFailure();
    return 0;
  }
  size_t got = 0;
  if (!reader->read(bytes.begin(), bytes.size(), &got, &error)) return readFailed(error);
  if (got != size) return readFailed(0);
  reader.reset();

  ByteReader in(bytes.begin(), bytes.end());
  const uint32_t count = in.u32();
  if (!in.ok() || count > in.left() / kSmallestEntry || !table.beginRestore(count)) return 0;
  // An extension is a part of a file name, so never longer than one.
  char16_t text[kMaxNameUnits];
  for (uint32_t position = 0; position < count; ++position) {
    const auto index = static_cast<int32_t>(in.u32());
    in.u32();  // the icon: looked up again anyway
    uint32_t length = 0;
    for (char16_t unit = in.u16(); in.ok() && unit != 0; unit = in.u16()) {
      if (length == kMaxNameUnits) return 0;
      text[length++] = unit;
    }
    if (!in.ok() || index < 0 || !table.restore(position, index, text, length)) return 0;
  }
  // Every index below N restored once (N records, distinct indexes) and nothing left over.
  return in.left() == 0 ? 1 : 0;
}

}  // namespace vessiko
