// The name tests of a search, on UTF-16 units. A pattern unit agrees with a name unit when
// they are equal, or, where stated, when the pattern unit is '?'.
//
// Each test is written once over a name view (name[i] gives unit i): decoded units, or the
// bytes of a packed name that holds no unit above 127, read as they are or folded, so that
// most names are tested without being decoded.
#pragma once

#include <cstdint>

#include "index/fold_table.h"
#include "index/index.h"
#include "search/name_query.h"

namespace vessiko {

// The packed bytes of an all-ASCII name, one unit each.
struct AsciiBytes {
  const uint8_t* bytes;
  char16_t operator[](int32_t i) const { return bytes[i]; }
};
// The same, 'A'-'Z' lowered.
struct FoldedAsciiBytes {
  const uint8_t* bytes;
  char16_t operator[](int32_t i) const { return kFoldTable[bytes[i]]; }
};

template <class Name>
bool ContainsWordIn(const Name& name, int32_t n, const char16_t* word, int32_t m) {
  if (n < m) return false;
  for (int32_t i = 0; i + m <= n; ++i) {
    int32_t k = 0;
    while (k < m && name[i + k] == word[k])
      ++k;
    if (k == m) return true;
  }
  return false;
}

template <class Name>
bool MatchFixedIn(const Name& name, const char16_t* pattern, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    if (pattern[i] != u'?' && pattern[i] != name[i]) return false;
  }
  return true;
}

// The whole name matches the pattern; '?' agrees with any unit when questionMarks is set.
template <class Name>
bool MatchWildcardIn(const WildcardPattern& p, const Name& name, int32_t n, bool questionMarks) {
  const auto agrees = [questionMarks](char16_t pattern, char16_t unit) {
    return pattern == unit || (questionMarks && pattern == u'?');
  };
  if (n < p.minimumLength()) return false;
  const char16_t* text = p.text;
  int32_t first = 0;        // first pattern unit not yet matched
  int32_t last = p.length;  // one past the last pattern unit not yet matched
  int32_t start = 0;        // name units [start, end) are still free
  int32_t end = n;
  if (p.anchoredStart()) {
    while (first < last && text[first] != u'*') {
      if (start >= end || !agrees(text[first], name[start])) return false;
      ++first;
      ++start;
    }
  }
  if (p.anchoredEnd()) {
    while (last > first && text[last - 1] != u'*') {
      if (end <= start || !agrees(text[last - 1], name[end - 1])) return false;
      --last;
      --end;
    }
  }
  // What is left runs from the first '*' to the last; between them lie the segments.
  ++first;
  while (first < last) {
    int32_t segment = first;
    while (segment < last && text[segment] != u'*')
      ++segment;
    const int32_t length = segment - first;
    bool found = false;
    for (int32_t at = start; !found; ++at) {
      if (at + length > end) return false;
      int32_t k = 0;
      while (k < length && agrees(text[first + k], name[at + k]))
        ++k;
      if (k == length) {
        found = true;
        start = at + length;
      }
    }
    first = segment + 1;
  }
  return true;
}

// Every plain word, star pattern or mixed pattern of the query is found in the name.
template <class Name>
bool AllPlainWordsIn(const NameQuery& q, const Name& name, int32_t n) {
  for (const QueryWord& w : q.plainWords()) {
    if (!ContainsWordIn(name, n, w.text, w.length)) return false;
  }
  return true;
}
template <class Name>
bool AllStarPatternsIn(const NameQuery& q, const Name& name, int32_t n) {
  for (const WildcardPattern& p : q.starPatterns()) {
    if (!MatchWildcardIn(p, name, n, false)) return false;
  }
  return true;
}
template <class Name>
bool AllMixedPatternsIn(const NameQuery& q, const Name& name, int32_t n) {
  for (const WildcardPattern& p : q.mixedPatterns()) {
    if (!MatchWildcardIn(p, name, n, true)) return false;
  }
  return true;
}

// The name tests of the routine the query's first part picks: the fixed pattern (then every
// plain word, star and mixed pattern), else the star patterns (then the plain words and the
// mixed patterns), else the mixed patterns (then the plain words), else the plain words. An
// empty query matches nothing.
template <class Name>
bool NameMatchesQueryIn(const NameQuery& q, const Name& name, int32_t n) {
  if (q.hasFixedPattern()) {
    const QueryWord& fixed = q.fixedPattern();
    return n == fixed.length && MatchFixedIn(name, fixed.text, n) && AllPlainWordsIn(q, name, n) &&
           AllStarPatternsIn(q, name, n) && AllMixedPatternsIn(q, name, n);
  }
  if (q.hasStarPatterns()) {
    return AllStarPatternsIn(q, name, n) && AllPlainWordsIn(q, name, n) &&
           AllMixedPatternsIn(q, name, n);
  }
  if (q.hasMixedPatterns()) return AllMixedPatternsIn(q, name, n) && AllPlainWordsIn(q, name, n);
  if (q.hasPlainWords()) return n >= q.plainWords()[0].length && AllPlainWordsIn(q, name, n);
  return false;
}

// The word occurs in the name as it stands.
bool containsWord(const char16_t* name, int32_t n, const char16_t* word, int32_t m);
// Every unit of the name agrees with the pattern's unit at its position ('?' with any). The
// caller has checked that the lengths are equal.
bool matchFixedPattern(const char16_t* name, const char16_t* pattern, int32_t length);
// The whole name matches the pattern; in the star form only equal units agree, in the mixed
// form a '?' agrees with any unit too.
bool matchStarPattern(const WildcardPattern& pattern, const char16_t* name, int32_t n);
bool matchMixedPattern(const WildcardPattern& pattern, const char16_t* name, int32_t n);

// One name against a compiled query (NameMatchesQueryIn on decoded units).
bool NameMatchesQuery(const NameQuery& query, const char16_t* name, int32_t n);

// The entry whose parent is `parent` lies in the scope: directly in dirs[i] when flags[i] is 0,
// anywhere below it when flags[i] is set. The entry itself is never compared.
bool inScope(const Index& index, RecordRef parent, const RecordRef* dirs, const uint32_t* flags,
             int32_t n);

}  // namespace vessiko
