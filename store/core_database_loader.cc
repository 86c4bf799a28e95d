#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "index/heap_array.h"
#include "index/packed_name.h"
#include "index/rooted_directories.h"
#include "store/byte_buffer.h"
#include "store/core_database.h"

namespace vessiko {

namespace {

constexpr uint64_t kLargestFile = UINT32_MAX;  // the size field has 32 bits
constexpr uint32_t kFlagBit = 1u << 20;

struct Header {
  uint32_t size, h, d, f, dirs, files;
  uint16_t year, month, day, hour;
};

bool ReadHeader(ByteReader& in, uint64_t fileSize, Header* hd) {
  hd->size = in.u32();
  hd->h = in.u32();
  hd->d = in.u32();
  hd->f = in.u32();
  const uint32_t magic1 = in.u32();
  const uint32_t magic2 = in.u32();
  const uint32_t version = in.u32();
  hd->dirs = in.u32();
  hd->files = in.u32();
  hd->year = in.u16();
  hd->month = in.u16();
  hd->day = in.u16();
  hd->hour = in.u16();
  return in.ok() && hd->dirs != 0 && hd->size == fileSize && hd->h >= kCoreSmallestHeader &&
         static_cast<uint64_t>(hd->d) - hd->h == 4ULL * hd->dirs && hd->d >= hd->h &&
         hd->f >= hd->d && hd->f <= hd->size && magic1 == kCoreMagic1 && magic2 == kCoreMagic2 &&
         version == kCoreVersion;
}

// A name made of the previous record's first p bytes and q new ones: well formed, of at most
// 255 units, with the non-ASCII flag saying whether it holds a three-byte unit.
bool ValidName(const uint8_t* name, uint32_t length, bool nonAscii) {
  if (length == 0 || length > kMaxPackedNameBytes || !IsWellFormedPackedName(name, length)) {
    return false;
  }
  uint32_t units = 0;
  bool marker = false;
  for (uint32_t i = 0; i < length; ++units) {
    if (name[i] >= 0x80) {
      marker = true;
      i += 3;
    } else {
      ++i;
    }
  }
  return units <= kMaxNameUnits && marker == nonAscii;
}

class Loader {
 public:
  // A directory takes four bytes of the table, so the tables are no larger than the file.
  Loader(CoreDatabaseContext& c, const uint8_t* bytes, const Header& hd)
      : index_(c.index),
        bytes_(bytes),
        positions_(c.index.heap, hd.dirs),
        chunkStarts_(c.index.heap, hd.dirs + 1ULL),
        refs_(c.index.heap, hd.dirs) {}

  // The records after the header; false on the first inconsistency, or when memory ran out
  // (told).
  bool loadRecords(const Header& hd, int64_t* highestExtension) {
    if (!positions_.ok() || !chunkStarts_.ok() || !refs_.ok()) {
      index_.heap.reportFailure();
      return false;
    }
    return loadDirectories(hd) && loadTable(hd) && everyDirectoryReachesARoot() &&
           loadFiles(hd, highestExtension);
  }

 private:
  // The position (list order) of the directory record at a RecordIndex, -1 for none. The
  // search stays inside the record's chunk: a few neighbouring entries instead of a binary
  // search over every directory, for each of millions of files.
  int64_t directoryAt(RecordIndex position) const {
    const uint32_t chunk = position >> 16;
    if (chunk >= chunks_) return -1;
    const RecordIndex* first = positions_.begin() + chunkStarts_[chunk];
    const RecordIndex* last = positions_.begin() + chunkStarts_[chunk + 1];
    const auto it = std::lower_bound(first, last, position);
    if (it == last || *it != position) return -1;
    return it - positions_.begin();
  }

  bool loadDirectories(const Header& hd) {
    ByteReader in(bytes_ + hd.d, bytes_ + hd.f);
    const uint8_t* previous = nullptr;
    uint32_t previousLength = 0;
    uint8_t name[2 * kMaxPackedNameBytes];
    for (uint32_t i = 0; i < hd.dirs; ++i) {
      const EntryKey key = in.u32();
      const uint32_t parent = in.u32();
      const uint32_t lengths = in.u24();
      const uint32_t p = lengths & 0x3FF;
      const uint32_t q = lengths >> 10 & 0x3FF;
      const uint8_t* suffix = in.bytes(q);
      if (!in.ok() || (lengths >> 21) != 0 || p > previousLength || p + q > kMaxPackedNameBytes) {
        return false;
      }
      if (p > 0) std::memcpy(name, previous, p);
      std::memcpy(name + p, suffix, q);
      const bool nonAscii = (lengths & kFlagBit) != 0;
      if (!ValidName(name, p + q, nonAscii)) return false;
      const RecordRef ref = index_.dirArena.allocate(DirEntry::sizeFor(p + q));
      // Names repeated by their prefixes grow far beyond the file: no more records than the
      // saving side could have given indexes.
      if (ref == kNoRecord || !RecordArena::hasIndex(ref) || !index_.dirs.append(ref)) return false;
      // The parent field holds the stored RecordIndex until the table resolves it.
      DirEntry::build(index_.dirArena.at(ref), key, parent, name, p + q, nonAscii);
      positions_[i] = RecordArena::indexOf(ref);
      refs_[i] = ref;
      previous = index_.dir(ref).name();
      previousLength = p + q;
    }
    // Where each chunk's records begin among the positions (ascending, chunk by chunk). In a
    // fresh arena every chunk holds a record, so there are no more chunks than directories.
    chunks_ = hd.dirs == 0 ? 0 : (positions_[hd.dirs - 1] >> 16) + 1;
    if (chunks_ >= chunkStarts_.size()) return false;
    std::fill(chunkStarts_.begin(), chunkStarts_.begin() + chunks_ + 1, hd.dirs);
    for (uint32_t i = hd.dirs; i-- > 0;) {
      chunkStarts_[positions_[i] >> 16] = i;
    }
    for (uint32_t c = chunks_; c-- > 0;) {
      chunkStarts_[c] = std::min(chunkStarts_[c], chunkStarts_[c + 1]);
    }
    return in.left() == 0;
  }

  bool loadTable(const Header& hd) {
    ByteReader in(bytes_ + hd.h, bytes_ + hd.d);
    bool first = true;
    EntryKey previousKey = 0;
    for (uint32_t j = 0; j < hd.dirs; ++j) {
      const int64_t at = directoryAt(in.u32());
      if (!in.ok() || at < 0) return false;
      DirEntry dir = index_.dir(refs_[at]);
      // Strictly ascending keys: every directory once, and the map stays sorted by appending.
      if (!first && dir.key() <= previousKey) return false;
      first = false;
      previousKey = dir.key();
      const uint32_t stored = dir.parentLink();
      if (stored == kNoRecordIndex) {
        if (RecordNumberOf(dir.key()) != kRootRecordNumber) return false;
        dir.setParentLink(kNoRecord);
      } else {
        const int64_t parent = directoryAt(stored);
        if (parent < 0 || parent == at ||
            VolumeOf(index_.dir(refs_[parent]).key()) != VolumeOf(dir.key())) {
          return false;
        }
        dir.setParentLink(refs_[parent]);
      }
      if (!index_.dirMap.append(dir.key(), refs_[at])) return false;
    }
    return true;
  }

  // No chain of parents runs in a circle: each ends at a volume root.
  bool everyDirectoryReachesARoot() const {
    const RootedDirectories rooted(index_);
    if (!rooted.ok()) return false;
    for (RecordRef ref : refs_) {
      if (!rooted.rooted(ref)) return false;
    }
    return true;
  }

  bool loadFiles(const Header& hd, int64_t* highestExtension) {
    ByteReader in(bytes_ + hd.f, bytes_ + hd.size);
    const uint8_t* previous = nullptr;
    uint32_t previousLength = 0;
    uint8_t name[2 * kMaxPackedNameBytes];
    for (uint32_t i = 0; i < hd.files; ++i) {
      const uint32_t word = in.u32();
      const uint32_t parentIndex = in.u32();
      const uint32_t lengths = in.u24();
      const uint32_t p = lengths & 0x3FF;
      const uint32_t q = lengths >> 10 & 0x3FF;
      const uint32_t width = lengths >> 20;
      const uint8_t* suffix = in.bytes(q);
      const uint8_t* extension = in.bytes(width);
      const int64_t parent = directoryAt(parentIndex);
      if (!in.ok() || parent < 0 || p > previousLength || p + q > kMaxPackedNameBytes) return false;
      FileEntryParts parts;
      parts.recordNumber = word;
      parts.parentLink = refs_[parent];
      parts.name = name;
      parts.nameLength = p + q;
      parts.nonAscii = (word & FileEntry::kNonAsciiBit) != 0;
      if (width == 1) parts.extension = extension[0];
      if (width == 2) parts.extension = LoadU16(extension);
      if (width == 4) parts.extension = static_cast<int32_t>(LoadU32(extension));
      // Each index takes the narrowest width, as records are built, and the word must be the one
      // built from the fields: the journal finds a file by its record word.
      if (FileEntry::widthBytes(FileEntry::widthCodeFor(parts.extension)) != width ||
          FileEntry::recordWordFor(parts) != word) {
        return false;
      }
      if (p > 0) std::memcpy(name, previous, p);
      std::memcpy(name + p, suffix, q);
      if (!ValidName(name, parts.nameLength, parts.nonAscii)) return false;

      const RecordRef ref = index_.fileArena.allocate(FileEntry::sizeFor(parts));
      if (ref == kNoRecord || !index_.files.append(ref)) return false;
      FileEntry::build(index_.fileArena.at(ref), parts);
      previousLength = index_.file(ref).nameBytes(&previous);
      *highestExtension = std::max<int64_t>(*highestExtension, parts.extension);
    }
    return in.left() == 0;
  }

  Index& index_;
  const uint8_t* bytes_;
  HeapArray<RecordIndex> positions_;  // of the directory records, ascending
  HeapArray<uint32_t> chunkStarts_;   // per chunk, the first position in it; one more at the end
  uint32_t chunks_ = 0;
  HeapArray<RecordRef> refs_;
};

}  // namespace

int LoadCoreDatabase(CoreDatabaseContext& c, bool* frozen, int64_t* highestExtension) {
  *frozen = false;
  *highestExtension = -1;
  ShowStatus(c.messages, -1, "正在加载数据库...");
  uint32_t error = 0;
  std::unique_ptr<FileReader> reader = c.files.openForRead(c.path, &error);
  if (reader == nullptr) return 0;
  uint64_t size = 0;
  const bool sized = reader->size(&size, &error);
  if (!sized || size < kCoreSmallestHeader) {
    ShowError(c.messages, "获取文件大小失败:%d", static_cast<int>(sized ? 0 : error));
    return 0;
  }
  if (size > kLargestFile) return 0;  // its size field cannot match
  HeapArray<uint8_t> bytes(c.index.heap, size);
  if (!bytes.ok()) {
    c.index.heap.reportFailure();
    return 0;
  }
  size_t got = 0;
  if (!reader->read(bytes.begin(), bytes.size(), &got, &error) || got != size) {
    ShowError(c.messages, "读文件失败:%d", static_cast<int>(error));
    return 0;
  }
  reader.reset();

  ByteReader in(bytes.begin(), bytes.end());
  Header hd;
  if (!ReadHeader(in, size, &hd)) return 0;

  // The journal of every volume must be the one the file was saved with, still holding every
  // change made since.
  std::array<int64_t, kVolumeCount> savedNext{};
  bool outOfDate = false;
  for (uint32_t v = 0; v < kVolumeCount; ++v) {
    const uint8_t present = in.u8();
    if (present > 1) return 0;
    uint64_t id = 0;
    if (present == 1) {
      id = in.u64();
      savedNext[v] = static_cast<int64_t>(in.u64());
    }
    const VolumeSlot& slot = c.slots[v];
    // Nothing tells what changed on a volume without a journal since the save: it is read anew.
    if (slot.present() && slot.unfollowed) return 0;
    if (!outOfDate && (present == 1 ? id != slot.journalId || savedNext[v] < slot.firstUsn
                                    : slot.journalId != 0)) {
      outOfDate = true;
    }
  }
  if (!in.ok() || static_cast<size_t>(in.position() - bytes.begin()) != hd.h) return 0;

  if (outOfDate) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  "当前数据库存储时间： %d年%d月%d日%d时。已经过期！\r\n您是否需要更新？\r\n\r\n"
                  "提醒：如果选择是，需要您耐心等待...^_^\r\n"
                  "      如果选择否，本次软件将不会监视文件系统的改变！此时，您仍然\r\n"
                  "      可以搜索到以前保存的文件！",
                  hd.year, hd.month, hd.day, hd.hour);
    if (c.messages.askYesNo("友情更新提醒", text, MessageIcon::kInformation)) return 0;
    *frozen = true;
  }

  Loader loader(c, bytes.begin(), hd);
  if (!loader.loadRecords(hd, highestExtension)) {
    *frozen = false;
    return 0;
  }
  if (!outOfDate) {
    for (uint32_t v = 0; v < kVolumeCount; ++v)
      c.slots[v].nextUsn = savedNext[v];
  }
  return 1;
}

}  // namespace vessiko
