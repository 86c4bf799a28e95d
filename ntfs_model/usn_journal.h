// A change journal's stream: USN_RECORD_V2 records laid end to end, each one's USN its byte
// offset in the stream. The records are kept as their fields, with the names in one pool (a
// record naming what the record before it named shares its name), and laid out only when read.
// Once the records kept outgrow the maximum size, the oldest are discarded and FirstUsn moves
// up. Not thread-safe: the volume that owns it guards it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace vessiko {

struct UsnRecordFields {
  uint64_t fileReference = 0;
  uint64_t parentReference = 0;
  int64_t usn = 0;
  uint64_t timeStamp = 0;
  uint32_t reason = 0;
  uint32_t attributes = 0;
  std::u16string_view name;
};

// The MaxUsn a journal's query reports: the highest USN NTFS hands out.
inline constexpr int64_t kJournalMaxUsn = 0x7FFFFFFFFFFF0000LL;

// Bytes of a record whose name has nameUnits UTF-16 units: 60 + the name, rounded up to 8.
uint32_t UsnRecordLength(size_t nameUnits);
// Writes a whole record, padding included, at out.
void WriteUsnRecord(uint8_t* out, const UsnRecordFields& fields);

class UsnJournal {
 public:
  UsnJournal(uint64_t id, uint64_t maximumSize, uint64_t allocationDelta, int64_t startUsn);

  uint64_t id() const { return id_; }
  int64_t firstUsn() const { return firstUsn_; }
  int64_t nextUsn() const { return nextUsn_; }
  int64_t lowestValidUsn() const { return lowestValidUsn_; }
  uint64_t maximumSize() const { return maximumSize_; }
  uint64_t allocationDelta() const { return allocationDelta_; }

  // New sizes; a smaller maximum discards at once.
  void resize(uint64_t maximumSize, uint64_t allocationDelta);

  // Appends a record at nextUsn (fields.usn is not used) and returns its USN.
  int64_t append(const UsnRecordFields& fields);

  struct ReadResult {
    uint32_t bytes = 0;     // bytes of whole records written
    int64_t resume = 0;     // the USN to read from next
    bool tooSmall = false;  // the first record to return did not fit in the capacity
  };
  // The records from `start` on (the first at or after it) whose reasons meet reasonMask and,
  // with onlyOnClose, carry CLOSE. Records passed over still move `resume`.
  ReadResult read(int64_t start, uint32_t reasonMask, bool onlyOnClose, uint8_t* out,
                  uint32_t capacity) const;

 private:
  struct Record {
    int64_t usn;
    uint64_t fileReference;
    uint64_t parentReference;
    uint64_t timeStamp;
    uint32_t reason;
    uint32_t attributes;
    uint32_t nameOffset;  // in names_
    uint32_t nameLength;
  };
  std::u16string_view nameOf(const Record& r) const {
    return std::u16string_view(names_).substr(r.nameOffset, r.nameLength);
  }
  uint32_t lengthOf(const Record& r) const { return UsnRecordLength(r.nameLength); }
  void discard();

  uint64_t id_;
  uint64_t maximumSize_;
  uint64_t allocationDelta_;
  int64_t lowestValidUsn_;
  int64_t firstUsn_;
  int64_t nextUsn_;
  std::deque<Record> records_;
  // The names of the records kept, and of some discarded ones until the dead front is dropped.
  std::u16string names_;
};

}  // namespace vessiko
