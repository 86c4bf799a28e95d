// The benchmark tree: exactly the entries asked for, counts that are true of what lies on disk
// (the benchmark checks its answers against them), the tokens in no other name, and one tree
// per seed.
#include "tools/treegen/tree_generator.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "tests/mirror/temp_tree.h"

namespace vessiko::testing {
namespace {

TreeCounts Generate(const TempTree& tree, uint64_t entries, uint64_t seed) {
  const int fd = open(tree.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  TreeCounts counts;
  std::string error;
  EXPECT_TRUE(GenerateTree(fd, entries, seed, &counts, &error)) << error;
  close(fd);
  return counts;
}

// Anywhere in the name, in any case.
bool Holds(std::string name, const char* token) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name.find(token) != std::string::npos;
}

// Where a search's name field finds it: before the extension (after the last dot, unless the
// name starts with it).
bool Findable(const std::string& name, const char* token) {
  const size_t dot = name.rfind('.');
  return Holds(dot == 0 || dot == std::string::npos ? name : name.substr(0, dot), token);
}

TEST(TreeGeneratorTest, CountsAreTrueOfTheTreeOnDisk) {
  TempTree tree;
  const TreeCounts counts = Generate(tree, 3000, 7);
  const std::vector<std::string> walked = tree.walk();
  TreeCounts seen;
  for (const std::string& line : walked) {
    const std::string path = line.substr(2);
    const std::string name = path.substr(path.rfind('/') + 1);
    ++(line[0] == 'D' ? seen.folders : seen.files);
    seen.rareToken += Holds(name, kRareToken);
    seen.commonToken += Holds(name, kCommonToken);
    EXPECT_EQ(Findable(name, kRareToken), Holds(name, kRareToken)) << path;
    EXPECT_EQ(Findable(name, kCommonToken), Holds(name, kCommonToken)) << path;
    seen.chineseNames += std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
    seen.namesWithSpaces += name.find(' ') != std::string::npos;
    seen.maxDepth =
        std::max<uint32_t>(seen.maxDepth, std::count(path.begin(), path.end(), '/') + 1);
  }
  EXPECT_EQ(walked.size(), 3000u);
  EXPECT_EQ(counts.entries, 3000u);
  EXPECT_EQ(counts.folders, seen.folders);
  EXPECT_EQ(counts.files, seen.files);
  EXPECT_EQ(counts.rareToken, 30u);
  EXPECT_EQ(seen.rareToken, 30u);
  EXPECT_EQ(counts.commonToken, 300u);
  EXPECT_EQ(seen.commonToken, 300u);
  EXPECT_EQ(counts.chineseNames, seen.chineseNames);
  EXPECT_EQ(counts.namesWithSpaces, seen.namesWithSpaces);
  EXPECT_EQ(counts.maxDepth, seen.maxDepth);
  // A home folder's shape: about one name in twenty Chinese, nested folders.
  EXPECT_GT(seen.chineseNames, 3000u / 40);
  EXPECT_LT(seen.chineseNames, 3000u / 10);
  EXPECT_GT(seen.maxDepth, 5u);
  EXPECT_GT(seen.folders, 3000u / 40);
}

TEST(TreeGeneratorTest, TinyTreesHoldExactlyTheirEntries) {
  for (const uint64_t entries : {0, 1, 17, 18, 19, 250}) {
    TempTree tree;
    EXPECT_EQ(Generate(tree, entries, 1).entries, entries);
    EXPECT_EQ(tree.walk().size(), entries);
  }
}

TEST(TreeGeneratorTest, ASeedMakesOneTree) {
  TempTree first;
  TempTree again;
  TempTree other;
  Generate(first, 1000, 3);
  Generate(again, 1000, 3);
  Generate(other, 1000, 4);
  EXPECT_EQ(first.walk(), again.walk());
  EXPECT_NE(first.walk(), other.walk());
}

}  // namespace
}  // namespace vessiko::testing
