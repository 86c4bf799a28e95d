#include "index/record_compaction.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "index/sort_entries.h"
#include "platform/fakes/failing_heap.h"
#include "tests/support/test_index.h"

namespace vessiko {
namespace {

// A linked index of random folders and files, sorted the way the enumeration leaves it.
void BuildTree(testing::TestIndex& t, int dirs, int files) {
  Index& index = t.index();
  index.extensions.seedBuiltins();
  std::mt19937 random(3);
  const RecordRef root = index.dirArena.allocate(DirEntry::kRootBytes);
  DirEntry::initRoot(index.dirArena.at(root), 2);
  std::vector<RecordRef> all = {root};
  index.dirs.append(root);
  index.dirMap.append(RootKey(2), root);
  for (int i = 0; i < dirs; ++i) {
    const RecordRef parent = all[random() % all.size()];
    const RecordRef dir =
        t.makeDir(MakeEntryKey(2, 16 + i), parent, "d" + std::to_string(random() % 100));
    index.dirs.append(dir);
    index.dirMap.append(MakeEntryKey(2, 16 + i), dir);
    all.push_back(dir);
  }
  for (int i = 0; i < files; ++i) {
    index.files.append(t.makeFile(100000 + i, all[random() % all.size()],
                                  "f" + std::to_string(random() % 1000) + ".txt"));
  }
  std::vector<RecordRef> scratch(files > dirs ? files : dirs + 1);
  index.dirs.copyTo(scratch.data());
  sortEntryPointers(scratch.data(), index.dirs.itemCount(), index.dirOrder());
  index.dirs.copyFrom(scratch.data());
  index.files.copyTo(scratch.data());
  sortEntryPointers(scratch.data(), index.files.itemCount(), index.fileOrder());
  index.files.copyFrom(scratch.data());
}

std::vector<std::string> Describe(testing::TestIndex& t) {
  std::vector<std::string> out;
  for (RecordRef d : t.dirsInOrder())
    out.push_back(t.pathOf(d));
  for (RecordRef f : t.filesInOrder())
    out.push_back(t.filePath(f));
  t.index().dirMap.forEach([&](const DirMapPair& pair) {
    out.push_back(std::to_string(pair.key) + "=" + t.pathOf(pair.dir));
  });
  return out;
}

TEST(RecordCompaction, SameIndexWithRecordsInListOrder) {
  testing::TestIndex t;
  BuildTree(t, 3000, 20000);
  const std::vector<std::string> before = Describe(t);
  ASSERT_TRUE(CompactRecords(t.index()));
  EXPECT_EQ(Describe(t), before);
  for (const auto& refs : {t.dirsInOrder(), t.filesInOrder()}) {
    for (size_t i = 1; i < refs.size(); ++i)
      ASSERT_LT(refs[i - 1], refs[i]);
  }
  // Directory records sit where replaying the allocation rule over the list puts them.
  RecordArena::Replay replay;
  for (RecordRef d : t.dirsInOrder())
    EXPECT_EQ(replay.next(t.index().dir(d).recordSize()), d);
}

TEST(RecordCompaction, OutOfMemoryLeavesTheIndexAsItWas) {
  FailingHeap system;
  testing::TestIndex t(&system);
  BuildTree(t, 300, 3000);
  const std::vector<std::string> before = Describe(t);
  for (int budget : {0, 1, 5, 12}) {
    system.failAfter(budget);
    EXPECT_FALSE(CompactRecords(t.index()));
    EXPECT_EQ(Describe(t), before);
  }
  system.allowAll();
  EXPECT_TRUE(CompactRecords(t.index()));
  EXPECT_EQ(Describe(t), before);
}

}  // namespace
}  // namespace vessiko
