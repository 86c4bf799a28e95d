// Journal records applied to a linked index: the five cases, renames that keep children, moves,
// replays that must change nothing, and what the live results are told.
#include "volume/change_application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/live_refresh.h"
#include "platform/fakes/failing_heap.h"
#include "platform/ntfs_layout.h"
#include "platform/utf.h"
#include "tests/support/search_fixture.h"
#include "tests/support/test_index.h"

namespace vessiko {
namespace {

constexpr uint32_t kCreate = ntfs::kReasonFileCreate;
constexpr uint32_t kDelete = ntfs::kReasonFileDelete;
constexpr uint32_t kOld = ntfs::kReasonRenameOldName;
constexpr uint32_t kNew = ntfs::kReasonRenameNewName;
constexpr uint32_t kClose = ntfs::kReasonClose;
constexpr uint32_t kDir = ntfs::kAttributeDirectory;

class RecordingListener : public ChangeListener {
 public:
  void changeApplied(bool isDirectory, char16_t* name, uint32_t length) override {
    changes.push_back((isDirectory ? "D " : "F ") + Utf16ToUtf8(std::u16string_view(name, length)));
  }
  void directoriesRenamed() override { ++renames; }
  std::vector<std::string> changes;
  int renames = 0;
};

class ChangeApplicationTest : public ::testing::Test {
 protected:
  ChangeApplicationTest() {
    docs_ = f_.addDir(f_.root('C'), "docs");
    f_.addFile(docs_, "a.txt");
    f_.finish();
  }

  uint64_t numberOf(RecordRef dir) { return RecordNumberOf(f_.t.index().dir(dir).key()); }

  void apply(uint32_t reason, uint32_t attributes, uint64_t record, uint64_t parent,
             const std::string& name) {
    std::u16string units = Utf8ToUtf16(name);
    ApplyChange(context_,
                {2, attributes, reason, record | (uint64_t{3} << 48), parent | (uint64_t{1} << 48),
                 units.data(), static_cast<uint32_t>(units.size())});
  }

  std::vector<std::string> everything() {
    std::vector<std::string> out;
    for (RecordRef d : f_.t.dirsInOrder())
      out.push_back("D " + f_.t.pathOf(d));
    for (RecordRef file : f_.t.filesInOrder())
      out.push_back("F " + f_.t.filePath(file));
    return out;
  }

  testing::SearchFixture f_;
  RecordRef docs_;
  RecordingListener listener_;
  ChangeContext context_{f_.t.index(), f_.t.messages(), &listener_};
};

TEST_F(ChangeApplicationTest, CreationsAndDeletions) {
  const uint64_t docs = numberOf(docs_);
  apply(kCreate, 0, 900, docs, "b.TXT");
  apply(kCreate | kClose, 0, 900, docs, "b.TXT");
  apply(kCreate | kClose, kDir, 901, 5, "new");
  EXPECT_EQ(everything(), (std::vector<std::string>{"D C:", "D C:\\docs", "D C:\\new",
                                                    "F C:\\docs\\a.txt", "F C:\\docs\\b.txt"}));
  apply(kDelete | kClose, 0, 900, docs, "b.TXT");
  apply(kDelete | kClose, kDir, 901, 5, "new");
  EXPECT_EQ(everything(), (std::vector<std::string>{"D C:", "D C:\\docs", "F C:\\docs\\a.txt"}));
  // A name is there from the creation's first record on (the closing one finds it there); the
  // extension reached the listener lowered.
  EXPECT_EQ(listener_.changes, (std::vector<std::string>{"F b.txt", "D new", "F b.txt", "D new"}));
}

TEST_F(ChangeApplicationTest, CreatedAndDeletedBeforeCloseLeavesNothing) {
  apply(kCreate, 0, 902, numberOf(docs_), "temp.tmp");
  apply(kCreate | kDelete | kClose, 0, 902, numberOf(docs_), "temp.tmp");
  EXPECT_EQ(everything().size(), 3u);
  // Nothing is told of a record that finds nothing to do.
  apply(kCreate | kDelete | kClose, 0, 903, numberOf(docs_), "temp2.tmp");
  EXPECT_EQ(listener_.changes, (std::vector<std::string>{"F temp.tmp", "F temp.tmp"}));
}

TEST_F(ChangeApplicationTest, RenamedDirectoryKeepsItsChildren) {
  const RecordRef sub = f_.addDir(docs_, "sub");
  f_.addFile(sub, "deep.txt");
  f_.finish();
  const uint64_t docs = numberOf(docs_);
  apply(kOld, kDir, docs, 5, "docs");
  apply(kNew, kDir, docs, 5, "papers");
  apply(kNew | kClose, kDir, docs, 5, "papers");
  EXPECT_EQ(everything(),
            (std::vector<std::string>{"D C:", "D C:\\papers", "D C:\\papers\\sub",
                                      "F C:\\papers\\a.txt", "F C:\\papers\\sub\\deep.txt"}));
  EXPECT_GE(listener_.renames, 1);
}

TEST_F(ChangeApplicationTest, MovedFileChangesItsParent) {
  apply(kCreate | kClose, kDir, 910, 5, "other");
  apply(kOld, 0, 777, numberOf(docs_), "a.txt");
  // The file's record number: the fixture gave it one; look it up.
  EXPECT_EQ(everything().size(), 4u);  // not found under the guessed number: nothing removed
  const uint32_t record = f_.t.index().file(f_.t.filesInOrder()[0]).recordNumber();
  apply(kOld, 0, record, numberOf(docs_), "a.txt");
  apply(kNew | kClose, 0, record, 910, "a.txt");
  EXPECT_EQ(everything(),
            (std::vector<std::string>{"D C:", "D C:\\docs", "D C:\\other", "F C:\\other\\a.txt"}));
}

TEST_F(ChangeApplicationTest, ChangesUnderUnknownFoldersAreIgnored) {
  apply(kCreate | kClose, 0, 920, 4444, "lost.txt");
  apply(kCreate | kClose, kDir, 921, 4444, "lost");
  apply(kNew | kClose, kDir, 922, 4444, "lost2");
  EXPECT_EQ(everything().size(), 3u);
  EXPECT_TRUE(listener_.changes.empty());  // nothing changed, so nothing searches again
}

TEST_F(ChangeApplicationTest, ReplayedChangesAddNothingTwice) {
  const uint64_t docs = numberOf(docs_);
  for (int round = 0; round < 2; ++round) {
    apply(kCreate | kClose, 0, 930, docs, "twice.txt");
    apply(kCreate | kClose, kDir, 931, docs, "twice");
  }
  EXPECT_EQ(everything(), (std::vector<std::string>{"D C:", "D C:\\docs", "D C:\\docs\\twice",
                                                    "F C:\\docs\\a.txt", "F C:\\docs\\twice.txt"}));
  // A directory the index knows under a later name leaves by its own record.
  apply(kOld, kDir, 931, docs, "older-name");
  apply(kNew | kClose, kDir, 931, 5, "moved");
  EXPECT_EQ(everything(), (std::vector<std::string>{"D C:", "D C:\\docs", "D C:\\moved",
                                                    "F C:\\docs\\a.txt", "F C:\\docs\\twice.txt"}));
}

TEST_F(ChangeApplicationTest, HardLinkInAnotherFolderStays) {
  apply(kCreate | kClose, kDir, 940, 5, "x");
  apply(kCreate | kClose, kDir, 941, 5, "y");
  apply(kCreate | kClose, 0, 950, 940, "same.txt");
  apply(kCreate | kClose, 0, 950, 941, "same.txt");  // a second name of the same file
  apply(kDelete | kClose, 0, 950, 941, "same.txt");
  const auto all = everything();
  EXPECT_NE(std::find(all.begin(), all.end(), "F C:\\x\\same.txt"), all.end());
  EXPECT_EQ(std::find(all.begin(), all.end(), "F C:\\y\\same.txt"), all.end());
}

// Once 256 extensions exist, 255 is a real index: a removal whose extension the table does not
// hold matches nothing, rather than a namesake with the extension of index 255.
TEST_F(ChangeApplicationTest, AnUnknownExtensionRemovesNothing) {
  std::string ext255;
  for (int i = 0; ext255.empty(); ++i) {
    std::u16string text = Utf8ToUtf16("e" + std::to_string(i));
    if (f_.t.index().extensions.intern(text.data(), static_cast<uint32_t>(text.size())) == 255) {
      ext255 = Utf16ToUtf8(text);
    }
  }
  apply(kCreate | kClose, 0, 990, numberOf(docs_), "x." + ext255);
  apply(kDelete | kClose, 0, 990, numberOf(docs_), "x.neverseen");
  const auto all = everything();
  EXPECT_NE(std::find(all.begin(), all.end(), "F C:\\docs\\x." + ext255), all.end());
}

TEST_F(ChangeApplicationTest, WideRecordNumbersAreLeftOutWithOneMessage) {
  apply(kCreate | kClose, 0, 0x8000005, 5, "alias.txt");
  apply(kCreate | kClose, 0, 0x8000006, 5, "alias2.txt");
  EXPECT_EQ(everything().size(), 3u);
  EXPECT_EQ(f_.t.messages().messages().size(), 1u);
}

// Out of memory for a new extension: the file is left out, not stored as another file without
// its extension.
TEST(ChangeApplicationMemory, AnExtensionThatCannotBeInternedRefusesTheFile) {
  FailingHeap system;
  testing::TestIndex t(&system);
  Index& index = t.index();
  index.extensions.seedBuiltins();
  const RecordRef root = index.dirArena.allocate(DirEntry::kRootBytes);
  DirEntry::initRoot(index.dirArena.at(root), 2);
  ASSERT_TRUE(index.dirs.append(root) && index.dirMap.append(RootKey(2), root));
  ChangeContext context{index, t.messages()};
  std::u16string first = u"first.txt";
  ApplyChange(context, {2, 0, kCreate | kClose, 900, 5, first.data(), 9});
  system.failAfter(0);
  std::u16string name = u"x.brandnew";
  ApplyChange(context, {2, 0, kCreate | kClose, 901, 5, name.data(), 10});
  system.allowAll();
  EXPECT_EQ(index.files.itemCount(), 1u);
}

// Live results: a change that matches the query in force searches again.
class LiveRefreshTest : public ::testing::Test {
 protected:
  LiveRefreshTest() {
    f_.addFile(f_.root('C'), "readme.md");
    f_.finish();
  }
  testing::SearchFixture f_;
};

TEST_F(LiveRefreshTest, MatchingChangesSearchAgain) {
  LiveRefresh refresh(f_.context);
  ChangeContext context{f_.t.index(), f_.t.messages(), &refresh};
  EXPECT_EQ(f_.search("readme"), std::vector<std::string>{"F C:\\readme.md"});
  std::u16string name = u"README.TXT";
  ApplyChange(context, {2, 0, kCreate | kClose, 960, 5, name.data(), 10});
  EXPECT_EQ(f_.results(), (std::vector<std::string>{"F C:\\readme.md", "F C:\\README.txt"}));
  // A folder while only files are searched starts nothing.
  f_.ui.searchFolders = false;
  const size_t statuses = f_.t.messages().statuses().size();
  std::u16string folder = u"readme-folder";
  ApplyChange(context, {2, kDir, kCreate | kClose, 961, 5, folder.data(), 13});
  EXPECT_EQ(f_.t.messages().statuses().size(), statuses);
}

// Patterns are anchored to a file's base name, so the refresh tests that, not the whole name.
TEST_F(LiveRefreshTest, AnchoredPatternsMeetFilesByTheirBaseNames) {
  LiveRefresh refresh(f_.context);
  ChangeContext context{f_.t.index(), f_.t.messages(), &refresh};
  for (const char* query : {"*port", "re?ort", "r*p?rt"}) {
    SCOPED_TRACE(query);
    EXPECT_EQ(f_.search(query), std::vector<std::string>{});
    std::u16string name = u"report.txt";
    ApplyChange(context, {2, 0, kCreate | kClose, 970, 5, name.data(), 10});
    EXPECT_EQ(f_.results(), std::vector<std::string>{"F C:\\report.txt"});
    name = u"report.txt";
    ApplyChange(context, {2, 0, kDelete | kClose, 970, 5, name.data(), 10});
    EXPECT_EQ(f_.results(), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace vessiko
