// Entry lists of real records: ordered inserts and removals by collation, and a model test of
// long random sequences against a plain sorted reference.
#include "index/entry_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_index.h"

namespace vessiko {
namespace {

class EntryListTest : public ::testing::Test {
 protected:
  EntryListTest() { index().extensions.seedBuiltins(); }
  Index& index() { return t_.index(); }

  RecordRef addFile(uint32_t record, const std::string& name) {
    const RecordRef ref = t_.makeFile(record, RootKey(2), name);
    EXPECT_TRUE(index().files.insertSorted(ref, index().fileOrder()));
    return ref;
  }
  bool removeFile(uint32_t record, const std::string& name) {
    const std::vector<uint8_t> probe = t_.fileProbe(record, name);
    return index().files.removeMatching(probe.data(), index().fileOrder());
  }
  std::vector<std::string> fileNames() {
    std::vector<std::string> names;
    for (RecordRef ref : t_.filesInOrder())
      names.push_back(t_.fileName(ref));
    return names;
  }

  testing::TestIndex t_;
};

TEST_F(EntryListTest, InsertsKeepCollationOrder) {
  for (const char* name : {"zeta.txt", "Alpha.doc", "中文.txt", "alpha", "beta.exe", "Ω"}) {
    addFile(static_cast<uint32_t>(index().files.itemCount() + 100), name);
  }
  EXPECT_EQ(fileNames(), (std::vector<std::string>{"Alpha.doc", "alpha", "beta.exe", "zeta.txt",
                                                   "中文.txt", "Ω"}));
  EXPECT_EQ(index().files.itemCount(), 6u);
}

TEST_F(EntryListTest, RemovalFindsTheRecordWordAmongEqualNames) {
  for (uint32_t r = 100; r < 130; ++r)
    addFile(r, "same.txt");
  addFile(500, "other.txt");
  EXPECT_FALSE(removeFile(999, "same.txt"));
  EXPECT_EQ(index().files.itemCount(), 31u);
  EXPECT_TRUE(removeFile(117, "same.txt"));
  EXPECT_FALSE(removeFile(117, "same.txt"));
  EXPECT_EQ(index().files.itemCount(), 30u);
  for (RecordRef ref : t_.filesInOrder())
    EXPECT_NE(index().file(ref).recordNumber(), 117u);
  // The name must collate equal too: the right record with another name is not removed.
  EXPECT_FALSE(removeFile(500, "different.txt"));
  EXPECT_TRUE(removeFile(500, "OTHER.TXT"));
}

// A hundred thousand index.js under node_modules: the record number tells namesakes apart, so
// one is found by a binary search, not by a walk along all of them.
TEST_F(EntryListTest, NamesakesAreFoundByABinarySearch) {
  std::vector<RecordRef> refs;
  for (uint32_t r = 0; r < 20000; ++r)
    refs.push_back(t_.makeFile(100 + (r * 7919) % 20000, RootKey(2), "index.js"));
  std::sort(refs.begin(), refs.end(),
            [&](RecordRef x, RecordRef y) { return index().fileOrder()(x, y) < 0; });
  for (RecordRef ref : refs)
    index().files.append(ref);
  struct CountingOrder {
    FileOrder order;
    mutable int comparisons = 0;
    int compare(const uint8_t* x, RecordRef y) const {
      ++comparisons;
      return order.compare(x, y);
    }
  } counting{index().fileOrder()};
  const std::vector<uint8_t> probe = t_.fileProbe(12345, "index.js");
  uint32_t block;
  uint32_t slot;
  ASSERT_TRUE(index().files.findMatching(
      probe.data(), counting, [](RecordRef) { return true; }, &block, &slot));
  EXPECT_EQ(index().file(index().files.block(block).slots[slot]).recordNumber(), 12345u);
  EXPECT_LE(counting.comparisons, 40);
}

TEST_F(EntryListTest, DirectoriesByNameAndKey) {
  const RecordRef a = t_.makeDir(MakeEntryKey(2, 40), RootKey(2), "Docs");
  const RecordRef b = t_.makeDir(MakeEntryKey(3, 40), RootKey(3), "docs");
  index().dirs.insertSorted(a, index().dirOrder());
  index().dirs.insertSorted(b, index().dirOrder());
  const auto probe = t_.dirProbe(MakeEntryKey(3, 40), "DOCS");
  EXPECT_TRUE(index().dirs.removeMatching(probe.data(), index().dirOrder()));
  EXPECT_EQ(t_.dirsInOrder(), std::vector<RecordRef>{a});
}

TEST_F(EntryListTest, RetainIfDropsAndCounts) {
  for (uint32_t r = 0; r < 10000; ++r)
    index().files.append(t_.makeFile(r, RootKey(2), "f" + std::to_string(r)));
  index().files.retainIf([&](RecordRef ref) { return index().file(ref).recordNumber() % 3 == 0; });
  EXPECT_EQ(index().files.itemCount(), 3334u);
  for (RecordRef ref : t_.filesInOrder())
    EXPECT_EQ(index().file(ref).recordNumber() % 3, 0u);
}

// Random inserts, removals and appends of random names, duplicates included, checked against a
// sorted reference after every step; large enough for the lists to split and merge blocks.
TEST_F(EntryListTest, ModelOfRandomChanges) {
  std::mt19937 random(31337);
  static const char* const syllables[] = {"ab", "Ab", "cd", "中", "文", "x", "é", " ", "."};
  std::vector<std::pair<uint32_t, std::string>> live;
  uint32_t nextRecord = 1;
  const FileOrder order = index().fileOrder();
  const auto sortedByOrder = [&](std::vector<RecordRef> refs) {
    return std::is_sorted(refs.begin(), refs.end(),
                          [&](RecordRef x, RecordRef y) { return order(x, y) < 0; });
  };
  for (int step = 0; step < 30000; ++step) {
    const int op = static_cast<int>(random() % 10);
    if (op < 6 || live.empty()) {
      std::string name;
      for (int k = 0; k < 1 + static_cast<int>(random() % 3); ++k)
        name += syllables[random() % 9];
      if (random() % 2) name += ".txt";
      addFile(nextRecord, name);
      live.emplace_back(nextRecord++, name);
    } else {
      const size_t i = random() % live.size();
      ASSERT_TRUE(removeFile(live[i].first, live[i].second)) << live[i].second;
      live.erase(live.begin() + static_cast<int64_t>(i));
    }
    if (step % 97 == 0 || step > 29900) {
      const std::vector<RecordRef> refs = t_.filesInOrder();
      ASSERT_EQ(refs.size(), live.size());
      ASSERT_TRUE(sortedByOrder(refs)) << "step " << step;
      std::vector<uint32_t> records;
      for (RecordRef ref : refs)
        records.push_back(index().file(ref).recordNumber());
      std::vector<uint32_t> expected;
      for (const auto& [record, name] : live)
        expected.push_back(record);
      std::sort(records.begin(), records.end());
      std::sort(expected.begin(), expected.end());
      ASSERT_EQ(records, expected);
    }
  }
  EXPECT_GT(index().files.blockCount(), 1u);
}

}  // namespace
}  // namespace vessiko
