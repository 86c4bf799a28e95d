#include "index/record_arena.h"

#include <gtest/gtest.h>

#include "platform/fakes/failing_heap.h"
#include "platform/fakes/recording_messages.h"

namespace vessiko {
namespace {

TEST(RecordArena, RecordsArePackedAndNeverStraddleChunks) {
  RecordingMessages messages;
  PrivateHeap heap(messages);
  RecordArena arena(heap);
  const RecordRef first = arena.allocate(4000);
  EXPECT_EQ(first, 0u);
  // 100 bytes do not fit the 96 left: a new chunk starts and the rest stays unused.
  const RecordRef second = arena.allocate(100);
  EXPECT_EQ(second, 1u << 12);
  EXPECT_EQ(arena.chunkCount(), 2u);
  EXPECT_EQ(arena.usedInCurrentChunk(), 100u);
  const RecordRef third = arena.allocate(10);
  EXPECT_EQ(third, (1u << 12) + 100);
  EXPECT_EQ(RecordArena::indexOf(third), (1u << 16) + 100);
  EXPECT_EQ(arena.recordAt(RecordArena::indexOf(third)), third);
  // Fresh chunks are zero-filled.
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(arena.at(third)[i], 0);
}

TEST(RecordArena, RecordAtRefusesPositionsNotAllocated) {
  RecordingMessages messages;
  PrivateHeap heap(messages);
  RecordArena arena(heap);
  arena.allocate(50);
  EXPECT_EQ(arena.recordAt(kNoRecordIndex), kNoRecord);
  EXPECT_EQ(arena.recordAt(49), 49u);
  EXPECT_EQ(arena.recordAt(50), kNoRecord);
  EXPECT_EQ(arena.recordAt(1u << 16), kNoRecord);
  EXPECT_EQ(arena.recordAt(4096), kNoRecord);  // an offset beyond the chunk
}

TEST(RecordArena, ChunkDirectoryGrowsPastItsFirst128Chunks) {
  RecordingMessages messages;
  PrivateHeap heap(messages);
  RecordArena arena(heap);
  RecordRef last = kNoRecord;
  for (int i = 0; i < 200; ++i) {
    last = arena.allocate(4096);
    arena.at(last)[4095] = static_cast<uint8_t>(i);
  }
  EXPECT_EQ(arena.chunkCount(), 200u);
  EXPECT_EQ(arena.at(last)[4095], 199);
  EXPECT_EQ(arena.at(5u << 12)[4095], 5);
}

TEST(RecordArena, OutOfMemoryGivesNoRecord) {
  RecordingMessages messages;
  FailingHeap system;
  PrivateHeap heap(messages, system);
  RecordArena arena(heap);
  system.failAfter(0);
  EXPECT_NE(arena.allocate(4000), kNoRecord);
  EXPECT_EQ(arena.allocate(4000), kNoRecord);
  EXPECT_EQ(messages.errors().size(), 1u);
  system.allowAll();
  EXPECT_NE(arena.allocate(4000), kNoRecord);
}

}  // namespace
}  // namespace vessiko
