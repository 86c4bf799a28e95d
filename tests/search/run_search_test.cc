// Searches over a small index: what each kind of query finds, in what order, and when a search
// does not run again.
#include "search/run_search.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/search_fixture.h"

namespace vessiko {
namespace {

using Results = std::vector<std::string>;

class RunSearchTest : public ::testing::Test {
 protected:
  RunSearchTest() {
    const RecordRef c = f_.root('C');
    abcDir_ = f_.addDir(c, "abc");
    f_.addFile(c, "xabcx.txt");
    f_.addFile(c, "abc.txt.bak");
    f_.addFile(abcDir_, "abc.txt");
    f_.addFile(c, "ab文cd");
    f_.addFile(c, "readme");
    f_.addFile(abcDir_, "ReadMe.md");
    f_.addFile(c, "ä.txt");
    f_.addFile(c, "a c");
    f_.addFile(c, "ac");
    f_.addFile(c, "abbc");
    f_.addFile(c, "abcd.txt");
    f_.finish();
  }

  testing::SearchFixture f_;
  RecordRef abcDir_;
};

TEST_F(RunSearchTest, NamesAreMatchedWithoutTheirExtensions) {
  EXPECT_EQ(f_.search("abc"), (Results{"D C:\\abc", "F C:\\abc\\abc.txt", "F C:\\abc.txt.bak",
                                       "F C:\\abcd.txt", "F C:\\xabcx.txt"}));
  EXPECT_EQ(f_.search("abc.txt"), Results{"F C:\\abc.txt.bak"});
  EXPECT_EQ(f_.search("abc", "txt"),
            (Results{"F C:\\abc\\abc.txt", "F C:\\abcd.txt", "F C:\\xabcx.txt"}));
  EXPECT_EQ(f_.t.messages().lastStatus(), "3 个结果!");
  EXPECT_EQ(f_.t.messages().resultCount(), 3);
}

TEST_F(RunSearchTest, ExtensionFieldExcludesFoldersAndNeedsAName) {
  EXPECT_EQ(f_.search("", "txt"), Results{});
  EXPECT_EQ(f_.t.messages().lastStatus(), "0 个结果!");
  EXPECT_EQ(f_.search("abc", "zzz"), Results{});
  EXPECT_EQ(f_.search("abc", "zzz bak"), Results{"F C:\\abc.txt.bak"});
}

TEST_F(RunSearchTest, FoldersOrFilesOnly) {
  f_.ui.searchFiles = false;
  EXPECT_EQ(f_.search("abc"), Results{"D C:\\abc"});
  f_.ui.searchFiles = true;
  f_.ui.searchFolders = false;
  f_.searchWith(f_.ui.optionsChanged);
  EXPECT_EQ(f_.results().size(), 4u);
  EXPECT_EQ(f_.results()[0], "F C:\\abc\\abc.txt");
}

TEST_F(RunSearchTest, NonAsciiUnitsSplitWords) {
  EXPECT_EQ(f_.search("ab cd"), (Results{"F C:\\abcd.txt", "F C:\\ab文cd"}));
  EXPECT_EQ(f_.search("abcd"), Results{"F C:\\abcd.txt"});
  EXPECT_EQ(f_.search("文"), Results{"F C:\\ab文cd"});
}

TEST_F(RunSearchTest, CaseModes) {
  EXPECT_EQ(f_.search("README"), (Results{"F C:\\abc\\ReadMe.md", "F C:\\readme"}));
  EXPECT_EQ(f_.search("Ä"), Results{});
  f_.ui.caseSensitive = true;
  EXPECT_EQ(f_.search("ReadMe"), Results{"F C:\\abc\\ReadMe.md"});
  EXPECT_EQ(f_.search("ä"), Results{"F C:\\ä.txt"});
}

TEST_F(RunSearchTest, Wildcards) {
  EXPECT_EQ(f_.search("a?c"), (Results{"D C:\\abc", "F C:\\a c", "F C:\\abc\\abc.txt"}));
  EXPECT_EQ(f_.search("a*c"),
            (Results{"D C:\\abc", "F C:\\a c", "F C:\\abbc", "F C:\\abc\\abc.txt", "F C:\\ac"}));
  EXPECT_EQ(f_.search("*.txt"), Results{"F C:\\abc.txt.bak"});
  EXPECT_EQ(f_.search("* **"), Results{});
  EXPECT_EQ(f_.t.messages().lastStatus(), "0 个结果!");
}

TEST_F(RunSearchTest, TheSameQueryAgainLeavesEverythingAsItWas) {
  f_.search("abc");
  const auto statuses = f_.t.messages().statuses().size();
  f_.search("ABC  ");  // compiles to the same query
  EXPECT_EQ(f_.t.messages().statuses().size(), statuses);
  f_.searchWith(f_.ui.indexChanged);
  EXPECT_EQ(f_.t.messages().statuses().size(), statuses + 1);
}

TEST_F(RunSearchTest, NothingRunsWhileSearchingIsOff) {
  f_.ui.searchEnabled = false;
  EXPECT_EQ(f_.search("abc"), Results{});
  EXPECT_TRUE(f_.t.messages().statuses().empty());
}

TEST_F(RunSearchTest, ScopeDirectlyOrBelow) {
  testing::SearchFixture f("CD");
  const RecordRef docs = f.addDir(f.root('D'), "docs");
  const RecordRef deep = f.addDir(docs, "deep");
  f.addFile(docs, "a1.txt");
  f.addFile(deep, "a2.txt");
  f.addFile(f.root('D'), "a3.txt");
  f.addFile(f.root('C'), "a4.txt");
  f.finish();
  ASSERT_TRUE(f.scope.insertRow(2, u"D:\\docs", false));
  f.scope.setSecondColumn(2, u"否");
  f.searchWith(f.ui.scopeChanged);
  // C stays whole; D's row is off since a folder of D is checked.
  EXPECT_EQ(f.search("a"), (Results{"F D:\\docs\\a1.txt", "F C:\\a4.txt"}));
  f.scope.setSecondColumn(2, u"是");
  f.searchWith(f.ui.scopeChanged);
  EXPECT_EQ(f.results(),
            (Results{"F D:\\docs\\a1.txt", "F D:\\docs\\deep\\a2.txt", "F C:\\a4.txt"}));
  EXPECT_EQ(f.search("e"), Results{"D D:\\docs\\deep"});
  // The chosen folder itself is never a result of its own scope.
  EXPECT_EQ(f.search("docs"), Results{});
}

// The scope's answers are kept from one search to the next; a folder moved in between, as the
// journal monitor moves one (the record taken out, a new one put in, the children repointed),
// must be answered again.
TEST_F(RunSearchTest, AFolderMovedIntoTheScopeBetweenTwoSearches) {
  testing::SearchFixture f("C");
  const RecordRef docs = f.addDir(f.root('C'), "docs");
  f.addDir(docs, "deep");
  const RecordRef other = f.addDir(f.root('C'), "other");
  const RecordRef inner = f.addDir(other, "inner");
  f.addFile(inner, "a1.txt");
  f.finish();
  ASSERT_TRUE(f.scope.insertRow(1, u"C:\\docs", false));
  f.scope.setSecondColumn(1, u"是");
  f.searchWith(f.ui.scopeChanged);
  EXPECT_EQ(f.search("a"), Results{});

  Index& index = f.t.index();
  const DirEntry old = index.dir(other);
  ASSERT_TRUE(index.dirs.removeMatchingIf(old.bytes(), index.dirOrder(),
                                          [&](RecordRef ref) { return ref == other; }));
  const RecordRef moved = f.t.makeDir(old.key(), docs, "other");
  ASSERT_TRUE(index.dirs.insertSorted(moved, index.dirOrder()));
  index.dirs.forEach([&](RecordRef ref) {
    DirEntry dir = index.dir(ref);
    if (dir.parentLink() == other) dir.setParentLink(moved);
  });
  f.searchWith(f.ui.indexChanged);
  EXPECT_EQ(f.results(), (Results{"F C:\\docs\\other\\inner\\a1.txt"}));
}

TEST_F(RunSearchTest, DeletedScopeFolderIsLeftOut) {
  testing::SearchFixture f("C");
  const RecordRef docs = f.addDir(f.root('C'), "docs");
  f.addFile(docs, "a1.txt");
  f.finish();
  ASSERT_TRUE(f.scope.insertRow(1, u"C:\\docs", false));
  f.scope.setSecondColumn(1, u"是");
  EXPECT_EQ(f.search("a1"), Results{"F C:\\docs\\a1.txt"});
  f.t.index().dirMap.erase(f.t.index().dir(docs).key());
  f.searchWith(f.ui.scopeChanged);
  EXPECT_EQ(f.results(), Results{});
}

// A status line that holds the first search showing it until released, as a search still
// running on another thread.
class HeldStatus : public RecordingMessages {
 public:
  void showStatus(std::string_view text) override {
    {
      std::unique_lock lock(mutex_);
      inside_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
    }
    RecordingMessages::showStatus(text);
  }
  void waitUntilInside() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return inside_; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool inside_ = false;
  bool released_ = false;
};

// A journal monitor's search has read the scope when the user unticks a volume; the user's
// search waits for it. The flag the user raised must outlive the monitor's search, or the
// same query is skipped and the results keep the unticked volume.
TEST(RunSearchFlags, AFlagRaisedWhileAnotherSearchRunsSurvivesIt) {
  testing::SearchFixture f("CD");
  f.addFile(f.root('C'), "a1.txt");
  f.addFile(f.root('D'), "a2.txt");
  f.finish();
  EXPECT_EQ(f.search("a"), (Results{"F C:\\a1.txt", "F D:\\a2.txt"}));

  HeldStatus held;
  SearchContext monitor{f.t.index(), f.ui, held, f.t.messages(), f.scope, f.state};
  f.ui.optionsChanged = true;
  std::thread running([&] { RepeatSearch(monitor); });
  held.waitUntilInside();
  f.view.setCheckBox(1, false);
  f.scope.checkBoxChanged(1);
  f.ui.scopeChanged = true;
  std::thread waiting([&] { RepeatSearch(f.context); });
  held.release();
  running.join();
  waiting.join();
  EXPECT_EQ(f.results(), Results{"F C:\\a1.txt"});
}

// A search for a word with a unit above 127 passes by the blocks it found without such names;
// what it learnt must not outlive a change of the list. Full blocks of ASCII names come first,
// then the names that begin with CJK. A removal makes room in the first block, and the insert
// that follows puts a CJK name there without moving any block.
TEST(RunSearchBlocks, WhatASearchLearntOfABlockEndsWithAChangeOfTheList) {
  testing::SearchFixture f;
  const RecordRef c = f.root('C');
  const RecordRef first = f.addFile(c, "a0");
  for (int i = 1; i < 3 * 4096; ++i)
    f.addFile(c, "a" + std::to_string(i));
  f.addFile(c, "文档");
  f.finish();
  WorkerPool lanes(3);
  f.context.workers = &lanes;
  EXPECT_EQ(f.search("文档"), Results{"F C:\\文档"});

  Index& index = f.t.index();
  const auto remove = [&](RecordRef ref) {
    uint32_t block = 0;
    uint32_t slot = 0;
    ASSERT_TRUE(index.files.findMatching(index.fileArena.at(ref), index.fileOrder(),
                                         [&](RecordRef r) { return r == ref; }, &block, &slot));
    index.files.removeAt(block, slot);
  };
  remove(first);
  f.ui.indexChanged = true;
  EXPECT_EQ(f.search("文档"), Results{"F C:\\文档"});
  const uint32_t blocks = index.files.blockCount();
  const RecordRef added = f.t.makeFile(90000, c, "a1文档");
  ASSERT_TRUE(index.files.insertSorted(added, index.fileOrder()));
  ASSERT_EQ(index.files.blockCount(), blocks);
  f.ui.indexChanged = true;
  EXPECT_EQ(f.search("文档"), (Results{"F C:\\a1文档", "F C:\\文档"}));
}

}  // namespace
}  // namespace vessiko
