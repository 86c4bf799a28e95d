// Readers of the Windows layouts for the tests of the simulated machine, written from the
// published layouts with their offsets spelled out, so that a wrong offset in the machine's own
// writers shows up here instead of being read back the same wrong way.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/volume.h"

namespace vessiko::simtest {

inline uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Get32(const uint8_t* p) {
  return Get16(p) | uint32_t{Get16(p + 2)} << 16;
}
inline uint64_t Get64(const uint8_t* p) {
  return Get32(p) | uint64_t{Get32(p + 4)} << 32;
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline std::u16string Utf16At(const uint8_t* p, size_t units) {
  std::u16string s;
  for (size_t i = 0; i < units; ++i)
    s += static_cast<char16_t>(Get16(p + 2 * i));
  return s;
}

inline uint64_t RecordNumber(uint64_t reference) {
  return reference & 0xFFFFFFFFFFFFULL;
}
inline uint16_t Sequence(uint64_t reference) {
  return static_cast<uint16_t>(reference >> 48);
}

// A buffer for raw reads, which are unbuffered and so want it sector-aligned.
class RawBuffer {
 public:
  explicit RawBuffer(size_t size, uint8_t fill = 0)
      : storage_(size + kRawReadAlignment - 1, fill), size_(size) {
    void* at = storage_.data();
    size_t space = storage_.size();
    data_ = static_cast<uint8_t*>(std::align(kRawReadAlignment, size, at, space));
  }
  RawBuffer(const RawBuffer&) = delete;
  RawBuffer& operator=(const RawBuffer&) = delete;
  uint8_t* data() { return data_; }
  std::vector<uint8_t> bytes() const { return {data_, data_ + size_}; }

 private:
  std::vector<uint8_t> storage_;
  size_t size_;
  uint8_t* data_;
};

// The outcome of one DeviceIoControl.
struct Reply {
  bool ok = false;
  uint32_t error = 0;
  std::vector<uint8_t> bytes;  // the bytes returned
};

inline Reply Call(Volume& volume, uint32_t code, const std::vector<uint8_t>& in, uint32_t outSize) {
  Reply reply;
  std::vector<uint8_t> out(outSize, 0xCD);
  uint32_t returned = 0;
  reply.ok = volume.control(code, in.data(), static_cast<uint32_t>(in.size()), out.data(), outSize,
                            &returned, &reply.error);
  if (reply.ok) {
    out.resize(returned);
    reply.bytes = std::move(out);
  }
  return reply;
}

// MFT_ENUM_DATA_V0: 0 StartFileReferenceNumber, 8 LowUsn, 16 HighUsn.
inline std::vector<uint8_t> EnumInput(uint64_t start, int64_t low, int64_t high) {
  std::vector<uint8_t> in(24);
  Put64(&in[0], start);
  Put64(&in[8], static_cast<uint64_t>(low));
  Put64(&in[16], static_cast<uint64_t>(high));
  return in;
}

// READ_USN_JOURNAL_DATA_V0: 0 StartUsn, 8 ReasonMask, 12 ReturnOnlyOnClose, 16 Timeout,
// 24 BytesToWaitFor, 32 UsnJournalID.
inline std::vector<uint8_t> ReadInput(int64_t start, uint32_t mask, uint64_t journalId,
                                      uint32_t onlyOnClose = 0, uint64_t timeout = 0,
                                      uint64_t bytesToWaitFor = 0) {
  std::vector<uint8_t> in(40);
  Put64(&in[0], static_cast<uint64_t>(start));
  Put32(&in[8], mask);
  Put32(&in[12], onlyOnClose);
  Put64(&in[16], timeout);
  Put64(&in[24], bytesToWaitFor);
  Put64(&in[32], journalId);
  return in;
}

// USN_RECORD_V2.
struct UsnRecord {
  size_t offset = 0;  // in the buffer it came in
  uint32_t length = 0;
  uint16_t major = 0, minor = 0;
  uint64_t file = 0, parent = 0;
  int64_t usn = 0;
  uint64_t timeStamp = 0;
  uint32_t reason = 0, sourceInfo = 0, securityId = 0, attributes = 0;
  uint16_t nameBytes = 0, nameOffset = 0;
  std::u16string name;
};

// The records after the 8-byte header of an enumeration or journal read.
inline std::vector<UsnRecord> UsnRecords(const std::vector<uint8_t>& bytes) {
  std::vector<UsnRecord> records;
  size_t at = 8;
  while (at + 60 <= bytes.size()) {
    const uint8_t* p = bytes.data() + at;
    UsnRecord r;
    r.offset = at;
    r.length = Get32(p + 0);
    r.major = Get16(p + 4);
    r.minor = Get16(p + 6);
    r.file = Get64(p + 8);
    r.parent = Get64(p + 16);
    r.usn = static_cast<int64_t>(Get64(p + 24));
    r.timeStamp = Get64(p + 32);
    r.reason = Get32(p + 40);
    r.sourceInfo = Get32(p + 44);
    r.securityId = Get32(p + 48);
    r.attributes = Get32(p + 52);
    r.nameBytes = Get16(p + 56);
    r.nameOffset = Get16(p + 58);
    r.name = Utf16At(p + r.nameOffset, r.nameBytes / 2);
    records.push_back(r);
    if (r.length == 0) break;
    at += r.length;
  }
  return records;
}

// One attribute of a FILE record.
struct Attribute {
  size_t offset = 0;
  uint32_t type = 0, length = 0;
  bool nonResident = false;
  std::u16string name;
  uint16_t flags = 0, instance = 0;
  // Resident.
  uint8_t residentFlags = 0;
  std::vector<uint8_t> value;
  // Non-resident.
  uint64_t lowestVcn = 0, highestVcn = 0, allocatedSize = 0, dataSize = 0, initializedSize = 0;
  std::vector<uint8_t> mappingPairs;
};

struct FileRecord {
  std::vector<uint8_t> bytes;
  bool magic = false;
  uint16_t usaOffset = 0, usaCount = 0;
  uint64_t lsn = 0;
  uint16_t sequence = 0, linkCount = 0, firstAttribute = 0, flags = 0;
  uint32_t bytesUsed = 0, bytesAllocated = 0;
  uint64_t baseReference = 0;
  uint16_t nextInstance = 0;
  uint32_t recordNumber = 0;
  std::vector<Attribute> attributes;
  bool ended = false;  // the attributes end with 0xFFFFFFFF inside the bytes used

  std::vector<const Attribute*> all(uint32_t type) const {
    std::vector<const Attribute*> found;
    for (const Attribute& a : attributes) {
      if (a.type == type) found.push_back(&a);
    }
    return found;
  }
};

// A record in its in-memory form (the update sequence already applied).
inline FileRecord ParseFileRecord(const uint8_t* p, size_t size) {
  FileRecord r;
  r.bytes.assign(p, p + size);
  r.magic = std::memcmp(p, "FILE", 4) == 0;
  r.usaOffset = Get16(p + 4);
  r.usaCount = Get16(p + 6);
  r.lsn = Get64(p + 8);
  r.sequence = Get16(p + 0x10);
  r.linkCount = Get16(p + 0x12);
  r.firstAttribute = Get16(p + 0x14);
  r.flags = Get16(p + 0x16);
  r.bytesUsed = Get32(p + 0x18);
  r.bytesAllocated = Get32(p + 0x1C);
  r.baseReference = Get64(p + 0x20);
  r.nextInstance = Get16(p + 0x28);
  r.recordNumber = Get32(p + 0x2C);
  size_t at = r.firstAttribute;
  while (at + 4 <= size) {
    const uint8_t* a = p + at;
    if (Get32(a) == 0xFFFFFFFF) {
      r.ended = at + 8 <= r.bytesUsed;
      break;
    }
    Attribute attr;
    attr.offset = at;
    attr.type = Get32(a + 0);
    attr.length = Get32(a + 4);
    attr.nonResident = a[8] != 0;
    attr.name = Utf16At(a + Get16(a + 0xA), a[9]);
    attr.flags = Get16(a + 0xC);
    attr.instance = Get16(a + 0xE);
    if (attr.length == 0 || at + attr.length > size) break;
    if (!attr.nonResident) {
      const uint32_t valueLength = Get32(a + 0x10);
      const uint16_t valueOffset = Get16(a + 0x14);
      attr.residentFlags = a[0x16];
      attr.value.assign(a + valueOffset, a + valueOffset + valueLength);
    } else {
      attr.lowestVcn = Get64(a + 0x10);
      attr.highestVcn = Get64(a + 0x18);
      attr.allocatedSize = Get64(a + 0x28);
      attr.dataSize = Get64(a + 0x30);
      attr.initializedSize = Get64(a + 0x38);
      attr.mappingPairs.assign(a + Get16(a + 0x20), a + attr.length);
    }
    r.attributes.push_back(attr);
    at += attr.length;
  }
  return r;
}

// Undoes the on-disk update sequence of a record read raw: every stride must end with the
// update sequence number, and the array gives the real bytes back. False when one does not.
inline bool ApplyFixups(std::vector<uint8_t>& record) {
  const uint16_t offset = Get16(&record[4]);
  const uint16_t count = Get16(&record[6]);
  const uint16_t number = Get16(&record[offset]);
  for (uint16_t i = 1; i < count; ++i) {
    uint8_t* end = &record[i * 512 - 2];
    if (Get16(end) != number) return false;
    std::memcpy(end, &record[offset + 2 * i], 2);
  }
  return true;
}

// $FILE_NAME value.
struct FileName {
  uint64_t parent = 0;
  uint64_t creation = 0, modification = 0, recordChange = 0, lastAccess = 0;
  uint64_t allocatedSize = 0, dataSize = 0;
  uint32_t flags = 0;
  uint8_t nameSpace = 0;
  std::u16string name;
};

inline FileName FileNameOf(const Attribute& a) {
  const uint8_t* p = a.value.data();
  FileName f;
  f.parent = Get64(p + 0);
  f.creation = Get64(p + 0x08);
  f.modification = Get64(p + 0x10);
  f.recordChange = Get64(p + 0x18);
  f.lastAccess = Get64(p + 0x20);
  f.allocatedSize = Get64(p + 0x28);
  f.dataSize = Get64(p + 0x30);
  f.flags = Get32(p + 0x38);
  f.nameSpace = p[0x41];
  f.name = Utf16At(p + 0x42, p[0x40]);
  return f;
}

// $ATTRIBUTE_LIST entries.
struct ListEntry {
  uint32_t type = 0;
  uint16_t length = 0;
  uint64_t lowestVcn = 0;
  uint64_t segment = 0;
  uint16_t instance = 0;
};

inline std::vector<ListEntry> AttributeList(const uint8_t* p, size_t size) {
  std::vector<ListEntry> entries;
  size_t at = 0;
  while (at + 0x1A <= size) {
    ListEntry e;
    e.type = Get32(p + at);
    e.length = Get16(p + at + 4);
    e.lowestVcn = Get64(p + at + 8);
    e.segment = Get64(p + at + 0x10);
    e.instance = Get16(p + at + 0x18);
    entries.push_back(e);
    if (e.length == 0) break;
    at += e.length;
  }
  return entries;
}

struct DecodedRun {
  uint64_t lcn = 0;
  uint64_t length = 0;
  bool operator==(const DecodedRun&) const = default;
};

// Mapping pairs: a header byte (low nibble: bytes of the length, high nibble: bytes of the
// signed delta from the previous run's LCN), ended by 0.
inline std::vector<DecodedRun> DecodeRuns(const std::vector<uint8_t>& pairs) {
  std::vector<DecodedRun> runs;
  int64_t lcn = 0;
  size_t at = 0;
  while (at < pairs.size() && pairs[at] != 0) {
    const int lengthBytes = pairs[at] & 0xF;
    const int deltaBytes = pairs[at] >> 4;
    ++at;
    uint64_t length = 0;
    for (int i = 0; i < lengthBytes; ++i)
      length |= uint64_t{pairs[at + i]} << (8 * i);
    at += lengthBytes;
    int64_t delta = 0;
    for (int i = 0; i < deltaBytes; ++i)
      delta |= int64_t{pairs[at + i]} << (8 * i);
    if (deltaBytes > 0 && deltaBytes < 8 && (pairs[at + deltaBytes - 1] & 0x80)) {
      delta -= int64_t{1} << (8 * deltaBytes);
    }
    at += deltaBytes;
    lcn += delta;
    runs.push_back({static_cast<uint64_t>(lcn), length});
  }
  return runs;
}

}  // namespace vessiko::simtest
