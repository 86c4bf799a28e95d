// A realistic directory tree for the benchmarks over real files: a home folder of source trees
// (with .git and node_modules), photo folders by year and event, documents, music by artist and
// album, downloads, caches and application data. Names carry extensions from a realistic mix;
// about one in twenty is Chinese (UTF-8) and many hold spaces. Deterministic for a seed.
//
// Two tokens are planted, lowercase, in entries spread evenly over the tree, so that searches
// have known answers: kRareToken in min(100, entries / 100) names, kCommonToken in entries / 10
// (a few less in a tree of under twenty entries), always before the extension (the part a
// search's name field matches). No other name holds either token, in any case.
#pragma once

#include <cstdint>
#include <string>

namespace vessiko {

inline constexpr char kRareToken[] = "quokka";
inline constexpr char kCommonToken[] = "report";

struct TreeCounts {
  uint64_t entries = 0;  // folders and files below the root
  uint64_t folders = 0;
  uint64_t files = 0;
  uint64_t chineseNames = 0;
  uint64_t namesWithSpaces = 0;
  uint64_t rareToken = 0;    // names holding kRareToken
  uint64_t commonToken = 0;  // names holding kCommonToken
  uint32_t maxDepth = 0;     // of an entry; the root's children are at depth 1
};

// Fills the empty folder `rootFd` with exactly `entries` folders and files (empty files), by
// handles rather than paths. False with `error` set when a call fails; what was made stays.
bool GenerateTree(int rootFd, uint64_t entries, uint64_t seed, TreeCounts* counts,
                  std::string* error);

}  // namespace vessiko
