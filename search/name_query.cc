#include "search/name_query.h"

#include <cstring>

#include "search/matchers.h"

namespace vessiko {

namespace {

QueryWord MakeWord(int32_t length, const char16_t* text) {
  QueryWord word;
  word.length = length;
  std::memcpy(word.text, text, static_cast<size_t>(length) * sizeof(char16_t));
  word.text[length] = 0;
  return word;
}

bool SameText(const char16_t* a, const char16_t* b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

bool SamePatterns(const std::vector<WildcardPattern>& a, const std::vector<WildcardPattern>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].length != b[i].length || a[i].flags != b[i].flags ||
        a[i].starCount != b[i].starCount || !SameText(a[i].text, b[i].text)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool fitsPattern(const char16_t* pattern, int32_t patternLength, const char16_t* word,
                 int32_t wordLength) {
  if (patternLength < wordLength) return false;
  for (int32_t i = 0; i + wordLength <= patternLength; ++i) {
    int32_t j = 0;
    while (j < wordLength && (pattern[i + j] == u'?' || pattern[i + j] == word[j]))
      ++j;
    if (j == wordLength) return true;
  }
  return false;
}

WildcardPattern MakeWildcardPattern(const char16_t* word, int32_t length) {
  WildcardPattern pattern;
  if (word[0] == u'*') {
    pattern.starCount = 1;
  } else {
    pattern.flags |= WildcardPattern::kAnchoredStart;
  }
  if (word[length - 1] != u'*') pattern.flags |= WildcardPattern::kAnchoredEnd;
  int32_t n = 0;
  pattern.text[n++] = word[0];
  for (int32_t i = 1; i < length; ++i) {
    if (word[i] == u'*') {
      if (pattern.text[n - 1] == u'*') continue;
      ++pattern.starCount;
    }
    pattern.text[n++] = word[i];
  }
  pattern.text[n] = 0;
  pattern.length = n;
  return pattern;
}

void NameQuery::clear() {
  plainWords_.clear();
  fixedPattern_.reset();
  starPatterns_.clear();
  mixedPatterns_.clear();
  allAscii = 1;
}

bool NameQuery::addPlainWord(int32_t n, const char16_t* w) {
  if (fixedPattern_) {
    QueryWord& fixed = *fixedPattern_;
    if (!fitsPattern(fixed.text, fixed.length, w, n)) return false;
    if (n == fixed.length) fixed = MakeWord(n, w);
  }
  for (const QueryWord& word : plainWords_) {
    if (word.length >= n && containsWord(word.text, word.length, w, n)) return true;
  }
  std::erase_if(plainWords_,
                [&](const QueryWord& word) { return containsWord(w, n, word.text, word.length); });
  auto at = plainWords_.begin();
  while (at != plainWords_.end() && at->length >= n)
    ++at;
  plainWords_.insert(at, MakeWord(n, w));
  return true;
}

bool NameQuery::addQuestionWord(int32_t n, const char16_t* w) {
  if (fixedPattern_) {
    QueryWord& fixed = *fixedPattern_;
    if (n != fixed.length) return false;
    for (int32_t i = 0; i < n; ++i) {
      if (fixed.text[i] == u'?') {
        fixed.text[i] = w[i];
      } else if (w[i] != u'?' && w[i] != fixed.text[i]) {
        return false;
      }
    }
    return true;
  }
  for (const QueryWord& word : plainWords_) {
    if (!fitsPattern(w, n, word.text, word.length)) return false;
  }
  for (const auto* patterns : {&starPatterns_, &mixedPatterns_}) {
    for (const WildcardPattern& pattern : *patterns) {
      if (pattern.minimumLength() > n) return false;
    }
  }
  fixedPattern_ = MakeWord(n, w);
  return true;
}

bool NameQuery::addWord(uint32_t kind, int32_t n, const char16_t* w, int32_t stars) {
  switch (kind) {
    case kPlainWord:
      return addPlainWord(n, w);
    case kQuestionWord:
      return addQuestionWord(n, w);
    case kStarWord:
      if (n <= stars) return true;  // only '*': no condition
      if (fixedPattern_ && n - stars > fixedPattern_->length) return false;
      starPatterns_.insert(starPatterns_.begin(), MakeWildcardPattern(w, n));
      return true;
    default:
      if (n <= stars || (fixedPattern_ && n - stars > fixedPattern_->length)) return false;
      mixedPatterns_.insert(mixedPatterns_.begin(), MakeWildcardPattern(w, n));
      return true;
  }
}

void NameQuery::assign(const NameQuery& other) {
  if (&other == this) return;
  clear();
  allAscii = other.allAscii;
  plainWords_ = other.plainWords_;
  fixedPattern_ = other.fixedPattern_;
  starPatterns_ = other.starPatterns_;
  mixedPatterns_ = other.mixedPatterns_;
}

bool NameQuery::equals(const NameQuery& other) const {
  if (allAscii != other.allAscii || fixedPattern_.has_value() != other.fixedPattern_.has_value() ||
      plainWords_.size() != other.plainWords_.size()) {
    return false;
  }
  if (fixedPattern_ && (fixedPattern_->length != other.fixedPattern_->length ||
                        !SameText(fixedPattern_->text, other.fixedPattern_->text))) {
    return false;
  }
  for (size_t i = 0; i < plainWords_.size(); ++i) {
    if (plainWords_[i].length != other.plainWords_[i].length ||
        !SameText(plainWords_[i].text, other.plainWords_[i].text)) {
      return false;
    }
  }
  return SamePatterns(starPatterns_, other.starPatterns_) &&
         SamePatterns(mixedPatterns_, other.mixedPatterns_);
}

}  // namespace vessiko
