// NameQuery: a compiled name query. The words of the name field fall into four parts: plain
// words that must each occur in the name (kept longest first, none inside another), one
// whole-name pattern of words with '?' (the fixed pattern), and patterns with '*' (star
// patterns) or with both '*' and '?' (mixed patterns), newest first.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vessiko {

constexpr uint32_t kQueryTextUnits = 1024;  // the name field: at most 1023 units and a NUL

struct QueryWord {
  int32_t length = 0;
  char16_t text[kQueryTextUnits] = {};
};

struct WildcardPattern {
  static constexpr uint32_t kAnchoredStart = 1;  // the word does not begin with '*'
  static constexpr uint32_t kAnchoredEnd = 2;    // the word does not end with '*'

  uint32_t flags = 0;
  int32_t starCount = 0;  // '*' units in the collapsed text
  int32_t length = 0;     // units in the collapsed text
  char16_t text[kQueryTextUnits] = {};

  bool anchoredStart() const { return (flags & kAnchoredStart) != 0; }
  bool anchoredEnd() const { return (flags & kAnchoredEnd) != 0; }
  // The fewest units a name needs to match.
  int32_t minimumLength() const { return length - starCount; }
};

// The kind of a word: bit 0 when it holds '?', bit 1 when it holds '*'.
enum WordKind : uint32_t { kPlainWord = 0, kQuestionWord = 1, kStarWord = 2, kMixedWord = 3 };

class NameQuery {
 public:
  void clear();
  // Adds one word of `length` units holding `stars` '*'. False when it contradicts the words
  // before it.
  bool addWord(uint32_t kind, int32_t length, const char16_t* text, int32_t stars);
  // A deep copy; copying a query onto itself does nothing.
  void assign(const NameQuery& other);
  bool equals(const NameQuery& other) const;

  bool hasFixedPattern() const { return fixedPattern_.has_value(); }
  bool hasStarPatterns() const { return !starPatterns_.empty(); }
  bool hasMixedPatterns() const { return !mixedPatterns_.empty(); }
  bool hasPlainWords() const { return !plainWords_.empty(); }

  const std::vector<QueryWord>& plainWords() const { return plainWords_; }
  const QueryWord& fixedPattern() const { return *fixedPattern_; }
  const std::vector<WildcardPattern>& starPatterns() const { return starPatterns_; }
  const std::vector<WildcardPattern>& mixedPatterns() const { return mixedPatterns_; }

  int32_t allAscii = 1;

 private:
  bool addPlainWord(int32_t length, const char16_t* text);
  bool addQuestionWord(int32_t length, const char16_t* text);

  std::vector<QueryWord> plainWords_;
  std::optional<QueryWord> fixedPattern_;
  std::vector<WildcardPattern> starPatterns_;   // newest first
  std::vector<WildcardPattern> mixedPatterns_;  // newest first
};

// The word occurs at some position of the pattern, a pattern '?' agreeing with any unit.
bool fitsPattern(const char16_t* pattern, int32_t patternLength, const char16_t* word,
                 int32_t wordLength);

// A pattern from a word with '*': runs of '*' collapse into one.
WildcardPattern MakeWildcardPattern(const char16_t* word, int32_t length);

}  // namespace vessiko
