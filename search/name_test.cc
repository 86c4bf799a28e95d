#include "search/name_test.h"

#include <algorithm>

#include "index/fold_table.h"
#include "search/matchers.h"

namespace vessiko {

namespace {

// Names have at most 255 units; the buffer leaves room for the NUL.
constexpr uint32_t kNameBufferUnits = 262;

// Decodes a packed name for the name tests; without case, single-byte units go through the fold
// table (only A-Z change) and three-byte units stay as they are.
int32_t DecodeName(const uint8_t* bytes, uint32_t length, bool caseSensitive, char16_t* out) {
  int32_t n = 0;
  uint32_t i = 0;
  while (i < length && n < static_cast<int32_t>(kNameBufferUnits) - 1) {
    const uint8_t b = bytes[i];
    if (b < 0x80) {
      out[n++] = caseSensitive ? b : kFoldTable[b];
      ++i;
    } else {
      if (length - i < 3) break;
      out[n++] = static_cast<char16_t>(bytes[i + 1] | bytes[i + 2] << 8);
      i += 3;
    }
  }
  out[n] = 0;
  return n;
}

// How many units at the start of text are ASCII literals: not '?' when questionMarks is set,
// never '*'.
uint32_t LiteralPrefix(const char16_t* text, int32_t length, bool questionMarks) {
  int32_t i = 0;
  while (i < length && text[i] < 0x80 && text[i] != u'*' && !(questionMarks && text[i] == u'?'))
    ++i;
  return static_cast<uint32_t>(i);
}

}  // namespace

NameTest::NameTest(const NameQuery& query, bool caseSensitive)
    : query_(query), caseSensitive_(caseSensitive) {
  if (query.hasFixedPattern()) {
    routine_ = Routine::kFixed;
    minimum_ = query.fixedPattern().length;
  } else if (query.hasStarPatterns()) {
    routine_ = Routine::kStar;
  } else if (query.hasMixedPatterns()) {
    routine_ = Routine::kMixed;
  } else if (query.allAscii == 1 && WordAutomaton::canBuild(query.plainWords())) {
    routine_ = Routine::kAutomaton;
    automaton_.emplace(query.plainWords(), caseSensitive);
  } else {
    routine_ = Routine::kPlain;
  }
  for (const auto* patterns : {&query.starPatterns(), &query.mixedPatterns()}) {
    for (const WildcardPattern& p : *patterns)
      minimum_ = std::max(minimum_, p.minimumLength());
  }
  // The first plain word is the longest: the shortest name that can hold them all.
  if (query.hasPlainWords()) minimum_ = std::max(minimum_, query.plainWords()[0].length);
  // A word with a unit above 127 can only occur in a name that has one.
  needsNonAscii_ = routine_ == Routine::kPlain && query.allAscii == 0;
  choosePrefix();
}

// Every pattern must match the whole name, so the longest literal start of any of them will do.
void NameTest::choosePrefix() {
  const char16_t* best = nullptr;
  uint32_t length = 0;
  const auto consider = [&](const char16_t* text, uint32_t n) {
    if (n > length) {
      best = text;
      length = n;
    }
  };
  if (query_.hasFixedPattern()) {
    const QueryWord& fixed = query_.fixedPattern();
    consider(fixed.text, LiteralPrefix(fixed.text, fixed.length, true));
  }
  for (const WildcardPattern& p : query_.starPatterns()) {
    if (p.anchoredStart()) consider(p.text, LiteralPrefix(p.text, p.length, false));
  }
  for (const WildcardPattern& p : query_.mixedPatterns()) {
    if (p.anchoredStart()) consider(p.text, LiteralPrefix(p.text, p.length, true));
  }
  prefixLength_ = std::min(length, kMaxPrefix);
  for (uint32_t i = 0; i < prefixLength_; ++i)
    prefix_[i] = static_cast<uint8_t>(best[i]);
}

bool NameTest::prefixMatches(const uint8_t* bytes, uint32_t length) const {
  if (length < prefixLength_) return false;
  for (uint32_t i = 0; i < prefixLength_; ++i) {
    const uint8_t b = bytes[i];
    // A marker byte starts a unit above 127, which no prefix unit is.
    if (b >= 0x80 || fold(b) != prefix_[i]) return false;
  }
  return true;
}

bool NameTest::wholeTest(const uint8_t* bytes, uint32_t length, bool nonAscii) const {
  const auto n = static_cast<int32_t>(length);
  if (!nonAscii) {
    return caseSensitive_ ? NameMatchesQueryIn(query_, AsciiBytes{bytes}, n)
                          : NameMatchesQueryIn(query_, FoldedAsciiBytes{bytes}, n);
  }
  char16_t name[kNameBufferUnits];
  const int32_t units = DecodeName(bytes, length, caseSensitive_, name);
  return NameMatchesQueryIn(query_, name, units);
}

bool NameTest::otherRoutine(const uint8_t* bytes, uint32_t length, bool nonAscii) const {
  switch (routine_) {
    case Routine::kAutomaton:
      return false;
    case Routine::kPlain:
      return wholeTest(bytes, length, nonAscii);
    case Routine::kFixed: {
      // A name of n units has n bytes when all are ASCII, at most 3n otherwise.
      const int32_t units = query_.fixedPattern().length;
      if (nonAscii ? static_cast<int32_t>(length) > 3 * units
                   : static_cast<int32_t>(length) != units) {
        return false;
      }
      return prefixMatches(bytes, length) && wholeTest(bytes, length, nonAscii);
    }
    case Routine::kStar:
    case Routine::kMixed:
      return prefixMatches(bytes, length) && wholeTest(bytes, length, nonAscii);
  }
  return false;
}

}  // namespace vessiko
