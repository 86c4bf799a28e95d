#include "index/sort_entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/utf.h"
#include "tests/support/test_index.h"

namespace vessiko {
namespace {

// Random names drawn from ASCII (both cases), CJK, other scripts and frequent duplicates.
std::string RandomName(std::mt19937& random) {
  static const char* const pieces[] = {"a", "B", "c",  "Z",  "0",      "9",     "_",
                                       " ", ".", "中", "国", "人",     "文",    "档",
                                       "Ω", "é", "ж",  "한", "report", "Report"};
  const int length = 1 + static_cast<int>(random() % 6);
  std::string name;
  for (int i = 0; i < length; ++i)
    name += pieces[random() % std::size(pieces)];
  return name;
}

// Sorted like a stable reference sort, up to the order inside runs of equal records.
template <class Order>
void ExpectSortedLikeReference(std::vector<RecordRef> refs, const Order& order) {
  const auto less = [&](RecordRef x, RecordRef y) { return order(x, y) < 0; };
  std::vector<RecordRef> sorted = refs;
  sortEntryPointers(sorted.data(), sorted.size(), order);
  std::stable_sort(refs.begin(), refs.end(), less);
  ASSERT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), less));
  size_t i = 0;
  while (i < sorted.size()) {
    size_t j = i + 1;
    while (j < sorted.size() && !less(sorted[i], sorted[j]))
      ++j;
    std::sort(sorted.begin() + i, sorted.begin() + j);
    std::sort(refs.begin() + i, refs.begin() + j);
    i = j;
  }
  ASSERT_EQ(sorted, refs);
}

TEST(SortEntryPointers, AgreesWithAReferenceSortOnRandomNames) {
  for (int round = 0; round < 4; ++round) {
    testing::TestIndex t;
    Index& index = t.index();
    index.extensions.seedBuiltins();
    std::mt19937 random(100 + round);
    const int n = round == 0 ? 2000 : 20000;
    std::vector<RecordRef> files;
    std::vector<RecordRef> dirs;
    for (int i = 0; i < n; ++i) {
      std::string name = RandomName(random);
      if (random() % 3 == 0) name += random() % 2 ? ".TXT" : ".doc";
      files.push_back(t.makeFile(static_cast<uint32_t>(i), RootKey(2), name));
      dirs.push_back(t.makeDir(MakeEntryKey(2, 16 + i), RootKey(2), RandomName(random)));
    }
    ExpectSortedLikeReference(files, index.fileOrder());
    ExpectSortedLikeReference(dirs, index.dirOrder());
  }
}

TEST(SortEntryPointers, SortsIntegersOfEveryShape) {
  std::mt19937 random(5);
  const auto cmp = [](int x, int y) { return x < y ? -1 : x > y; };
  for (int n : {0, 1, 2, 31, 32, 33, 34, 100, 1000, 50000}) {
    for (int shape = 0; shape < 5; ++shape) {
      std::vector<int> v(n);
      for (int i = 0; i < n; ++i) {
        switch (shape) {
          case 0:
            v[i] = static_cast<int>(random());
            break;
          case 1:
            v[i] = i;
            break;
          case 2:
            v[i] = n - i;
            break;
          case 3:
            v[i] = 7;
            break;
          default:
            v[i] = static_cast<int>(random() % 5);
            break;
        }
      }
      std::vector<int> expected = v;
      std::sort(expected.begin(), expected.end());
      sortEntryPointers(v.data(), v.size(), cmp);
      ASSERT_EQ(v, expected) << "n " << n << " shape " << shape;
    }
  }
}

// 32 elements go straight to the insertion sort; 33 start with the median of three, whose first
// comparison is of the first element with the middle one (position 16).
TEST(SortEntryPointers, CutOffAt32) {
  for (int n : {32, 33}) {
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i)
      v[i] = (i * 17) % n;
    std::vector<std::pair<int, int>> calls;
    const auto logging = [&](int x, int y) {
      calls.emplace_back(x, y);
      return x < y ? -1 : x > y;
    };
    std::vector<int> original = v;
    sortEntryPointers(v.data(), v.size(), logging);
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    ASSERT_FALSE(calls.empty());
    if (n == 32) {
      EXPECT_EQ(calls[0], std::make_pair(original[0], original[1]));  // insertion sort's first step
    } else {
      EXPECT_EQ(calls[0], std::make_pair(original[0], original[16]));
      EXPECT_EQ(calls[1].second, original[32]);
    }
  }
}

}  // namespace
}  // namespace vessiko
