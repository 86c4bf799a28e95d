// The result lists when memory runs out in the middle of a search.
#include "search/result_list.h"

#include <gtest/gtest.h>

#include "platform/fakes/failing_heap.h"
#include "platform/fakes/recording_messages.h"

namespace vessiko {
namespace {

// A search with many results keeps the ones it could place and says once that memory ran
// out; emptied, the list fills again once memory is back.
TEST(ResultList, RunningOutOfMemoryIsToldOnceAndTheNextSearchFillsAgain) {
  RecordingMessages messages;
  FailingHeap system;
  PrivateHeap heap(messages, system);
  ResultList list(heap);
  constexpr uint32_t kMany = 3 * ResultList::kBlockItems + 5;
  system.failAfter(0);
  for (uint32_t i = 0; i < kMany; ++i)
    list.append(i);
  EXPECT_EQ(list.count(), ResultList::kBlockItems);
  EXPECT_EQ(list.itemAt(ResultList::kBlockItems - 1), ResultList::kBlockItems - 1);
  EXPECT_EQ(messages.errors().size(), 1u);

  system.allowAll();
  list.clear();
  for (uint32_t i = 0; i < kMany; ++i)
    ASSERT_TRUE(list.append(kMany - i));
  EXPECT_EQ(list.count(), kMany);
  EXPECT_EQ(list.itemAt(kMany - 1), 1u);
  EXPECT_EQ(messages.errors().size(), 1u);
}

}  // namespace
}  // namespace vessiko
