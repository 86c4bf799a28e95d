#include "mirror/mirror_state.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "platform/little_endian.h"

namespace vessiko {

namespace {

constexpr char kMagic[8] = {'V', 'S', 'K', 'M', 'I', 'R', 'R', '\x1A'};
// Version 1 kept a name's length in one byte, too few for names counted in UTF-16 units;
// version 2 kept every entry's fields whole, its parent by number and a change time for files.
constexpr uint32_t kVersion = 3;
constexpr size_t kHeaderBytes = 58;
// The fewest bytes an entry takes (a name of one byte), and the most.
constexpr size_t kEntryMinBytes = 5;
constexpr size_t kVarintMaxBytes = 10;
constexpr size_t kEntryMaxBytes = 4 * kVarintMaxBytes + kMaxNameBytes + 8;
// Pieces of the file as it is written, and blocks as it is read.
constexpr size_t kBlockBytes = 1 << 20;

// CRC-32 (IEEE), carried across blocks: start from 0, feed every block in order. Eight bytes
// a step (slicing by eight): the state is tens of megabytes, read and written at every start.
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t n) {
  static const auto tables = [] {
    std::array<std::array<uint32_t, 256>, 8> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
      for (size_t k = 1; k < 8; ++k)
        t[k][i] = t[0][t[k - 1][i] & 0xFF] ^ (t[k - 1][i] >> 8);
    }
    return t;
  }();
  uint32_t c = ~crc;
  for (; n >= 8; n -= 8, data += 8) {
    const uint32_t low = LoadU32(data) ^ c;
    const uint32_t high = LoadU32(data + 4);
    c = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
        tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^
        tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
  }
  for (; n > 0; --n, ++data)
    c = tables[0][(c ^ *data) & 0xFF] ^ (c >> 8);
  return ~c;
}

uint64_t Zigzag(int64_t v) {
  return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}
int64_t Unzigzag(uint64_t v) {
  return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
}

// Writes into pieces of about a block each: no buffer of the whole file, and none that grows.
class PieceWriter {
 public:
  // Room for n more bytes in the piece being written.
  void reserve(size_t n) {
    if (pieces_.empty() || pieces_.back().capacity() - pieces_.back().size() < n) {
      pieces_.emplace_back().reserve(std::max(kBlockBytes, n));
    }
  }
  void u16(uint16_t v) { little(v, 2); }
  void u32(uint32_t v) { little(v, 4); }
  void u64(uint64_t v) { little(v, 8); }
  void varint(uint64_t v) {
    for (; v >= 0x80; v >>= 7)
      pieces_.back().push_back(static_cast<uint8_t>(v | 0x80));
    pieces_.back().push_back(static_cast<uint8_t>(v));
  }
  void bytes(std::string_view s) {
    pieces_.back().insert(pieces_.back().end(), s.begin(), s.end());
  }

  std::vector<std::vector<uint8_t>>& pieces() { return pieces_; }

 private:
  void little(uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
      pieces_.back().push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<std::vector<uint8_t>> pieces_;
};

// Reads the file's body (all but its checksum) a block at a time, the checksum taken as it
// comes. Every read is checked against what is left.
class BlockReader {
 public:
  // Room for a block beside the rest of an entry or of the root's path, or for the whole body
  // when it is smaller.
  BlockReader(FileReader& file, uint64_t body)
      : file_(file),
        left_(body),
        buffer_(
            static_cast<size_t>(std::min<uint64_t>(body, kBlockBytes + kEntryMaxBytes + 65536))) {}

  // Makes n bytes readable, or all that is left when fewer are; false on a read error.
  bool fill(size_t n) {
    if (end_ - at_ >= n || left_ == 0) return true;
    std::memmove(buffer_.data(), buffer_.data() + at_, end_ - at_);
    end_ -= at_;
    at_ = 0;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left_, buffer_.size() - end_));
    size_t got = 0;
    uint32_t error = 0;
    if (!file_.read(buffer_.data() + end_, want, &got, &error) || got != want) return false;
    crc_ = Crc32(crc_, buffer_.data() + end_, got);
    end_ += got;
    left_ -= got;
    return true;
  }
  bool has(size_t n) const { return end_ - at_ >= n; }
  uint8_t u8() { return buffer_[at_++]; }
  uint16_t u16() { return static_cast<uint16_t>(advance(LoadU16(here()), 2)); }
  uint32_t u32() { return static_cast<uint32_t>(advance(LoadU32(here()), 4)); }
  uint64_t u64() { return advance(LoadU64(here()), 8); }
  bool varint(uint64_t* v) {
    *v = 0;
    for (size_t i = 0; i < kVarintMaxBytes && at_ < end_; ++i) {
      const uint8_t b = buffer_[at_++];
      // The tenth byte holds the top bit alone.
      if (i == kVarintMaxBytes - 1 && b > 1) return false;
      *v |= uint64_t{b & 0x7Fu} << (7 * i);
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
  std::string_view bytes(size_t n) {
    const std::string_view s(reinterpret_cast<const char*>(here()), n);
    at_ += n;
    return s;
  }
  bool atEnd() const { return at_ == end_ && left_ == 0; }
  uint32_t crc() const { return crc_; }

 private:
  const uint8_t* here() const { return buffer_.data() + at_; }
  uint64_t advance(uint64_t v, size_t n) {
    at_ += n;
    return v;
  }

  FileReader& file_;
  uint64_t left_;
  std::vector<uint8_t> buffer_;
  size_t at_ = 0;
  size_t end_ = 0;
  uint32_t crc_ = 0;
};

bool ValidName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace

bool WriteMirrorState(Files& files, const std::string& path, const MirrorStateHeader& state,
                      const MirrorTree& tree, uint32_t* error) {
  const MirrorNode& root = *tree.node(kRootNode);
  PieceWriter out;
  out.reserve(kHeaderBytes + state.rootPath.size());
  out.bytes(std::string_view(kMagic, sizeof kMagic));
  out.u32(kVersion);
  out.u64(state.journalId);
  out.u64(static_cast<uint64_t>(state.nextUsn));
  out.u64(state.rootDevice);
  out.u64(root.inode);
  out.u64(tree.changeTime(kRootNode));
  out.u32(tree.entryCount());
  out.u16(static_cast<uint16_t>(state.rootPath.size()));
  out.bytes(state.rootPath);
  // The path from the root to the entry before: in preorder, every parent is on it.
  std::vector<uint32_t> chain{kRootNode};
  uint32_t record = kRootNode;
  uint64_t inode = root.inode;
  tree.forEachBelow(kRootNode, [&](uint32_t n, const MirrorNode& node) {
    uint64_t up = 0;
    for (; chain.back() != node.parent; ++up)
      chain.pop_back();
    chain.push_back(n);
    const std::string_view name = tree.name(n);
    out.reserve(kEntryMaxBytes);
    out.varint(up);
    out.varint(Zigzag(int64_t{n} - int64_t{record}));
    out.varint(Zigzag(static_cast<int64_t>(node.inode - inode)));
    out.varint(uint64_t{name.size()} << 2 | static_cast<uint8_t>(node.kind()));
    out.bytes(name);
    if (node.kind() == NodeKind::kDirectory) out.u64(tree.changeTime(n));
    record = n;
    inode = node.inode;
  });
  uint32_t crc = 0;
  for (const std::vector<uint8_t>& piece : out.pieces())
    crc = Crc32(crc, piece.data(), piece.size());
  out.reserve(4);
  out.u32(crc);
  std::vector<std::span<const uint8_t>> pieces(out.pieces().begin(), out.pieces().end());
  return files.replaceWith(path, pieces, error);
}

std::unique_ptr<MirrorTree> ReadMirrorState(Files& files, const std::string& path,
                                            MirrorStateHeader* header) {
  uint32_t error = 0;
  const std::unique_ptr<FileReader> file = files.openForRead(path, &error);
  uint64_t size = 0;
  if (!file || !file->size(&size, &error) || size < kHeaderBytes + 4 || size > (1ULL << 34)) {
    return nullptr;
  }
  BlockReader in(*file, size - 4);
  if (!in.fill(kHeaderBytes) || !in.has(kHeaderBytes) ||
      in.bytes(sizeof kMagic) != std::string_view(kMagic, sizeof kMagic) || in.u32() != kVersion) {
    return nullptr;
  }
  MirrorStateHeader read;
  read.journalId = in.u64();
  read.nextUsn = static_cast<int64_t>(in.u64());
  read.rootDevice = in.u64();
  const uint64_t rootInode = in.u64();
  const uint64_t rootChangeTime = in.u64();
  const uint32_t count = in.u32();
  const uint16_t pathLength = in.u16();
  if (!in.fill(pathLength) || !in.has(pathLength) || read.nextUsn < 0) return nullptr;
  read.rootPath = std::string(in.bytes(pathLength));
  if (read.rootPath.empty() || read.rootPath[0] != '/' || count > size / kEntryMinBytes) {
    return nullptr;
  }
  auto made = std::make_unique<MirrorTree>(rootInode);
  MirrorTree& tree = *made;
  tree.setChangeTime(kRootNode, rootChangeTime);
  tree.deferNames();
  std::vector<uint32_t> chain{kRootNode};
  uint32_t record = kRootNode;
  uint64_t inode = rootInode;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t up = 0;
    uint64_t recordStep = 0;
    uint64_t inodeStep = 0;
    uint64_t lengthAndKind = 0;
    if (!in.fill(kEntryMaxBytes) || !in.varint(&up) || up >= chain.size() ||
        !in.varint(&recordStep) || !in.varint(&inodeStep) || !in.varint(&lengthAndKind)) {
      return nullptr;
    }
    const int64_t n = int64_t{record} + Unzigzag(recordStep);
    const uint64_t nameLength = lengthAndKind >> 2;
    const auto kind = static_cast<NodeKind>(lengthAndKind & 3);
    if (n < kFirstEntryNode || n >= kRecordLimit || kind == NodeKind::kFree ||
        nameLength > kMaxNameBytes || !in.has(nameLength)) {
      return nullptr;
    }
    const std::string_view name = in.bytes(nameLength);
    uint64_t changeTime = 0;
    if (kind == NodeKind::kDirectory) {
      if (!in.has(8)) return nullptr;
      changeTime = in.u64();
    }
    chain.resize(chain.size() - up);
    const uint32_t parent = chain.back();
    record = static_cast<uint32_t>(n);
    inode += static_cast<uint64_t>(Unzigzag(inodeStep));
    if (tree.node(record) != nullptr || tree.node(parent)->kind() != NodeKind::kDirectory ||
        !ValidName(name)) {
      return nullptr;
    }
    tree.add(record, parent, name, kind, inode, changeTime);
    chain.push_back(record);
  }
  uint8_t crc[4];
  size_t got = 0;
  if (!in.atEnd() || !file->read(crc, sizeof crc, &got, &error) || got != sizeof crc ||
      LoadU32(crc) != in.crc() || !tree.indexNames(true)) {
    return nullptr;
  }
  *header = std::move(read);
  return made;
}

}  // namespace vessiko
