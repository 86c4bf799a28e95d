// NameTest: the name test of a scan, on a packed name and its record's non-ASCII flag, for the
// routine the query's shape picks (fixed, star, mixed, plain or automaton).
//
// What can be told from the packed bytes is told before anything is decoded: the packed
// length against the shortest name that can match (a packed name has at least as many bytes
// as units), the literal units a matching name must begin with, and, for a name without units
// above 127 (whose bytes are its units), the whole test on the bytes themselves. Only names
// with such units are decoded, into one buffer on the stack.
#pragma once

#include <cstdint>
#include <optional>

#include "index/fold_table.h"
#include "search/name_query.h"
#include "search/word_automaton.h"

namespace vessiko {

class NameTest {
 public:
  NameTest(const NameQuery& query, bool caseSensitive);

  bool operator()(const uint8_t* bytes, uint32_t length, bool nonAscii) const {
    if (static_cast<int32_t>(length) < minimum_) return false;
    // The commonest query, inline in the scan: the byte test turns most names away for a
    // fraction of the automaton's cost.
    if (routine_ == Routine::kAutomaton) {
      return automaton_->mayMatch(bytes, length) && automaton_->matchesAll(bytes, length);
    }
    // The quickest refusals of the others stay inline too: no unit above 127 where a word
    // needs one, or a first byte that is not the one every match begins with.
    if (!nonAscii && needsNonAscii_) return false;
    if (prefixLength_ > 0 && (bytes[0] >= 0x80 || fold(bytes[0]) != prefix_[0])) return false;
    return otherRoutine(bytes, length, nonAscii);
  }

  // Only names with a unit above 127 can pass: the query's words are plain and one holds such
  // a unit.
  bool needsNonAscii() const { return needsNonAscii_; }

 private:
  enum class Routine { kFixed, kStar, kMixed, kPlain, kAutomaton };
  static constexpr uint32_t kMaxPrefix = 16;

  uint8_t fold(uint8_t b) const { return caseSensitive_ ? b : kFoldTable[b]; }
  bool otherRoutine(const uint8_t* bytes, uint32_t length, bool nonAscii) const;
  void choosePrefix();
  bool prefixMatches(const uint8_t* bytes, uint32_t length) const;
  bool wholeTest(const uint8_t* bytes, uint32_t length, bool nonAscii) const;

  const NameQuery& query_;
  bool caseSensitive_;
  Routine routine_;
  int32_t minimum_ = 0;
  // The ASCII units every matching name begins with, one byte each in any packed name; folded
  // like the query in the case-insensitive mode.
  uint8_t prefix_[kMaxPrefix] = {};
  uint32_t prefixLength_ = 0;
  bool needsNonAscii_ = false;
  std::optional<WordAutomaton> automaton_;
};

}  // namespace vessiko
