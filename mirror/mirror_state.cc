#include "mirror/mirror_state.h"

#include <array>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "platform/little_endian.h"

namespace vessiko {

namespace {

constexpr char kMagic[8] = {'V', 'S', 'K', 'M', 'I', 'R', 'R', '\x1A'};
// Version 1 kept a name's length in one byte, too few for names counted in UTF-16 units.
constexpr uint32_t kVersion = 2;
constexpr size_t kHeaderBytes = 58;
constexpr size_t kEntryFixedBytes = 27;
// Record numbers must fit an EntryKey's 27 bits.
constexpr uint32_t kRecordLimit = 1u << 27;

uint32_t Crc32(const uint8_t* data, size_t n) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i)
    c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.resize(out.size() + 2);
  StoreU16(out.data() + out.size() - 2, v);
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  out.resize(out.size() + 4);
  StoreU32(out.data() + out.size() - 4, v);
}
void PutU64(std::vector<uint8_t>& out, uint64_t v) {
  out.resize(out.size() + 8);
  StoreU64(out.data() + out.size() - 8, v);
}

// Reads forward through a byte range; every read is checked against the end.
class Reader {
 public:
  Reader(const uint8_t* p, size_t n) : p_(p), end_(p + n) {}
  bool has(size_t n) const { return static_cast<size_t>(end_ - p_) >= n; }
  uint8_t u8() { return *p_++; }
  uint16_t u16() { return advance(LoadU16(p_), 2); }
  uint32_t u32() { return advance(LoadU32(p_), 4); }
  uint64_t u64() { return advance(LoadU64(p_), 8); }
  std::string_view bytes(size_t n) {
    const std::string_view s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }
  bool atEnd() const { return p_ == end_; }
  size_t remaining() const { return static_cast<size_t>(end_ - p_); }

 private:
  template <class T>
  T advance(T value, size_t n) {
    p_ += n;
    return value;
  }
  const uint8_t* p_;
  const uint8_t* end_;
};

bool ValidName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace

bool WriteMirrorState(Files& files, const std::string& path, const MirrorStateHeader& state,
                      const MirrorTree& tree, uint32_t* error) {
  const MirrorNode& root = *tree.node(kRootNode);
  std::vector<uint8_t> out;
  out.reserve(kHeaderBytes + state.rootPath.size() + tree.entryCount() * (kEntryFixedBytes + 16));
  out.insert(out.end(), kMagic, kMagic + sizeof kMagic);
  PutU32(out, kVersion);
  PutU64(out, state.journalId);
  PutU64(out, static_cast<uint64_t>(state.nextUsn));
  PutU64(out, state.rootDevice);
  PutU64(out, root.inode);
  PutU64(out, root.changeTime);
  PutU32(out, tree.entryCount());
  PutU16(out, static_cast<uint16_t>(state.rootPath.size()));
  out.insert(out.end(), state.rootPath.begin(), state.rootPath.end());
  tree.forEachBelow(kRootNode, [&](uint32_t n, const MirrorNode& node) {
    PutU32(out, n);
    PutU32(out, node.parent);
    PutU64(out, node.inode);
    PutU64(out, node.changeTime);
    out.push_back(static_cast<uint8_t>(node.kind));
    const std::string_view name = tree.name(n);
    PutU16(out, static_cast<uint16_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
  });
  PutU32(out, Crc32(out.data(), out.size()));
  const std::span<const uint8_t> piece(out);
  return files.replaceWith(path, std::span(&piece, 1), error);
}

std::unique_ptr<MirrorTree> ReadMirrorState(Files& files, const std::string& path,
                                            MirrorStateHeader* header) {
  uint32_t error = 0;
  const std::unique_ptr<FileReader> file = files.openForRead(path, &error);
  uint64_t size = 0;
  if (!file || !file->size(&size, &error) || size < kHeaderBytes + 4 || size > (1ULL << 34)) {
    return nullptr;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  size_t got = 0;
  if (!file->read(bytes.data(), bytes.size(), &got, &error) || got != bytes.size()) return nullptr;
  const size_t body = bytes.size() - 4;
  if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0 ||
      LoadU32(bytes.data() + body) != Crc32(bytes.data(), body)) {
    return nullptr;
  }
  Reader in(bytes.data() + sizeof kMagic, body - sizeof kMagic);
  if (in.u32() != kVersion) return nullptr;
  MirrorStateHeader read;
  read.journalId = in.u64();
  read.nextUsn = static_cast<int64_t>(in.u64());
  read.rootDevice = in.u64();
  const uint64_t rootInode = in.u64();
  const uint64_t rootChangeTime = in.u64();
  const uint32_t count = in.u32();
  const uint16_t pathLength = in.u16();
  if (!in.has(pathLength) || read.nextUsn < 0) return nullptr;
  read.rootPath = std::string(in.bytes(pathLength));
  if (read.rootPath.empty() || read.rootPath[0] != '/') return nullptr;
  auto made = std::make_unique<MirrorTree>(rootInode);
  MirrorTree& tree = *made;
  tree.setChangeTime(kRootNode, rootChangeTime);
  if (count > in.remaining() / kEntryFixedBytes) return nullptr;
  tree.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (!in.has(kEntryFixedBytes)) return nullptr;
    const uint32_t n = in.u32();
    const uint32_t parent = in.u32();
    const uint64_t inode = in.u64();
    const uint64_t changeTime = in.u64();
    const uint8_t kind = in.u8();
    const uint16_t nameLength = in.u16();
    if (!in.has(nameLength)) return nullptr;
    const std::string_view name = in.bytes(nameLength);
    const MirrorNode* parentNode = tree.node(parent);
    if (n < kFirstEntryNode || n >= kRecordLimit || tree.node(n) != nullptr ||
        parentNode == nullptr || parentNode->kind != NodeKind::kDirectory || kind < 1 || kind > 3 ||
        !ValidName(name) ||
        !tree.add(n, parent, name, static_cast<NodeKind>(kind), inode, changeTime, true)) {
      return nullptr;
    }
  }
  if (!in.atEnd()) return nullptr;
  *header = std::move(read);
  return made;
}

}  // namespace vessiko
