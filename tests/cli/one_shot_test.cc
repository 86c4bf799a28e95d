// The one-shot command end to end on temporary trees: the eight columns as the window formats
// them, the index kept across runs, the options the window refuses, scope and filters.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <set>

#include "tests/cli/vessiko_process.h"
#include "tests/mirror/temp_tree.h"
#include "vessiko_version.h"

namespace vessiko::testing {
namespace {

class OneShotTest : public ::testing::Test {
 protected:
  Outcome search(std::vector<std::string> args) {
    args.insert(args.begin(), {"--drive", "C=" + tree.root(), "--db-dir", database.root()});
    return RunVessiko(args);
  }
  // The entries found, as the tree's walk names them: "D path" or "F path" below the root.
  std::vector<std::string> found(const Outcome& outcome) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < outcome.out.size()) {
      const size_t end = outcome.out.find('\n', start);
      const std::vector<std::string> f = FieldsOf(outcome.out.substr(start, end - start));
      start = end + 1;
      EXPECT_EQ(f.size(), 8u);
      if (f[2].empty()) continue;  // the drive's own root
      const bool directory = f[7].size() >= 9 && f[7].substr(f[7].size() - 9) == "文件夹";
      std::string path = f[2].substr(tree.root().size() + 1) + f[0];
      if (!f[1].empty()) path += "." + f[1];
      entries.push_back((directory ? "D " : "F ") + path);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
  }

  TempTree tree;
  TempTree database;
};

// The time as the columns show it, in the tests' zone (UTC+8).
std::string Shown(time_t seconds) {
  seconds += 8 * 3600;
  struct tm t {};
  gmtime_r(&seconds, &t);
  char text[64];
  std::snprintf(text, sizeof text, "%d年%d月%d日 %d时%d分", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min);
  return text;
}

time_t BirthOf(const std::string& path) {
  struct statx st {};
  statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &st);
  return (st.stx_mask & STATX_BTIME) ? st.stx_btime.tv_sec : st.stx_mtime.tv_sec;
}

TEST_F(OneShotTest, RowsHoldTheEightCellsAsTheWindowShowsThem) {
  tree.makeDirectory("box");
  tree.writeFile("box/zero.bin", 0);
  tree.writeFile("box/b1023.bin", 1023);
  tree.writeFile("box/k1024.bin", 1024);
  tree.writeFile("box/m1.bin", 1048576);
  tree.writeFile("box/g1.bin", 1073741824);
  tree.writeFile("box/.secret");
  tree.symlink("zero.bin", "box/.pointer");
  mkfifo(tree.path("box/queue").c_str(), 0644);
  tree.setTimes("box/k1024.bin", 1700000000, 1600000000);
  const Outcome outcome = search({"--scope", tree.path("box"), "?*"});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string folder = tree.root() + "/box/";
  const std::string born = Shown(BirthOf(tree.path("box/k1024.bin")));
  EXPECT_NE(outcome.out.find("k1024\tbin\t" + folder + "\t1.00 KB\t" + born + "\t" +
                             Shown(1600000000) + "\t" + Shown(1700000000) + "\t[普通]文件\n"),
            std::string::npos)
      << outcome.out;
  const auto cells = [&](const std::string& name) {
    const size_t at = outcome.out.find(name + "\t");
    EXPECT_NE(at, std::string::npos) << name;
    return FieldsOf(outcome.out.substr(at, outcome.out.find('\n', at) - at));
  };
  EXPECT_EQ(cells("zero")[3], "0 B");
  EXPECT_EQ(cells("b1023")[3], "1023 B");
  EXPECT_EQ(cells("m1")[3], "1.00 MB");
  EXPECT_EQ(cells("g1")[3], "1.00 GB");
  EXPECT_EQ(cells(".secret")[7], "[隐藏]文件");
  EXPECT_EQ(cells(".pointer")[7], "[隐藏,系统]文件");
  EXPECT_EQ(cells("queue")[7], "[系统]文件");
  // Directories come first, then files; this query finds no folder inside box.
  EXPECT_EQ(outcome.out.find("文件夹"), std::string::npos);
}

TEST_F(OneShotTest, FieldsEscapeTabsLineFeedsAndBackslashesAndKeepForeignBytes) {
  tree.writeFile("a\tb\\c\nd.txt");
  tree.writeFile("bad\xFF.bin");
  Outcome outcome = search({"a"});
  ASSERT_EQ(outcome.status, 0);
  EXPECT_EQ(FieldsOf(outcome.out.substr(0, outcome.out.find('\n')))[0], "a\\tb\\\\c\\nd");
  outcome = search({"bad"});
  // The file system's bytes, as they are: the path can be used as it is printed.
  EXPECT_EQ(FieldsOf(outcome.out.substr(0, outcome.out.find('\n')))[0], "bad\xFF");
}

// Script output: the paths as the file system has them, nothing escaped; counts and limits.
TEST_F(OneShotTest, PathsAreTheFileSystemsBytesEndedAsAsked) {
  tree.makeDirectory("odd");
  const std::vector<std::string> names = {"odd/a\tb\nc.txt", "odd/bad\xFF.bin", "odd/plain"};
  for (const std::string& name : names)
    tree.writeFile(name);
  const auto listed = [](const std::string& out, char end) {
    std::vector<std::string> paths;
    for (size_t start = 0, stop; (stop = out.find(end, start)) != out.npos; start = stop + 1)
      paths.push_back(out.substr(start, stop - start));
    std::sort(paths.begin(), paths.end());
    return paths;
  };
  std::vector<std::string> expected = {tree.root(), tree.path("odd")};
  for (const std::string& name : names)
    expected.push_back(tree.path(name));
  std::sort(expected.begin(), expected.end());

  Outcome outcome = search({"-0", "--scope", tree.root(), "?*"});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(listed(outcome.out, '\0'), expected);
  outcome = search({"--paths", "plain"});
  EXPECT_EQ(outcome.out, tree.path("odd/plain") + "\n");
  outcome = search({"--count", "?*"});
  EXPECT_EQ(outcome.out, "5\n");  // the drive's root is a row too
  outcome = search({"--count", "--limit", "2", "?*"});
  EXPECT_EQ(outcome.out, "2\n");
  outcome = search({"-0", "--limit=3", "?*"});
  EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\0'), 3);
  outcome = search({"--limit", "0", "?*"});
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(search({"--limit", "-1", "a"}).status, 2);
}

TEST_F(OneShotTest, ASecondRunShowsExactlyTheTreeAsItIsNow) {
  tree.makeDirectory("music");
  tree.makeDirectory("music/live");
  tree.writeFile("music/live/one.ogg");
  tree.writeFile("music/two.ogg");
  tree.makeDirectory("notes");
  tree.writeFile("notes/todo.txt");
  tree.writeFile("notes/old.txt");
  tree.writeFile("readme");
  Outcome first = search({"?*"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(found(first), tree.walk());

  tree.writeFile("notes/new.txt");
  tree.remove("notes/old.txt");
  tree.rename("readme", "readme.md");
  tree.rename("music/two.ogg", "notes/two.ogg");
  tree.rename("music", "songs");  // a folder with children
  tree.makeDirectory("songs/live/more");
  tree.rename("notes", "songs/live/more/notes");
  Outcome second = search({"?*"});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(found(second), tree.walk());
  // The saved index was loaded and caught up, not built again.
  EXPECT_NE(second.err.find("正在更新数据库..."), std::string::npos) << second.err;
  EXPECT_EQ(second.err.find("正在扫描"), std::string::npos) << second.err;
}

TEST_F(OneShotTest, VersionIsTheProjects) {
  const Outcome outcome = RunVessiko({"--version"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, std::string("vessiko ") + kVersionText + "\n");
}

TEST_F(OneShotTest, RefusedOptionsAndFiltersEndWithTheWindowsMessage) {
  tree.writeFile("file");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"--no-folders", "--no-files", "x"}, 1, "文件和文件夹至少指定一个！"},
      {{"--size", "lt,0,KB", "x"}, 1, "不存在小于0的文件"},
      {{"--size", "eq,-1,KB", "x"}, 1, "指定的文件大小数无效"},
      {{"--size", "eq,4294967296,B", "x"}, 1, "指定的文件大小数无效"},
      {{"--date", "created,after,2999-01-01", "x"}, 1, "指定了一个未来时间！"},
      {{"--date", "created,between,2020-02-01,2020-01-01", "x"}, 1, "指定的时间区间不合法！"},
      {{"--attr", "", "x"}, 1, "必须指定一个过滤属性！"},
      {{"--scope", "/", "x"}, 1, "对不住，所选的不是NTFS卷，无法指定！"},
      {{"--size", "about,1,KB", "x"}, 2, "--size"},
      {{"--date", "created,after,2020-13-01", "x"}, 2, "--date"},
      {{"--attr", "archive", "x"}, 2, "--attr"},
      {{"--frobnicate", "x"}, 2, "unknown option"},
      {{"a", "b", "c"}, 2, "too many"},
      {{"--scope", "/no/such/folder", "x"}, 2, "not a directory"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = search(c.args);
    EXPECT_EQ(outcome.status, c.status) << c.args[0] << " " << outcome.err;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.args[0] << " " << outcome.err;
    EXPECT_TRUE(outcome.out.empty());
  }
}

TEST_F(OneShotTest, ScopeAndFiltersNarrowTheResults) {
  tree.makeDirectory("top");
  tree.makeDirectory("top/deep");
  tree.writeFile("top/small.dat", 100);
  tree.writeFile("top/deep/large.dat", 5000);
  tree.writeFile("top/.dot.dat", 2000);
  tree.writeFile("elsewhere.dat", 3000);
  tree.setTimes("top/small.dat", 1500000000, 1500000000);
  // Every file with the extension "dat".
  const auto names = [&](std::vector<std::string> args) {
    args.push_back("?*");
    args.push_back("dat");
    const Outcome outcome = search(args);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    return found(outcome);
  };
  EXPECT_EQ(
      names({"--scope", tree.path("top")}),
      (std::vector<std::string>{"F top/.dot.dat", "F top/deep/large.dat", "F top/small.dat"}));
  EXPECT_EQ(names({"--scope-top", tree.path("top")}),
            (std::vector<std::string>{"F top/.dot.dat", "F top/small.dat"}));
  // The drive's own directory stands for the whole volume.
  EXPECT_EQ(names({"--scope-top", tree.root()}), (std::vector<std::string>{"F elsewhere.dat"}));
  EXPECT_EQ(
      names({"--size", "gt,1,KB"}),
      (std::vector<std::string>{"F elsewhere.dat", "F top/.dot.dat", "F top/deep/large.dat"}));
  EXPECT_EQ(names({"--attr", "hidden"}), (std::vector<std::string>{"F top/.dot.dat"}));
  EXPECT_EQ(names({"--date", "modified,before,2018-01-01", "--attr", "normal"}),
            (std::vector<std::string>{"F top/small.dat"}));
  // A size group with no file among the results: no folder can pass a size.
  tree.makeDirectory("dat-folder");
  const Outcome folders = search({"--size", "gt,0,B", "--no-files", "dat"});
  EXPECT_EQ(folders.status, 0);
  EXPECT_TRUE(folders.out.empty());
  EXPECT_NE(folders.err.find("当前结果中没有文件(非文件夹)数为0"), std::string::npos);
}

}  // namespace
}  // namespace vessiko::testing
