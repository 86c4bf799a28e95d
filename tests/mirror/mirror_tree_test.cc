#include "mirror/mirror_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace vessiko {
namespace {

// Random creations, renames, moves and removals, checked after every step against a plain
// model: every name is found under its parent, paths follow the parents, and a directory
// always comes before its children in the preorder.
TEST(MirrorTree, FollowsRandomChangesLikeAPlainModel) {
  std::mt19937 random(11);
  MirrorTree tree(2);
  struct Entry {
    uint32_t parent;
    std::string name;
    bool directory;
  };
  std::map<uint32_t, Entry> model;
  uint32_t next = kFirstEntryNode;
  const auto below = [&](uint32_t n, uint32_t top) {
    for (uint32_t at = n; at != kRootNode; at = model.at(at).parent) {
      if (at == top) return true;
    }
    return top == kRootNode;
  };
  const auto anyDirectory = [&]() {
    std::vector<uint32_t> dirs{kRootNode};
    for (const auto& [n, e] : model) {
      if (e.directory) dirs.push_back(n);
    }
    return dirs[std::uniform_int_distribution<size_t>(0, dirs.size() - 1)(random)];
  };
  const auto freshName = [&](uint32_t parent) {
    for (;;) {
      // Short names from few letters: collisions in the hash table are frequent.
      std::string name;
      for (int i = std::uniform_int_distribution<int>(1, 3)(random); i > 0; --i) {
        name.push_back(static_cast<char>('a' + std::uniform_int_distribution<int>(0, 3)(random)));
      }
      if (tree.find(parent, name) == kNoNode) return name;
    }
  };
  for (int step = 0; step < 4000; ++step) {
    const int action = std::uniform_int_distribution<int>(0, 9)(random);
    if (action < 5 || model.empty()) {
      const uint32_t parent = anyDirectory();
      const std::string name = freshName(parent);
      const bool directory = action < 2;
      tree.add(next, parent, name, directory ? NodeKind::kDirectory : NodeKind::kFile, next, 0);
      model[next++] = {parent, name, directory};
    } else {
      auto it = model.begin();
      std::advance(it, std::uniform_int_distribution<size_t>(0, model.size() - 1)(random));
      const uint32_t n = it->first;
      if (action < 8) {
        const uint32_t parent = anyDirectory();
        if (below(parent, n)) continue;
        const std::string name = freshName(parent);
        tree.move(n, parent, name);
        it->second.parent = parent;
        it->second.name = name;
      } else {
        if (it->second.directory && tree.childCount(n) != 0) continue;
        tree.remove(n);
        model.erase(it);
      }
    }
    ASSERT_EQ(tree.entryCount(), model.size());
  }
  std::set<uint32_t> visited{kRootNode};
  size_t count = 0;
  tree.forEachBelow(kRootNode, [&](uint32_t n, const MirrorNode& node) {
    EXPECT_TRUE(visited.count(node.parent)) << "a child before its parent";
    visited.insert(n);
    ++count;
  });
  EXPECT_EQ(count, model.size());
  for (const auto& [n, e] : model) {
    ASSERT_EQ(tree.find(e.parent, e.name), n);
    ASSERT_EQ(tree.name(n), e.name);
    std::string expected = e.name;
    for (uint32_t at = e.parent; at != kRootNode; at = model.at(at).parent) {
      expected = model.at(at).name + "/" + expected;
    }
    std::string path;
    ASSERT_TRUE(tree.pathOf("/top", n, &path));
    ASSERT_EQ(path, "/top/" + expected);
    ASSERT_TRUE(tree.pathOf("/", n, &path));
    ASSERT_EQ(path, "/" + expected);
  }
}

TEST(MirrorTree, ManyRenamesCompactTheNamesAndKeepThem) {
  MirrorTree tree(2);
  for (uint32_t n = kFirstEntryNode; n < kFirstEntryNode + 100; ++n) {
    tree.add(n, kRootNode, "file" + std::to_string(n), NodeKind::kFile, n, 0);
  }
  // Enough renames to pass the point where the dead bytes are dropped, several times over.
  for (int round = 0; round < 30000; ++round) {
    const uint32_t n = kFirstEntryNode + static_cast<uint32_t>(round % 100);
    tree.move(n, kRootNode,
              std::string(200, static_cast<char>('a' + round % 26)) + std::to_string(n));
  }
  for (uint32_t n = kFirstEntryNode; n < kFirstEntryNode + 100; ++n) {
    const uint32_t last = 29900 + (n - kFirstEntryNode);
    const std::string name =
        std::string(200, static_cast<char>('a' + last % 26)) + std::to_string(n);
    EXPECT_EQ(tree.name(n), name);
    EXPECT_EQ(tree.find(kRootNode, name), n);
  }
}

// File systems that count a name's length in UTF-16 units (ntfs3, exFAT, CIFS) allow names of
// several hundred bytes; every byte must stay, through additions and moves.
TEST(MirrorTree, NamesLongerThan255BytesKeepEveryByte) {
  MirrorTree tree(2);
  std::string chinese;
  for (int i = 0; i < 90; ++i)
    chinese += "文";
  ASSERT_EQ(chinese.size(), 270u);
  const std::string long600 = std::string(599, 'a') + "z";
  const std::string long700 = std::string(699, 'b') + "y";
  tree.add(16, kRootNode, chinese, NodeKind::kDirectory, 16, 0);
  tree.add(17, 16, long600, NodeKind::kFile, 17, 0);
  // Names that agree in their first 255 bytes (or in their lengths modulo 256) are different.
  tree.add(18, 16, std::string(599, 'a') + "q", NodeKind::kFile, 18, 0);
  tree.add(19, 16, long600.substr(0, 344), NodeKind::kFile, 19, 0);
  EXPECT_EQ(tree.name(16), chinese);
  EXPECT_EQ(tree.name(17), long600);
  EXPECT_EQ(tree.find(kRootNode, chinese), 16u);
  EXPECT_EQ(tree.find(16, long600), 17u);
  EXPECT_EQ(tree.find(16, long600.substr(0, 255)), kNoNode);
  EXPECT_EQ(tree.find(16, long600.substr(0, 344)), 19u);
  std::string path;
  ASSERT_TRUE(tree.pathOf("/top", 17, &path));
  EXPECT_EQ(path, "/top/" + chinese + "/" + long600);

  tree.move(17, kRootNode, long700);
  EXPECT_EQ(tree.name(17), long700);
  EXPECT_EQ(tree.find(kRootNode, long700), 17u);
  EXPECT_EQ(tree.find(16, long600), kNoNode);
  EXPECT_EQ(tree.find(16, std::string(599, 'a') + "q"), 18u);
  ASSERT_TRUE(tree.pathOf("/top", 17, &path));
  EXPECT_EQ(path, "/top/" + long700);
}

}  // namespace
}  // namespace vessiko
