// The directory scope list: its volume and folder rows, check boxes, commands and in-place
// editor, and what searches find under the scope they give.
#include "search/scope_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/utf.h"
#include "search/memory_scope_view.h"
#include "tests/support/search_fixture.h"

namespace vessiko {
namespace {

using Results = std::vector<std::string>;

// The message boxes shown, as "caption: text [icon]".
std::vector<std::string> Boxes(const RecordingMessages& messages) {
  static const char* const kIcons[] = {"none", "information", "warning", "error"};
  std::vector<std::string> out;
  for (const auto& m : messages.messages())
    out.push_back(m.caption + ": " + m.text + " [" + kIcons[static_cast<int>(m.icon)] + "]");
  return out;
}

const Results kEverything{
    "F C:\\a_c_root.txt",       "F C:\\win\\a_c_win.txt",     "F D:\\docs\\deep\\a_d_deep.txt",
    "F D:\\docs\\a_d_docs.txt", "F D:\\music\\a_d_music.txt", "F D:\\a_d_root.txt"};

// Volumes C and D with folders C:\win, D:\docs, D:\docs\deep and D:\music, a file in each.
class ScopeListTest : public ::testing::Test {
 protected:
  ScopeListTest() {
    const RecordRef win = f_.addDir(f_.root('C'), "win");
    const RecordRef docs = f_.addDir(f_.root('D'), "docs");
    const RecordRef deep = f_.addDir(docs, "deep");
    const RecordRef music = f_.addDir(f_.root('D'), "music");
    f_.addFile(f_.root('C'), "a_c_root.txt");
    f_.addFile(win, "a_c_win.txt");
    f_.addFile(f_.root('D'), "a_d_root.txt");
    f_.addFile(docs, "a_d_docs.txt");
    f_.addFile(deep, "a_d_deep.txt");
    f_.addFile(music, "a_d_music.txt");
    f_.finish();
    f_.state.typed.set({u"a_", u""});
  }

  ScopeList& scope() { return f_.scope; }
  RecordingMessages& messages() { return f_.t.messages(); }
  EntryKey keyOf(const std::string& path) { return f_.folders.keys.at(Utf8ToUtf16(path)); }

  // The search a scope change makes the caller run, and what it finds.
  Results searchInScope() {
    f_.searchWith(f_.ui.scopeChanged);
    return f_.results();
  }
  // The user clicks a row's check box; the list view tells the list.
  bool clickCheckBox(int row, bool on) {
    f_.view.setCheckBox(row, on);
    return scope().checkBoxChanged(row);
  }
  bool addFolder(const std::string& path) {
    f_.view.queueFolder(FolderChoice::kChosen, Utf8ToUtf16(path));
    return scope().addFolder();
  }
  // Whether each row is checked, as the list holds it; the view's boxes must agree.
  std::vector<int> checked() {
    std::vector<int> out;
    for (int i = 0; i < scope().rowCount(); ++i) {
      out.push_back(scope().row(i).checked);
      EXPECT_EQ(f_.view.items().at(static_cast<size_t>(i)).checked, scope().row(i).checked != 0)
          << i;
    }
    return out;
  }

  testing::SearchFixture f_{"CD"};
};

TEST_F(ScopeListTest, AtStartEveryVolumeIsCheckedWithSubfoldersAndNothingIsRestricted) {
  ASSERT_EQ(scope().rowCount(), 2);
  EXPECT_EQ(scope().volumeRowCount(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(scope().row(i).includeSubfolders, 1);
    EXPECT_EQ(f_.view.items()[static_cast<size_t>(i)].second, u"是");
    EXPECT_TRUE(f_.view.items()[static_cast<size_t>(i)].volumeImage);
  }
  EXPECT_EQ(scope().row(1).key, RootKey('D' - 'A'));
  EXPECT_EQ(checked(), (std::vector<int>{1, 1}));
  std::vector<EntryKey> keys;
  std::vector<uint32_t> flags;
  EXPECT_EQ(scope().selectedScope(&keys, &flags), -1);
  EXPECT_EQ(searchInScope(), kEverything);
}

TEST_F(ScopeListTest, AVolumeWithoutSubfoldersAdmitsOnlyItsRootsEntries) {
  scope().setSecondColumn(1, u"否");
  std::vector<EntryKey> keys;
  std::vector<uint32_t> flags;
  EXPECT_EQ(scope().selectedScope(&keys, &flags), 2);
  EXPECT_EQ(keys, (std::vector<EntryKey>{RootKey('C' - 'A'), RootKey('D' - 'A')}));
  EXPECT_EQ(flags, (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(searchInScope(),
            (Results{"F C:\\a_c_root.txt", "F C:\\win\\a_c_win.txt", "F D:\\a_d_root.txt"}));
}

TEST_F(ScopeListTest, UncheckingEveryRowFindsNothing) {
  EXPECT_TRUE(clickCheckBox(0, false));
  EXPECT_TRUE(clickCheckBox(1, false));
  EXPECT_FALSE(clickCheckBox(1, false));  // no change
  std::vector<EntryKey> keys;
  std::vector<uint32_t> flags;
  EXPECT_EQ(scope().selectedScope(&keys, &flags), 0);
  EXPECT_EQ(searchInScope(), Results{});
  EXPECT_EQ(messages().lastStatus(), "0 个结果!");
  EXPECT_EQ(f_.search("win"), Results{});
}

TEST_F(ScopeListTest, AVolumeAndFoldersOnItAreNeverCheckedTogether) {
  EXPECT_TRUE(addFolder("D:\\docs"));
  ASSERT_EQ(scope().rowCount(), 3);
  EXPECT_EQ(scope().row(2).key, keyOf("D:\\docs"));
  EXPECT_EQ(scope().row(2).includeSubfolders, 1);
  EXPECT_EQ(f_.view.items()[2].text, u"D:\\docs");
  EXPECT_EQ(f_.view.items()[2].second, u"是");
  EXPECT_FALSE(f_.view.items()[2].volumeImage);
  EXPECT_EQ(checked(), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(searchInScope(),
            (Results{"F C:\\a_c_root.txt", "F C:\\win\\a_c_win.txt",
                     "F D:\\docs\\deep\\a_d_deep.txt", "F D:\\docs\\a_d_docs.txt"}));

  // Two folders of one volume can be checked together.
  EXPECT_TRUE(addFolder("D:\\music"));
  EXPECT_TRUE(addFolder("C:\\win"));
  EXPECT_EQ(checked(), (std::vector<int>{0, 0, 1, 1, 1}));
  EXPECT_EQ(searchInScope(), (Results{"F C:\\win\\a_c_win.txt", "F D:\\docs\\deep\\a_d_deep.txt",
                                      "F D:\\docs\\a_d_docs.txt", "F D:\\music\\a_d_music.txt"}));

  // Checking D again unchecks every folder on D, not the one on C.
  EXPECT_TRUE(clickCheckBox(1, true));
  EXPECT_EQ(checked(), (std::vector<int>{0, 1, 0, 0, 1}));
  std::vector<EntryKey> keys;
  std::vector<uint32_t> flags;
  EXPECT_EQ(scope().selectedScope(&keys, &flags), 2);
  EXPECT_EQ(keys, (std::vector<EntryKey>{RootKey('D' - 'A'), keyOf("C:\\win")}));
  EXPECT_EQ(searchInScope(), (Results{"F C:\\win\\a_c_win.txt", "F D:\\docs\\deep\\a_d_deep.txt",
                                      "F D:\\docs\\a_d_docs.txt", "F D:\\music\\a_d_music.txt",
                                      "F D:\\a_d_root.txt"}));

  // Checking a folder again unchecks its volume.
  EXPECT_TRUE(clickCheckBox(3, true));
  EXPECT_EQ(checked(), (std::vector<int>{0, 0, 0, 1, 1}));
}

TEST_F(ScopeListTest, CheckingAllVolumesUnchecksEveryFolder) {
  ASSERT_TRUE(addFolder("D:\\docs"));
  ASSERT_TRUE(addFolder("C:\\win"));
  EXPECT_TRUE(scope().checkAllVolumes());
  EXPECT_EQ(checked(), (std::vector<int>{1, 1, 0, 0}));
  std::vector<EntryKey> keys;
  std::vector<uint32_t> flags;
  EXPECT_EQ(scope().selectedScope(&keys, &flags), -1);
  EXPECT_EQ(searchInScope(), kEverything);
  EXPECT_FALSE(scope().checkAllVolumes());  // every volume row was on already
}

TEST_F(ScopeListTest, FolderChoicesThatAddNoRow) {
  EXPECT_FALSE(scope().addFolder());  // the browser was cancelled
  EXPECT_FALSE(addFolder("D:\\"));    // the volume row stands for the root
  EXPECT_TRUE(Boxes(messages()).empty());

  EXPECT_FALSE(addFolder("E:\\stuff"));
  EXPECT_EQ(Boxes(messages()),
            std::vector<std::string>{": 对不住，所选的不是NTFS卷，无法指定！ [error]"});
  messages().clear();

  f_.view.queueFolder(FolderChoice::kNoPath);
  EXPECT_FALSE(scope().addFolder());
  EXPECT_EQ(Boxes(messages()), std::vector<std::string>{": BROWSEINFO参数设置错误! [none]"});
  EXPECT_EQ(scope().rowCount(), 2);
  EXPECT_EQ(checked(), (std::vector<int>{1, 1}));

  // A folder listed already is not added twice, and nothing is said.
  messages().clear();
  ASSERT_TRUE(addFolder("D:\\docs"));
  addFolder("D:\\docs");
  EXPECT_EQ(scope().rowCount(), 3);
  EXPECT_EQ(f_.view.items().size(), 3u);
  EXPECT_TRUE(Boxes(messages()).empty());
  EXPECT_FALSE(scope().insertRow(2, u"Data (D:)", true));
}

TEST_F(ScopeListTest, RemovingFoldersKeepsTheVolumeRows) {
  ASSERT_TRUE(addFolder("D:\\docs"));
  ASSERT_TRUE(addFolder("D:\\music"));
  ASSERT_TRUE(addFolder("C:\\win"));
  ASSERT_TRUE(clickCheckBox(3, false));

  // The selected volume row is skipped; the removed folder was unchecked.
  f_.view.select(0, true);
  f_.view.select(3, true);
  EXPECT_FALSE(scope().removeSelected());
  ASSERT_EQ(scope().rowCount(), 4);
  EXPECT_EQ(scope().row(0).key, RootKey('C' - 'A'));
  EXPECT_EQ(f_.view.items()[3].text, u"C:\\win");

  // Two adjacent selected folders both go.
  f_.view.select(0, false);
  f_.view.select(2, true);
  f_.view.select(3, true);
  EXPECT_TRUE(scope().removeSelected());
  EXPECT_EQ(scope().rowCount(), 2);
  EXPECT_EQ(f_.view.items().size(), 2u);

  ASSERT_TRUE(addFolder("D:\\docs"));
  EXPECT_TRUE(scope().removeAllFolders());
  EXPECT_FALSE(scope().removeAllFolders());
  ASSERT_EQ(scope().rowCount(), 2);
  EXPECT_EQ(scope().volumeRowCount(), 2);
  EXPECT_EQ(f_.view.items()[0].text, u"Disk (C:)");
  EXPECT_EQ(f_.view.items()[1].text, u"Disk (D:)");
  // Both volume rows stay unchecked as the folders left them: nothing is in scope.
  EXPECT_EQ(checked(), (std::vector<int>{0, 0}));
  EXPECT_EQ(searchInScope(), Results{});
}

// Removing rows ends an edit in progress: the choice made for a removed row must not land on
// the folder that moved into its place.
TEST_F(ScopeListTest, RemovingRowsEndsTheEditInProgress) {
  ASSERT_TRUE(addFolder("D:\\docs"));
  ASSERT_TRUE(addFolder("D:\\music"));
  MemoryScopeView& view = f_.view;
  EXPECT_FALSE(scope().click(2, 1));
  ASSERT_EQ(scope().editingRow(), 2);
  view.select(2, true);
  EXPECT_TRUE(scope().removeSelected());
  EXPECT_FALSE(view.editorShown());
  EXPECT_EQ(scope().editingRow(), -1);
  // The next click on the second column opens a new edit rather than ending the old one.
  view.pickInEditor(1);
  EXPECT_FALSE(scope().click(2, 1));
  EXPECT_EQ(view.items()[2].second, u"是");
  EXPECT_EQ(scope().editingRow(), 2);
}

TEST_F(ScopeListTest, SwitchingSubfoldersSearchesOnlyForACheckedRow) {
  ASSERT_TRUE(addFolder("D:\\docs"));
  MemoryScopeView& view = f_.view;

  EXPECT_FALSE(scope().click(2, 1));
  EXPECT_TRUE(view.editorShown());
  view.pickInEditor(1);
  EXPECT_TRUE(scope().click(2, 1));
  EXPECT_EQ(view.items()[2].second, u"否");
  EXPECT_EQ(searchInScope(),
            (Results{"F C:\\a_c_root.txt", "F C:\\win\\a_c_win.txt", "F D:\\docs\\a_d_docs.txt"}));

  // The unchecked D row takes "否" without a search; once checked it searches accordingly.
  EXPECT_FALSE(scope().click(1, 1));
  view.pickInEditor(1);
  EXPECT_FALSE(scope().click(1, 1));
  EXPECT_EQ(scope().row(1).includeSubfolders, 0);
  EXPECT_TRUE(clickCheckBox(1, true));
  EXPECT_EQ(searchInScope(),
            (Results{"F C:\\a_c_root.txt", "F C:\\win\\a_c_win.txt", "F D:\\a_d_root.txt"}));
}

// A view that remembers where the editor was put.
class PlacedEditorView : public MemoryScopeView {
 public:
  int width() override { return listWidth; }
  void showEditor(int left, int top, int w, int height, int selection) override {
    placed = {left, top, left + w, top + height};
    MemoryScopeView::showEditor(left, top, w, height, selection);
  }
  int listWidth = 400;
  CellRect placed;
};

TEST(ScopeListEditorTest, AClickOnTheSecondColumnOpensTheEditorAndTheNextEndsIt) {
  RecordingMessages messages;
  PlacedEditorView view;
  testing::MapFolderResolver folders;
  ScopeList scope(view, folders, messages);
  ASSERT_TRUE(scope.insertRow(0, u"System (C:)", true));
  scope.setSecondColumn(0, u"是");
  ASSERT_TRUE(scope.insertRow(1, u"Data (D:)", true));
  scope.setSecondColumn(1, u"否");

  EXPECT_FALSE(scope.click(1, 0));
  EXPECT_FALSE(scope.click(-1, 1));
  EXPECT_FALSE(scope.click(2, 1));
  EXPECT_FALSE(view.editorShown());
  EXPECT_EQ(scope.editingRow(), -1);

  // The memory view's cell of row 1 is (300, 20)-(400, 38); the list is 400 wide, so the
  // editor stops 5 short of its right edge.
  EXPECT_FALSE(scope.click(1, 1));
  EXPECT_TRUE(view.editorShown());
  EXPECT_EQ(scope.editingRow(), 1);
  EXPECT_EQ(view.editorSelection(), 1);  // the cell reads "否"
  EXPECT_EQ(view.placed.left, 300);
  EXPECT_EQ(view.placed.top, 20);
  EXPECT_EQ(view.placed.right - view.placed.left, 95);
  EXPECT_EQ(view.placed.bottom - view.placed.top, 18);

  // The ending click opens no new edit, even on a second column; nothing changed.
  EXPECT_FALSE(scope.click(0, 1));
  EXPECT_FALSE(view.editorShown());
  EXPECT_EQ(scope.editingRow(), -1);

  view.listWidth = 1000;
  EXPECT_FALSE(scope.click(0, 1));
  EXPECT_EQ(view.editorSelection(), 0);
  EXPECT_EQ(view.placed.right - view.placed.left, 100);
  view.pickInEditor(1);
  EXPECT_TRUE(scope.click(1, 0));
  EXPECT_EQ(scope.row(0).includeSubfolders, 0);
  EXPECT_EQ(view.items()[0].second, u"否");

  // Scrolling or hiding the panel drops an edit without applying it.
  EXPECT_FALSE(scope.click(0, 1));
  view.pickInEditor(0);
  scope.hideEditor();
  EXPECT_FALSE(view.editorShown());
  EXPECT_EQ(scope.editingRow(), -1);
  EXPECT_FALSE(scope.click(0, 1));
  scope.hide();
  EXPECT_EQ(scope.editingRow(), -1);
  EXPECT_EQ(scope.row(0).includeSubfolders, 0);
}

TEST_F(ScopeListTest, RightClickMenuCommandsAnswerLikeTheirButtons) {
  MemoryScopeView& view = f_.view;
  view.answerMenu(0);
  EXPECT_FALSE(scope().rightClick());

  view.answerMenu(kCommandAddFolder);
  f_.view.queueFolder(FolderChoice::kChosen, u"D:\\docs");
  EXPECT_TRUE(scope().rightClick());
  EXPECT_EQ(scope().rowCount(), 3);

  view.answerMenu(kCommandCheckAllVolumes);
  EXPECT_TRUE(scope().rightClick());
  EXPECT_EQ(checked(), (std::vector<int>{1, 1, 0}));

  view.answerMenu(kCommandRemoveSelected);
  view.select(2, true);
  EXPECT_FALSE(scope().rightClick());  // the folder was unchecked
  EXPECT_EQ(scope().rowCount(), 2);

  ASSERT_TRUE(addFolder("C:\\win"));
  view.answerMenu(kCommandRemoveAllFolders);
  EXPECT_TRUE(scope().rightClick());
  EXPECT_EQ(scope().rowCount(), 2);
}

}  // namespace
}  // namespace vessiko
