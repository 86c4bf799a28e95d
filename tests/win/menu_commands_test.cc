// The menu bar's commands: the search options and their refusal, the two panels and their
// captions, help, exit without saving, and the ends of the window: the close, the session's
// end, a close during the start-up's question, a failure inside a handler.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <new>
#include <thread>

#include "platform/win32/wide_path.h"
#include "tests/win/main_window_fixture.h"
#include "ui/resource_ids.h"

namespace vessiko::testing {
namespace {

using Names = std::vector<std::string>;

constexpr char kCore[] = "C:\\db\\kavume_core.db";
constexpr char kExtensions[] = "C:\\db\\kavume_ext.db";

TEST_F(MainWindowTest, CaseSensitiveOptionSearchesAgain) {
  search("caseprobe");
  const Names anyCase = names();
  EXPECT_EQ(anyCase, (Names{"caseprobe.log", "CaseProbe.txt"}));
  EXPECT_FALSE(searchOptionChecked(0));

  command(IDM_CASE_SENSITIVE);
  EXPECT_TRUE(searchOptionChecked(0));
  EXPECT_EQ(names(), (Names{"caseprobe.log"}));

  command(IDM_CASE_SENSITIVE);
  EXPECT_FALSE(searchOptionChecked(0));
  EXPECT_EQ(names(), anyCase);
}

TEST_F(MainWindowTest, FoldersAndFilesCannotBothBeOff) {
  search("attrprobe");
  EXPECT_EQ(rows(), 5);
  command(IDM_SEARCH_FOLDERS);
  EXPECT_FALSE(searchOptionChecked(1));
  EXPECT_EQ(rows(), 4);  // the folder is gone

  command(IDM_SEARCH_FILES);
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(messages.boxes()[0].caption, "友情提醒！");
  EXPECT_EQ(messages.boxes()[0].text, "文件和文件夹至少指定一个！");
  EXPECT_TRUE(searchOptionChecked(2));
  EXPECT_EQ(rows(), 4);

  command(IDM_SEARCH_FOLDERS);
  command(IDM_SEARCH_FILES);
  EXPECT_TRUE(searchOptionChecked(1));
  EXPECT_FALSE(searchOptionChecked(2));
  EXPECT_EQ(names(), (Names{"attrprobe_dir"}));
  command(IDM_SEARCH_FOLDERS);
  EXPECT_EQ(messages.boxes().size(), 2u);
  EXPECT_TRUE(searchOptionChecked(1));
}

TEST_F(MainWindowTest, PanelTogglesNeverOpenBothAndRenameTheirItems) {
  const auto scopeShown = [this] { return shown(IDC_SCOPE_LIST); };
  const auto filterShown = [this] { return shown(IDC_FILTER_BUTTON); };
  EXPECT_EQ(barCaption(2), "展开目录设置(&M)");
  EXPECT_EQ(barCaption(3), "过滤选项(&G)");
  EXPECT_FALSE(scopeShown());
  EXPECT_FALSE(filterShown());

  command(IDM_SCOPE_PANEL);
  EXPECT_TRUE(scopeShown());
  EXPECT_EQ(barCaption(2), "目录设置(&M)");

  command(IDM_FILTER_PANEL);
  EXPECT_TRUE(filterShown());
  EXPECT_FALSE(scopeShown());
  EXPECT_EQ(barCaption(3), "收起过滤选项(&G)");
  EXPECT_EQ(barCaption(2), "展开目录设置(&M)");

  command(IDM_SCOPE_PANEL);
  EXPECT_TRUE(scopeShown());
  EXPECT_FALSE(filterShown());
  EXPECT_EQ(barCaption(3), "过滤选项(&G)");
  EXPECT_EQ(barCaption(2), "目录设置(&M)");

  command(IDM_SCOPE_PANEL);
  EXPECT_FALSE(scopeShown());
  EXPECT_EQ(barCaption(2), "目录设置(&M)");

  command(IDM_FILTER_PANEL);
  command(IDM_FILTER_PANEL);
  EXPECT_FALSE(filterShown());
  EXPECT_EQ(barCaption(3), "展开过滤选项(&G)");
}

TEST_F(MainWindowTest, CommandsWithoutActionAndEnterOrEscapeDoNothing) {
  search("qzx");
  for (int id : {IDM_NEW_WINDOW, IDM_EXPORT, IDM_ABOUT, IDOK, IDCANCEL})
    command(id);
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    PostMessageW(item(IDC_NAME_EDIT), WM_KEYDOWN, key, 0);
    pump();
  }
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_TRUE(messages.boxes().empty());
  EXPECT_EQ(rows(), 2);
}

TEST_F(MainWindowTest, HelpShowsItsNotice) {
  command(IDM_HELP);
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(messages.boxes()[0].caption, "帮助提醒");
  EXPECT_EQ(messages.boxes()[0].text, "现在请登陆Vessiko官网查看帮助。");
  EXPECT_EQ(messages.boxes()[0].icon, MessageIcon::kInformation);
  EXPECT_TRUE(urls.opened.empty());  // this build names no product web site
}

TEST_F(MainWindowTest, ExitClosesWithoutSaving) {
  command(IDM_EXIT);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(files.exists(kCore));
  EXPECT_FALSE(files.exists(kExtensions));
  EXPECT_EQ(files.replaceCount(), 0);
}

TEST_F(MainWindowTest, CloseSavesTheIndex) {
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(files.exists(kCore));
  EXPECT_TRUE(files.exists(kExtensions));
}

TEST_F(MainWindowTest, CloseWhileAFilterIsInForceSavesTheIndex) {
  search("sizeprobe");
  command(IDM_FILTER_PANEL);
  SendMessageW(item(IDC_SIZE_CHECK), BM_CLICK, 0, 0);
  SendMessageW(item(IDC_FILTER_BUTTON), BM_CLICK, 0, 0);
  pump();
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(files.exists(kCore));
  EXPECT_TRUE(files.exists(kExtensions));
}

TEST_F(MainWindowTest, SessionEndSavesTheIndex) {
  EXPECT_EQ(SendMessageW(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  SendMessageW(dialog, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);  // another program said no
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_FALSE(files.exists(kCore));
  SendMessageW(dialog, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_TRUE(files.exists(kCore));
  EXPECT_TRUE(files.exists(kExtensions));
}

TEST_F(MainWindowTest, CloseDuringTheOutOfDateQuestionEndsAtOnce) {
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  pump();
  SimVolume& c = machine.volume('C');  // a new journal: the saved index is out of date
  ASSERT_TRUE(c.beginJournalDeletion());
  c.finishJournalDeletion();
  ASSERT_TRUE(c.createJournal(32ULL << 20, 8ULL << 20));
  const std::vector<uint8_t> saved = files.get(kCore);

  // The start-up asks in a real box; the window is closed while the box waits for its answer.
  messages.realQuestions = true;
  main = std::make_unique<MainDialog>(ProgramParts{machine, files, clock, folders, tasks, messages,
                                                   shell, urls,
                                                   DatabasePaths::inFolder("C:\\db", '\\')});
  dialog = main->create(GetModuleHandleW(nullptr));
  ASSERT_NE(dialog, nullptr);
  std::atomic<bool> asked{false};
  std::thread user([&] {
    for (int i = 0; i < 1000 && !asked; ++i) {
      asked = utf8(boxCaption()) == "友情更新提醒";
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  });
  const bool closed = pumpUntil([this] { return !IsWindow(dialog); }, std::chrono::seconds(20));
  user.join();
  EXPECT_TRUE(asked);
  ASSERT_TRUE(closed);
  EXPECT_EQ(files.get(kCore), saved);  // the question was never answered yes: nothing saved
}

TEST_F(MainWindowTest, AFailureInAHandlerIsToldAndTheWindowLivesOn) {
  tasks.post([] { throw std::bad_alloc(); });
  pump();
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(messages.boxes()[0].text, "申请内存失败:8");
  search("qzx");
  EXPECT_EQ(rows(), 2);
}

}  // namespace
}  // namespace vessiko::testing
