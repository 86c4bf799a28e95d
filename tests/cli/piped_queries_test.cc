// The piped mode end to end: many queries in one run, checked against a plain walk of the
// tree, and changes made while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "tests/cli/vessiko_process.h"
#include "tests/mirror/temp_tree.h"

namespace vessiko::testing {
namespace {

std::string Lowered(std::string s) {
  for (char& c : s)
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

// What a one-word query finds, by the search's rules: a folder by its whole name, a file by
// its name without the extension (after its last dot, unless the dot comes first), letters
// compared without case; folders first, then files.
std::vector<std::string> Expected(const TempTree& tree, const std::string& word) {
  std::vector<std::string> folders, files;
  for (const std::string& entry : tree.walk()) {
    const std::string path = entry.substr(2);
    const std::string name = path.substr(path.rfind('/') + 1);
    const bool directory = entry[0] == 'D';
    const size_t dot = name.rfind('.');
    const std::string base =
        directory || dot == 0 || dot == std::string::npos ? name : name.substr(0, dot);
    if (Lowered(base).find(Lowered(word)) == std::string::npos) continue;
    (directory ? folders : files).push_back(entry);
  }
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end());
  folders.insert(folders.end(), files.begin(), files.end());
  return folders;
}

std::vector<std::string> EntriesOf(const TempTree& tree, const std::vector<std::string>& rows) {
  std::vector<std::string> folders, files;
  for (const std::string& row : rows) {
    const std::vector<std::string> f = FieldsOf(row);
    if (f[2].empty()) continue;  // the drive's own root
    const bool directory = f[7].find("文件夹") != std::string::npos;
    std::string path = f[2].substr(tree.root().size() + 1) + f[0];
    if (!f[1].empty()) path += "." + f[1];
    (directory ? folders : files).push_back((directory ? "D " : "F ") + path);
  }
  // The list's own order is the collation's; compared here as sets, each kind on its side.
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end());
  folders.insert(folders.end(), files.begin(), files.end());
  return folders;
}

TEST(PipedQueries, RandomQueriesFindWhatAPlainWalkFinds) {
  TempTree tree;
  TempTree database;
  std::mt19937 random(5);
  const std::string letters = "abcdeAB";
  const auto word = [&](int length) {
    std::string w;
    for (int i = 0; i < length; ++i) {
      w.push_back(letters[std::uniform_int_distribution<size_t>(0, letters.size() - 1)(random)]);
    }
    return w;
  };
  std::vector<std::string> folders{""};
  for (int i = 0; i < 300; ++i) {
    const std::string& parent =
        folders[std::uniform_int_distribution<size_t>(0, folders.size() - 1)(random)];
    const std::string name = parent + (parent.empty() ? "" : "/") + word(4) + std::to_string(i);
    if (i % 5 == 0) {
      tree.makeDirectory(name);
      folders.push_back(name);
    } else {
      tree.writeFile(name + (i % 3 == 0 ? ".txt" : i % 3 == 1 ? ".cc" : ""));
    }
  }
  PipedVessiko vessiko({"--drive", "C=" + tree.root(), "--db-dir", database.root()});
  for (int q = 0; q < 60; ++q) {
    const std::string w = word(q % 3 + 1);
    ASSERT_EQ(EntriesOf(tree, vessiko.query(w)), Expected(tree, w)) << w;
  }
  EXPECT_EQ(vessiko.finish(), 0);
}

// Each answer ends as its lines do: an empty line after counts, an empty path after NUL-ended
// paths.
TEST(PipedQueries, AnswersEndAsTheirOutputDoes) {
  TempTree tree;
  TempTree database;
  tree.writeFile("one.txt");
  tree.writeFile("two.txt");
  const std::vector<std::string> where = {"--drive", "C=" + tree.root(), "--db-dir",
                                          database.root()};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.begin(), where.begin(), where.end());
    return RunVessiko(args, "one\no\no\tdoc\n").out;
  };
  EXPECT_EQ(with({"--count"}), "1\n\n2\n\n0\n\n");
  EXPECT_EQ(with({"-0"}), tree.path("one.txt") + std::string(2, '\0') + tree.path("one.txt") +
                              '\0' + tree.path("two.txt") + std::string(2, '\0') + '\0');
}

TEST(PipedQueries, ChangesMadeWhileItRunsShowInTheAnswers) {
  TempTree tree;
  TempTree database;
  tree.makeDirectory("inbox");
  PipedVessiko vessiko({"--drive", "C=" + tree.root(), "--db-dir", database.root()});
  EXPECT_TRUE(vessiko.query("report").empty());
  // Each change shows within the monitors' polling interval (at most two seconds); the test
  // allows more, as the machine may be busy.
  const auto becomes = [&](const std::string& query, const std::vector<std::string>& entries) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
      if (EntriesOf(tree, vessiko.query(query)) == entries) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  };
  tree.writeFile("inbox/report.txt");
  EXPECT_TRUE(becomes("report", {"F inbox/report.txt"}));
  tree.rename("inbox", "archive");
  EXPECT_TRUE(becomes("report", {"F archive/report.txt"}));
  tree.makeDirectory("archive/reports");
  tree.rename("archive/report.txt", "archive/reports/report.txt");
  EXPECT_TRUE(becomes("report", {"D archive/reports", "F archive/reports/report.txt"}));
  tree.remove("archive/reports");
  EXPECT_TRUE(becomes("report", {}));
  // With a tab, the extension field: only files with that extension.
  tree.writeFile("notes.md");
  tree.writeFile("notes.txt");
  EXPECT_TRUE(becomes("notes\tmd", {"F notes.md"}));
  EXPECT_EQ(vessiko.finish(), 0);
  // The next run starts from what this one saved.
  const Outcome next =
      RunVessiko({"--drive", "C=" + tree.root(), "--db-dir", database.root(), "notes"});
  EXPECT_NE(next.err.find("正在更新数据库..."), std::string::npos) << next.err;
  EXPECT_EQ(std::count(next.out.begin(), next.out.end(), '\n'), 2);
}

}  // namespace
}  // namespace vessiko::testing
