#include "search/matchers.h"

namespace vessiko {

namespace {

bool Agrees(char16_t pattern, char16_t unit, bool questionMarks) {
  return pattern == unit || (questionMarks && pattern == u'?');
}

bool MatchPattern(const WildcardPattern& p, const char16_t* name, int32_t n, bool questionMarks) {
  if (n < p.minimumLength()) return false;
  const char16_t* text = p.text;
  int32_t first = 0;        // first pattern unit not yet matched
  int32_t last = p.length;  // one past the last pattern unit not yet matched
  int32_t start = 0;        // name units [start, end) are still free
  int32_t end = n;
  if (p.anchoredStart()) {
    while (first < last && text[first] != u'*') {
      if (start >= end || !Agrees(text[first], name[start], questionMarks)) return false;
      ++first;
      ++start;
    }
  }
  if (p.anchoredEnd()) {
    while (last > first && text[last - 1] != u'*') {
      if (end <= start || !Agrees(text[last - 1], name[end - 1], questionMarks)) return false;
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
      while (k < length && Agrees(text[first + k], name[at + k], questionMarks))
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

}  // namespace

bool containsWord(const char16_t* name, int32_t n, const char16_t* word, int32_t m) {
  if (n < m) return false;
  for (int32_t i = 0; i + m <= n; ++i) {
    int32_t k = 0;
    while (k < m && name[i + k] == word[k])
      ++k;
    if (k == m) return true;
  }
  return false;
}

bool matchFixedPattern(const char16_t* name, const char16_t* pattern, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    if (pattern[i] != u'?' && pattern[i] != name[i]) return false;
  }
  return true;
}

bool matchStarPattern(const WildcardPattern& pattern, const char16_t* name, int32_t n) {
  return MatchPattern(pattern, name, n, false);
}

bool matchMixedPattern(const WildcardPattern& pattern, const char16_t* name, int32_t n) {
  return MatchPattern(pattern, name, n, true);
}

bool NameMatchesQuery(const NameQuery& q, const char16_t* name, int32_t n) {
  const auto plain = [&] {
    for (const QueryWord& w : q.plainWords()) {
      if (!containsWord(name, n, w.text, w.length)) return false;
    }
    return true;
  };
  const auto star = [&] {
    for (const WildcardPattern& p : q.starPatterns()) {
      if (!matchStarPattern(p, name, n)) return false;
    }
    return true;
  };
  const auto mixed = [&] {
    for (const WildcardPattern& p : q.mixedPatterns()) {
      if (!matchMixedPattern(p, name, n)) return false;
    }
    return true;
  };
  if (q.hasFixedPattern()) {
    const QueryWord& fixed = q.fixedPattern();
    return n == fixed.length && matchFixedPattern(name, fixed.text, n) && plain() && star() &&
           mixed();
  }
  if (q.hasStarPatterns()) return star() && plain() && mixed();
  if (q.hasMixedPatterns()) return mixed() && plain();
  if (q.hasPlainWords()) return n >= q.plainWords()[0].length && plain();
  return false;
}

bool inScope(const Index& index, RecordRef parent, const RecordRef* dirs, const uint32_t* flags,
             int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    if (flags[i] == 0) {
      if (parent == dirs[i]) return true;
      continue;
    }
    RecordRef at = parent;
    for (uint32_t depth = 0; at != kNoRecord && depth <= kMaxDirectoryDepth; ++depth) {
      if (at == dirs[i]) return true;
      at = index.dir(at).parentLink();
    }
  }
  return false;
}

}  // namespace vessiko
