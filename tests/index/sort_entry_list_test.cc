// The lists' parallel sort against sortEntryPointers, the one-lane reference: the same sequence
// of equal runs for random names of every kind, on one, two and three lanes.
#include "index/sort_entry_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "index/packed_name.h"
#include "index/record_builder.h"
#include "index/sort_entries.h"
#include "platform/fakes/recording_messages.h"

namespace vessiko {
namespace {

// Names drawn from ASCII in both cases (and the marks between 'Z' and 'a'), CJK with and
// without a reading, other units from U+0080 to U+FFFF, long names up to 255 units, long
// shared beginnings, and earlier names drawn again.
class NameSource {
 public:
  NameSource(const Collation& collation, uint32_t seed) : random_(seed) {
    for (char16_t u = kFirstCjk; u <= kLastCjk && noReading_.size() < 3; ++u) {
      if (collation.rank(u) == kNoReading) noReading_.push_back(u);
    }
    for (int i = 0; i < 6; ++i)
      stems_.push_back(piece(40 + pick(200)));
  }

  std::u16string next() {
    if (!names_.empty() && pick(5) == 0) return names_[pick(names_.size())];
    std::u16string name;
    if (pick(4) == 0) name = stems_[pick(stems_.size())];
    name += piece(1 + pick(pick(8) == 0 ? 255 : 12));
    if (name.size() > kMaxNameUnits) name.resize(kMaxNameUnits);
    names_.push_back(name);
    return name;
  }

  uint32_t pick(size_t n) { return static_cast<uint32_t>(random_() % n); }

 private:
  std::u16string piece(uint32_t length) {
    static const char16_t kAscii[] = u"aAbBzZ09_ .~[`{-\x7F";
    static const char16_t kOther[] = {0x80,   0xE9,   0x3A9,  0x4DFF, 0x4E00, 0x4E2D, 0x56FD,
                                      0x6587, 0x6863, 0x9FA5, 0x9FA6, 0xD55C, 0xD800, 0xFFFF};
    const uint32_t script = pick(4);  // 0-1 ASCII, 2 CJK and others, 3 mixed
    std::u16string s;
    for (uint32_t i = 0; i < length; ++i) {
      if (script < 2 || (script == 3 && pick(2) == 0)) {
        s += kAscii[pick(std::size(kAscii) - 1)];
      } else if (!noReading_.empty() && pick(5) == 0) {
        s += noReading_[pick(noReading_.size())];
      } else {
        s += kOther[pick(std::size(kOther))];
      }
    }
    return s;
  }

  std::mt19937 random_;
  std::vector<char16_t> noReading_;
  std::vector<std::u16string> stems_;
  std::vector<std::u16string> names_;
};

std::vector<RecordRef> InOrder(const EntryList& list) {
  std::vector<RecordRef> refs;
  list.forEach([&](RecordRef ref) { refs.push_back(ref); });
  return refs;
}

void CheckAgainstReference(const Collation& collation, uint32_t seed, int count) {
  RecordingMessages messages;
  PrivateHeap heap(messages);
  Index index(heap, collation);
  index.extensions.seedBuiltins();
  NameSource names(collation, seed);
  static const char16_t* const kExtensions[] = {u"",   u".txt",  u".TXT", u".doc", u".Doc", u".gz",
                                                u".a", u".中文", u". x",  u".",    u".é"};
  uint8_t packed[kMaxPackedNameBytes];
  std::u16string file;
  uint32_t number = 0;
  for (int i = 0; i < count; ++i) {
    const std::u16string dir = names.next();
    const RecordRef d = NewDirRecord(index.dirArena, MakeEntryKey(2, 16 + names.pick(1u << 20)),
                                     RootKey(2), dir.data(), static_cast<uint32_t>(dir.size()));
    ASSERT_TRUE(d != kNoRecord && index.dirs.append(d));
    // Now and then a hard link: the name and the record of the file before.
    if (i == 0 || names.pick(10) != 0) {
      file = names.next() + kExtensions[names.pick(std::size(kExtensions))];
      if (file.size() > kMaxNameUnits) file.resize(kMaxNameUnits);
      number = names.pick(1u << 27);
    }
    std::u16string units = file;  // the extension is lowered in place
    FileEntryParts parts =
        PackFileName(index.extensions, units.data(), static_cast<uint32_t>(units.size()),
                     ExtensionUse::kIntern, packed);
    parts.recordNumber = number;
    parts.parentLink = RootKey(2);
    const RecordRef f = NewFileRecord(index.fileArena, parts);
    ASSERT_TRUE(f != kNoRecord && index.files.append(f));
  }

  // The sorted list holds the entries it held, each equal to the reference's at its place.
  const auto check = [&](EntryList& list, const auto& order, auto sort) {
    const std::vector<RecordRef> unsorted = InOrder(list);
    std::vector<RecordRef> reference = unsorted;
    sortEntryPointers(reference.data(), reference.size(), order);
    std::vector<RecordRef> entries = unsorted;
    std::sort(entries.begin(), entries.end());
    for (unsigned lanes = 1; lanes <= 3; ++lanes) {
      WorkerPool pool(lanes);
      if (!unsorted.empty()) list.copyFrom(unsorted.data());
      ASSERT_TRUE(sort(pool));
      std::vector<RecordRef> got = InOrder(list);
      ASSERT_EQ(got.size(), reference.size());
      for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(order(got[i], reference[i]), 0) << "lanes " << lanes << " at " << i;
      std::sort(got.begin(), got.end());
      ASSERT_EQ(got, entries);
    }
  };
  check(index.dirs, index.dirOrder(), [&](WorkerPool& pool) { return SortDirList(index, pool); });
  check(index.files, index.fileOrder(),
        [&](WorkerPool& pool) { return SortFileList(index, pool); });
}

TEST(SortEntryList, GivesTheReferenceOrderOnEveryKindOfName) {
  const Collation& shipped = Collation::loadCollationTable();
  const Collation codeOrder{std::span<const uint8_t>()};
  ASSERT_FALSE(codeOrder.valid());
  uint32_t seed = 1;
  for (int count : {0, 1, 2, 3, 40, 3000, 30000}) {
    SCOPED_TRACE(count);
    CheckAgainstReference(shipped, seed++, count);
    CheckAgainstReference(codeOrder, seed++, count);
  }
}

}  // namespace
}  // namespace vessiko
