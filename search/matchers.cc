#include "search/matchers.h"

namespace vessiko {

bool containsWord(const char16_t* name, int32_t n, const char16_t* word, int32_t m) {
  return ContainsWordIn(name, n, word, m);
}

bool matchFixedPattern(const char16_t* name, const char16_t* pattern, int32_t length) {
  return MatchFixedIn(name, pattern, length);
}

bool matchStarPattern(const WildcardPattern& pattern, const char16_t* name, int32_t n) {
  return MatchWildcardIn(pattern, name, n, false);
}

bool matchMixedPattern(const WildcardPattern& pattern, const char16_t* name, int32_t n) {
  return MatchWildcardIn(pattern, name, n, true);
}

bool NameMatchesQuery(const NameQuery& q, const char16_t* name, int32_t n) {
  return NameMatchesQueryIn(q, name, n);
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
