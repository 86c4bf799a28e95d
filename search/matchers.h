// The name tests of a search, on UTF-16 units. A pattern unit agrees with a name unit when
// they are equal, or, where stated, when the pattern unit is '?'.
#pragma once

#include <cstdint>

#include "index/index.h"
#include "search/name_query.h"

namespace vessiko {

// The word occurs in the name as it stands.
bool containsWord(const char16_t* name, int32_t n, const char16_t* word, int32_t m);
// Every unit of the name agrees with the pattern's unit at its position ('?' with any). The
// caller has checked that the lengths are equal.
bool matchFixedPattern(const char16_t* name, const char16_t* pattern, int32_t length);
// The whole name matches the pattern; in the star form only equal units agree, in the mixed
// form a '?' agrees with any unit too.
bool matchStarPattern(const WildcardPattern& pattern, const char16_t* name, int32_t n);
bool matchMixedPattern(const WildcardPattern& pattern, const char16_t* name, int32_t n);

// One name against a compiled query, with the parts a search uses, chosen by the first part the
// query has: the fixed pattern (then every plain word, star and mixed pattern), else the star
// patterns (then the plain words and the mixed patterns), else the mixed patterns (then the
// plain words), else the plain words. An empty query matches nothing.
bool NameMatchesQuery(const NameQuery& query, const char16_t* name, int32_t n);

// The entry whose parent is `parent` lies in the scope: directly in dirs[i] when flags[i] is 0,
// anywhere below it when flags[i] is set. The entry itself is never compared.
bool inScope(const Index& index, RecordRef parent, const RecordRef* dirs, const uint32_t* flags,
             int32_t n);

}  // namespace vessiko
