#include "index/dir_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <utility>
#include <vector>

#include "platform/fakes/recording_messages.h"

namespace vessiko {
namespace {

class DirMapTest : public ::testing::Test {
 protected:
  RecordingMessages messages_;
  PrivateHeap heap_{messages_};
  DirMap map_{heap_};
};

TEST_F(DirMapTest, FreshMapFindsAndErasesNothing) {
  EXPECT_EQ(map_.find(RootKey(2)), nullptr);
  EXPECT_EQ(map_.erase(RootKey(2)), kNoRecord);
}

TEST_F(DirMapTest, AppendedRootIsFoundFromTheFirstBlock) {
  ASSERT_TRUE(map_.append(RootKey(2), 100));
  for (uint32_t i = 0; i < 1024; ++i)
    ASSERT_TRUE(map_.append(MakeEntryKey(2, 16 + i), 1000 + i));
  EXPECT_EQ(map_.blockCount(), 2u);
  const DirMapPair* root = map_.find(RootKey(2));
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->dir, 100u);
  EXPECT_EQ(root, &map_.block(0).slots[0]);
  EXPECT_EQ(map_.find(MakeEntryKey(2, 16 + 1023))->dir, 1000u + 1023);
  EXPECT_EQ(map_.find(MakeEntryKey(2, 6)), nullptr);
  EXPECT_EQ(map_.find(MakeEntryKey(3, 5)), nullptr);
}

TEST_F(DirMapTest, SmallerKeyIntoAFullFirstBlockMovesItsLastPairToTheSuccessor) {
  for (uint32_t i = 0; i < 1024; ++i)
    map_.append(MakeEntryKey(1, 100 + i), i);
  map_.append(MakeEntryKey(1, 5000), 9);
  ASSERT_EQ(map_.blockCount(), 2u);
  ASSERT_TRUE(map_.insert(MakeEntryKey(1, 50), 77));
  EXPECT_EQ(map_.blockCount(), 2u);
  EXPECT_EQ(map_.block(0).slots[map_.block(0).first].key, MakeEntryKey(1, 50));
  EXPECT_EQ(map_.block(1).slots[map_.block(1).first].key, MakeEntryKey(1, 100 + 1023));
  EXPECT_EQ(map_.block(1).end - map_.block(1).first, 2u);
}

TEST_F(DirMapTest, ErasedKeyKeepsItsPairAndIsReused) {
  map_.append(RootKey(0), 1);
  map_.append(MakeEntryKey(0, 40), 2);
  EXPECT_EQ(map_.erase(MakeEntryKey(0, 40)), 2u);
  const DirMapPair* pair = map_.find(MakeEntryKey(0, 40));
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(pair->dir, kNoRecord);
  ASSERT_TRUE(map_.insert(MakeEntryKey(0, 40), 3));
  EXPECT_EQ(map_.find(MakeEntryKey(0, 40)), pair);
  EXPECT_EQ(pair->dir, 3u);
}

TEST_F(DirMapTest, KeysOfLateDrivesSortAfterEarlyOnes) {
  map_.insert(RootKey(25), 25);  // Z: top bit set
  map_.insert(RootKey(16), 16);  // Q
  map_.insert(RootKey(2), 2);
  const auto& b = map_.block(0);
  EXPECT_EQ(b.slots[b.first].key, RootKey(2));
  EXPECT_EQ(b.slots[b.end - 1].key, RootKey(25));
  EXPECT_EQ(map_.find(RootKey(25))->dir, 25u);
}

TEST_F(DirMapTest, ModelOfInsertEraseFind) {
  std::mt19937 random(2024);
  std::map<EntryKey, RecordRef> reference;  // kNoRecord for an erased key
  for (int step = 0; step < 60000; ++step) {
    const EntryKey key =
        MakeEntryKey(static_cast<uint32_t>(random() % 26), static_cast<uint32_t>(random() % 3000));
    switch (random() % 3) {
      case 0: {
        const RecordRef value = static_cast<RecordRef>(step);
        ASSERT_TRUE(map_.insert(key, value));
        reference[key] = value;
        break;
      }
      case 1: {
        auto it = reference.find(key);
        const RecordRef expected = it == reference.end() ? kNoRecord : it->second;
        ASSERT_EQ(map_.erase(key), expected);
        if (it != reference.end()) it->second = kNoRecord;
        break;
      }
      default: {
        const DirMapPair* pair = map_.find(key);
        auto it = reference.find(key);
        if (it == reference.end()) {
          ASSERT_EQ(pair, nullptr);
        } else {
          ASSERT_NE(pair, nullptr);
          ASSERT_EQ(pair->dir, it->second);
        }
      }
    }
  }
  // Iteration gives every pair in ascending key order.
  using Pairs = std::vector<std::pair<EntryKey, RecordRef>>;
  Pairs pairs;
  map_.forEach([&](const DirMapPair& pair) { pairs.emplace_back(pair.key, pair.dir); });
  EXPECT_EQ(pairs, Pairs(reference.begin(), reference.end()));
}

}  // namespace
}  // namespace vessiko
