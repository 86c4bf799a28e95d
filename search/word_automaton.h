// WordAutomaton: finds every plain word of an all-ASCII query in one pass over a packed name,
// without decoding it. An Aho-Corasick automaton over the units 32-127: one row of 128 cells
// a state; cell 0 holds -k when the state completes the k-th word (k from 1), cell 1 the
// failure link, cells 32-127 the transitions, completed so that every unit has one. A state
// reports only its own word, which is enough because no plain word occurs inside another.
//
// Built once per search; read-only while names are scanned.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
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

  // A quick test for the scan, before matchesAll: false only when the packed name lacks two
  // adjacent bytes that one of the words holds (or, when every word is one unit long, the byte
  // of one word), chosen among the words as the likeliest to be rare in file names, and, for a
  // name that has them, a second such pair when the words have one. That is sound: a word's
  // units are ASCII, one byte each wherever they stand in a packed name, so a name that holds
  // the word holds its bytes side by side. Bytes of three-byte units may look like them too;
  // that only lets the name on to the automaton.
  [[gnu::always_inline]] bool mayMatch(const uint8_t* name, uint32_t length) const {
    return tests_[0].anywhere(name, length) && (!twoTests_ || tests_[1].anywhere(name, length));
  }

  // Every word occurs in the packed name. Three-byte units (a marker and the unit) occur in no
  // word: they send the automaton back to its root.
  bool matchesAll(const uint8_t* name, uint32_t length) const;

 private:
  static_assert(std::endian::native == std::endian::little,
                "the quick test reads eight bytes of a name as a little-endian word");

  static constexpr int16_t kMissing = -32768;
  static constexpr uint64_t kEveryLane = 0x0101010101010101;
  static constexpr uint64_t kTopBits = 0x8080808080808080;
  static constexpr uint64_t kTopLane = 0xFF00000000000000;

  static uint64_t load8(const uint8_t* p) {
    uint64_t x;
    std::memcpy(&x, p, 8);
    return x;
  }
  static uint64_t load4(const uint8_t* p) {
    uint32_t x;
    std::memcpy(&x, p, 4);
    return x;
  }
  // The n < 8 bytes of a short name in lanes 0 to n - 1, read from overlapping pieces without
  // a loop. Lanes n to 7 hold 0, which matches no unit: words hold none below 32, and a fold
  // mask turns it into a space only for letters.
  static uint64_t loadShort(const uint8_t* p, uint32_t n) {
    if (n >= 4) return load4(p) | load4(p + n - 4) << 8 * (n - 4);
    if (n == 0) return 0;
    return uint64_t{p[0]} | uint64_t{p[n / 2]} << 8 * (n / 2) | uint64_t{p[n - 1]} << 8 * (n - 1);
  }

  // One byte test: a unit, and the one after it when `pair` is set, in every lane; the fold
  // masks hold 0x20 in every lane when that unit is a letter to be matched without case.
  struct ByteTest {
    uint64_t first = 0;
    uint64_t firstFold = 0;
    uint64_t second = 0;
    uint64_t secondFold = 0;
    bool pair = false;

    // Not zero when some lane i of the eight bytes of a name in x (in little-endian order)
    // holds the unit and, for a pair, lane i + 1 the unit after it. The lanes of `miss` are
    // zero just there; the top lane has no next byte in the window and is never zero for a pair
    // (the next window starts at that byte). The final test is the usual one for a zero lane:
    // which lanes it marks may be wrong above a zero lane, whether it marks one never is.
    uint64_t hits(uint64_t x) const {
      uint64_t miss = (x | firstFold) ^ first;
      if (pair) miss |= ((x | secondFold) ^ second) >> 8 | kTopLane;
      return (miss - kEveryLane) & ~miss & kTopBits;
    }

    [[gnu::always_inline]] bool anywhere(const uint8_t* name, uint32_t length) const {
      if (length < 8) return hits(loadShort(name, length)) != 0;
      // Eight-byte windows, each starting at most seven bytes after the one before, see every
      // pair. Most names need three or four, spread over them without a loop: three up to 22
      // bytes, four up to 29.
      const uint32_t last = length - 8;
      if (length <= 22) {
        return (hits(load8(name)) | hits(load8(name + last / 2)) | hits(load8(name + last))) != 0;
      }
      if (length <= 29) {
        return (hits(load8(name)) | hits(load8(name + last / 3)) |
                hits(load8(name + 2 * last / 3)) | hits(load8(name + last))) != 0;
      }
      for (uint32_t at = 0; at < last; at += 7) {
        if (hits(load8(name + at)) != 0) return true;
      }
      return hits(load8(name + last)) != 0;
    }
  };

  void choosePrefilter(const std::vector<QueryWord>& words, bool caseSensitive);

  std::vector<int16_t> cells_;
  uint32_t words_;
  ByteTest tests_[2];
  bool twoTests_ = false;
};

}  // namespace vessiko
