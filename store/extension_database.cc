#include "store/extension_database.h"

#include <span>
#include <vector>

#include "store/byte_buffer.h"

namespace vessiko {

namespace {

constexpr uint32_t kUnknownIcon = 0xFFFFFFFD;
// An entry holds at least its index, its icon and the terminating unit.
constexpr size_t kSmallestEntry = 10;
// No file larger than a table of every possible index could be; also bounds what is read.
constexpr uint64_t kLargestFile = 1ULL << 31;

// Reads a whole file into bytes. False with the system error when it cannot be opened, sized
// or read whole.
bool readWholeFile(Files& files, const std::string& path, std::vector<uint8_t>* bytes,
                   uint32_t* error) {
  std::unique_ptr<FileReader> reader = files.openForRead(path, error);
  if (reader == nullptr) return false;
  uint64_t size = 0;
  if (!reader->size(&size, error)) return false;
  if (size > kLargestFile) {
    *error = 0;
    return false;
  }
  bytes->resize(size);
  size_t got = 0;
  if (!reader->read(bytes->data(), bytes->size(), &got, error)) return false;
  if (got != size) {
    *error = 0;
    return false;
  }
  return true;
}

}  // namespace

void SaveExtensionDatabase(const std::string& path, const ExtensionTable& table, Files& files,
                           UserMessages& messages) {
  std::vector<uint8_t> image;
  ByteWriter out(image);
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
  const std::span<const uint8_t> pieces[] = {image};
  uint32_t error = 0;
  if (!files.replaceWith(path, pieces, &error)) {
    ShowError(messages, "写入扩展名文件失败:%d", static_cast<int>(error));
  }
}

int LoadExtensionDatabase(const std::string& path, ExtensionTable& table, Files& files,
                          UserMessages& messages) {
  std::vector<uint8_t> bytes;
  uint32_t error = 0;
  if (!readWholeFile(files, path, &bytes, &error)) {
    ShowError(messages, "读扩展名文件失败:%d", static_cast<int>(error));
    return 0;
  }
  ByteReader in(bytes.data(), bytes.data() + bytes.size());
  const uint32_t count = in.u32();
  if (!in.ok() || count > in.left() / kSmallestEntry || !table.beginRestore(count)) return 0;
  std::u16string text;
  for (uint32_t position = 0; position < count; ++position) {
    const auto index = static_cast<int32_t>(in.u32());
    in.u32();  // the icon: looked up again anyway
    text.clear();
    for (char16_t unit = in.u16(); in.ok() && unit != 0; unit = in.u16())
      text.push_back(unit);
    if (!in.ok() || index < 0 ||
        !table.restore(position, index, text.data(), static_cast<uint32_t>(text.size()))) {
      return 0;
    }
  }
  // Every index below N restored once (N records, distinct indexes) and nothing left over.
  return in.left() == 0 ? 1 : 0;
}

}  // namespace vessiko
