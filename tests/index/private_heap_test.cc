#include "index/private_heap.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/fakes/failing_heap.h"
#include "platform/fakes/recording_messages.h"

namespace vessiko {
namespace {

TEST(PrivateHeap, AllocateReportsAFailureAndAllocateRawDoesNot) {
  RecordingMessages messages;
  FailingHeap system;
  PrivateHeap heap(messages, system);
  system.failAfter(0);
  EXPECT_EQ(heap.allocate(64, false), nullptr);
  EXPECT_EQ(messages.errors(), std::vector<std::string>{"申请内存失败:8"});
  EXPECT_EQ(heap.allocateRaw(64), nullptr);
  EXPECT_EQ(heap.resize(nullptr, 64), nullptr);
  EXPECT_EQ(messages.errors().size(), 1u);
}

TEST(PrivateHeap, ZeroedAndResizedBlocksKeepTheirBytes) {
  RecordingMessages messages;
  PrivateHeap heap(messages);
  auto* block = static_cast<uint8_t*>(heap.allocate(256, true));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(block[i], 0);
  for (int i = 0; i < 256; ++i)
    block[i] = static_cast<uint8_t>(i);
  block = static_cast<uint8_t*>(heap.resize(block, 100000));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(block[i], i);
  heap.free(block);
  EXPECT_TRUE(messages.messages().empty());
}

TEST(PrivateHeap, UsableFromManyThreads) {
  RecordingMessages messages;
  PrivateHeap heap(messages);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&heap] {
      for (int i = 0; i < 2000; ++i)
        heap.free(heap.allocate(16 + i % 512, i % 2 == 0));
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_TRUE(messages.messages().empty());
}

}  // namespace
}  // namespace vessiko
