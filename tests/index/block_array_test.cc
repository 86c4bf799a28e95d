// The block array's ordered insert and matching removal: the edge cases at full size, and long
// random sequences on small blocks, where every split and neighbour move happens often, checked
// against a plain reference after every step.
#include "index/block_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "index/entry_list.h"
#include "platform/fakes/recording_messages.h"

namespace vessiko {
namespace {

struct Item {
  uint32_t key;
  uint32_t id;
  bool operator==(const Item&) const = default;
  bool operator<(const Item& o) const { return key != o.key ? key < o.key : id < o.id; }
};

struct ByKey {
  static constexpr bool kReplacesEqual = false;
  static int compare(const Item& x, const Item& y) { return x.key < y.key ? -1 : x.key > y.key; }
  static uint32_t firstWord(const Item& x) { return x.id; }
};

struct ByKeyReplacing : ByKey {
  static constexpr bool kReplacesEqual = true;
};

struct ByValue {
  static constexpr bool kReplacesEqual = false;
  static int compare(uint32_t x, uint32_t y) { return x < y ? -1 : x > y; }
  static uint32_t firstWord(uint32_t x) { return x; }
};

template <class Array>
auto Contents(const Array& array) {
  std::vector<std::remove_cvref_t<decltype(array.block(0).slots[0])>> out;
  array.forEach([&](const auto& e) { out.push_back(e); });
  return out;
}

// A const array lends its blocks read-only.
static_assert(std::is_const_v<
              std::remove_reference_t<decltype(std::declval<const EntryList::Array&>().block(0))>>);

template <class Array>
void ExpectWellFormed(const Array& array, uint32_t capacity) {
  ASSERT_GE(array.blockCount(), 1u);
  for (uint32_t i = 0; i < array.blockCount(); ++i) {
    const auto& b = array.block(i);
    ASSERT_LE(b.first, b.end);
    ASSERT_LE(b.end, capacity);
    if (array.blockCount() > 1) {
      ASSERT_FALSE(b.empty()) << "block " << i;
    }
  }
}

class BlockArrayTest : public ::testing::Test {
 protected:
  RecordingMessages messages_;
  PrivateHeap heap_{messages_};
};

TEST_F(BlockArrayTest, Appending4097GivesTwoBlocks) {
  EntryList::Array array(heap_);
  for (uint32_t i = 0; i < 4097; ++i)
    ASSERT_TRUE(array.append(i));
  ASSERT_EQ(array.blockCount(), 2u);
  EXPECT_EQ(array.block(0).first, 0u);
  EXPECT_EQ(array.block(0).end, 4096u);
  EXPECT_EQ(array.block(1).first, 0u);
  EXPECT_EQ(array.block(1).end, 1u);
}

TEST_F(BlockArrayTest, InsertAfterEverythingWithFullTailAndFullPredecessorSplitsTheTail) {
  EntryList::Array array(heap_);
  for (uint32_t i = 0; i < 8192; ++i)
    array.append(2 * i);
  ASSERT_EQ(array.blockCount(), 2u);
  ASSERT_TRUE(array.insertSorted(1000000, ByValue{}));
  ASSERT_EQ(array.blockCount(), 3u);
  EXPECT_EQ(array.block(1).first, 0u);
  EXPECT_EQ(array.block(1).end, 2048u);
  EXPECT_EQ(array.block(2).first, 1024u);
  EXPECT_EQ(array.block(2).end, 1024u + 2048 + 1);
  EXPECT_EQ(array.block(2).slots[array.block(2).end - 1], 1000000u);
  const auto all = Contents(array);
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
}

TEST_F(BlockArrayTest, EqualElementGoesRightBeforeTheOneTheSearchMeets) {
  BlockArray<Item, 8, 2, 4> array(heap_);
  array.insertSorted({5, 1}, ByKey{});
  array.insertSorted({7, 2}, ByKey{});
  array.insertSorted({5, 3}, ByKey{});
  EXPECT_EQ(Contents(array), (std::vector<Item>{{5, 3}, {5, 1}, {7, 2}}));
}

TEST_F(BlockArrayTest, RemovalMatchesTheFirstWordAmongEqualElements) {
  BlockArray<Item, 8, 2, 4> array(heap_);
  for (uint32_t id = 0; id < 20; ++id)
    array.insertSorted({10, id}, ByKey{});
  array.insertSorted({3, 100}, ByKey{});
  array.insertSorted({30, 101}, ByKey{});
  EXPECT_FALSE(array.removeMatching(Item{10, 55}, ByKey{}));
  EXPECT_EQ(Contents(array).size(), 22u);
  for (uint32_t id : {0u, 19u, 7u, 12u})
    EXPECT_TRUE(array.removeMatching(Item{10, id}, ByKey{}));
  EXPECT_FALSE(array.removeMatching(Item{10, 7}, ByKey{}));
  const auto all = Contents(array);
  EXPECT_EQ(all.size(), 18u);
  EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const Item& i) { return i.key == 10; }), 16);
}

TEST_F(BlockArrayTest, EmptiedListAcceptsInsertsAgain) {
  BlockArray<Item, 8, 2, 4> array(heap_);
  array.insertSorted({1, 1}, ByKey{});
  EXPECT_TRUE(array.removeMatching(Item{1, 1}, ByKey{}));
  EXPECT_TRUE(array.empty());
  EXPECT_EQ(array.blockCount(), 1u);
  EXPECT_FALSE(array.removeMatching(Item{1, 1}, ByKey{}));
  array.insertSorted({2, 2}, ByKey{});
  EXPECT_EQ(Contents(array), (std::vector<Item>{{2, 2}}));
}

TEST_F(BlockArrayTest, RetainIfCompactsBlocksAndReleasesEmptiedOnes) {
  BlockArray<Item, 8, 2, 4> array(heap_);
  for (uint32_t i = 0; i < 40; ++i)
    array.append({i, i});
  const uint64_t removed = array.retainIf([](const Item& i) { return i.key < 3 || i.key >= 30; });
  EXPECT_EQ(removed, 27u);
  ExpectWellFormed(array, 8);
  const auto all = Contents(array);
  ASSERT_EQ(all.size(), 13u);
  EXPECT_EQ(all[3].key, 30u);
  EXPECT_EQ(array.retainIf([](const Item&) { return false; }), 13u);
  EXPECT_TRUE(array.empty());
}

// Random insertions, removals and appends on blocks of 8; duplicates are frequent so the
// equal-neighbour walks cross block boundaries.
TEST_F(BlockArrayTest, ForEachStopsWhereTheCallbackReturnsFalse) {
  BlockArray<Item, 8, 2, 4> array(heap_);
  for (uint32_t i = 0; i < 20; ++i)
    array.append({i, i});
  std::vector<uint32_t> seen;
  EXPECT_FALSE(array.forEach([&](const Item& i) {
    seen.push_back(i.key);
    return i.key != 11;
  }));
  EXPECT_EQ(seen.size(), 12u);  // into the second block, and no further
}

TEST_F(BlockArrayTest, ModelOfSortedInsertRemoveAndAppend) {
  std::mt19937 random(12345);
  for (int round = 0; round < 6; ++round) {
    BlockArray<Item, 8, 2, 4> array(heap_);
    std::vector<Item> reference;
    uint32_t nextId = 0;
    const uint32_t keyRange = round % 2 == 0 ? 40 : 4000;
    for (int step = 0; step < 6000; ++step) {
      const int op = static_cast<int>(random() % 10);
      if (op < 5 || reference.empty()) {
        const Item item{static_cast<uint32_t>(random() % keyRange), nextId++};
        ASSERT_TRUE(array.insertSorted(item, ByKey{}));
        reference.push_back(item);
      } else if (op < 9) {
        const bool present = random() % 4 != 0;
        Item probe = reference[random() % reference.size()];
        if (!present) probe.id = nextId + 1000;
        ASSERT_EQ(array.removeMatching(probe, ByKey{}), present);
        if (present) reference.erase(std::find(reference.begin(), reference.end(), probe));
      } else {
        uint32_t maxKey = 0;
        for (const auto& i : reference)
          maxKey = std::max(maxKey, i.key);
        const Item item{maxKey + static_cast<uint32_t>(random() % 3), nextId++};
        ASSERT_TRUE(array.append(item));
        reference.push_back(item);
      }
      ExpectWellFormed(array, 8);
      auto all = Contents(array);
      ASSERT_TRUE(std::is_sorted(all.begin(), all.end(),
                                 [](const Item& a, const Item& b) { return a.key < b.key; }))
          << "step " << step;
      std::sort(all.begin(), all.end());
      auto expected = reference;
      std::sort(expected.begin(), expected.end());
      ASSERT_EQ(all, expected) << "step " << step;
    }
  }
}

// Growth of the directory and removal of emptied blocks at the real sizes of an entry list.
TEST_F(BlockArrayTest, ModelAtFullBlockSize) {
  std::mt19937 random(777);
  EntryList::Array array(heap_);
  std::multiset<uint32_t> reference;
  for (int step = 0; step < 200000; ++step) {
    if (random() % 3 != 0 || reference.empty()) {
      const uint32_t v = static_cast<uint32_t>(random() % 1000000);
      ASSERT_TRUE(array.insertSorted(v, ByValue{}));
      reference.insert(v);
    } else {
      auto it = reference.lower_bound(static_cast<uint32_t>(random() % 1000000));
      if (it == reference.end()) it = reference.begin();
      ASSERT_TRUE(array.removeMatching(*it, ByValue{}));
      reference.erase(it);
    }
  }
  ExpectWellFormed(array, 4096);
  const auto all = Contents(array);
  EXPECT_TRUE(std::equal(all.begin(), all.end(), reference.begin(), reference.end()));
  EXPECT_GT(array.blockCount(), 16u);  // the directory grew past its first 16 entries
}

TEST_F(BlockArrayTest, ModelOfReplacingInsert) {
  std::mt19937 random(99);
  BlockArray<Item, 8, 2, 4> array(heap_);
  std::map<uint32_t, uint32_t> reference;
  for (int step = 0; step < 5000; ++step) {
    const uint32_t key = static_cast<uint32_t>(random() % 700);
    const uint32_t value = static_cast<uint32_t>(step);
    ASSERT_TRUE(array.insertSorted({key, value}, ByKeyReplacing{}));
    reference[key] = value;
    ExpectWellFormed(array, 8);
  }
  const auto all = Contents(array);
  ASSERT_EQ(all.size(), reference.size());
  size_t i = 0;
  for (const auto& [key, value] : reference) {
    EXPECT_EQ(all[i].key, key);
    EXPECT_EQ(all[i].id, value);
    ++i;
  }
}

}  // namespace
}  // namespace vessiko
