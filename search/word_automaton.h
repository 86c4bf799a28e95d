// WordAutomaton: finds every plain word of an all-ASCII query in one pass over a packed name,
// without decoding it. An Aho-Corasick automaton over the units 32-127: one row of 128 cells
// a state; cell 0 holds -k when the state completes the k-th word (k from 1), cell 1 the
// failure link, cells 32-127 the transitions, completed so that every unit has one. A state
// reports only its own word, which is enough because no plain word occurs inside another.
//
// Built once per search; read-only while names are scanned.
#pragma once

#include <cstdint>
#include <vector>

#include "search/name_query.h"

namespace vessiko {

class WordAutomaton {
 public:
  // Units below 32 (never in Windows names) have no transitions: such words cannot be built.
  static bool canBuild(const std::vector<QueryWord>& words);

  // The words must be lowered already when caseSensitive is false: upper-case ASCII letters of
  // a name then move as their lower-case letters.
  WordAutomaton(const std::vector<QueryWord>& words, bool caseSensitive);

  // Every word occurs in the packed name. Three-byte units (a marker and the unit) occur in no
  // word: they send the automaton back to its root.
  bool matchesAll(const uint8_t* name, uint32_t length) const;

  int16_t cell(uint32_t state, uint32_t unit) const { return cells_[state * 128 + unit]; }
  uint32_t stateCount() const { return static_cast<uint32_t>(cells_.size() / 128); }

 private:
  static constexpr int16_t kMissing = -32768;

  std::vector<int16_t> cells_;
  uint32_t words_;
};

}  // namespace vessiko
