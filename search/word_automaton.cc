#include "search/word_automaton.h"

#include <algorithm>
#include <bitset>
#include <cassert>
#include <deque>

namespace vessiko {

namespace {

// How rare a unit is in file names, roughly: its place in this list of the commonest, the
// letters by their frequency in English; anything missing is rarer than all of them. Only
// the speed of a search depends on it.
constexpr char kCommonFirst[] = " ._-0123456789eatoinsrlcdmuphgbfywkvxzjq";

uint32_t Rarity(char16_t unit) {
  if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + 32);
  for (uint32_t i = 0; kCommonFirst[i] != 0; ++i) {
    if (static_cast<char16_t>(kCommonFirst[i]) == unit) return i;
  }
  return sizeof(kCommonFirst);
}

}  // namespace

bool WordAutomaton::canBuild(const std::vector<QueryWord>& words) {
  uint32_t states = 1;
  for (const QueryWord& word : words) {
    for (int32_t i = 0; i < word.length; ++i) {
      if (word.text[i] < 32 || word.text[i] > 127) return false;
    }
    states += static_cast<uint32_t>(word.length);
  }
  return states <= 32767 && words.size() <= 32767;
}

WordAutomaton::WordAutomaton(const std::vector<QueryWord>& words, bool caseSensitive)
    : words_(static_cast<uint32_t>(words.size())) {
  assert(caseSensitive || std::all_of(words.begin(), words.end(), [](const QueryWord& word) {
           return std::none_of(word.text, word.text + word.length,
                               [](char16_t unit) { return unit >= u'A' && unit <= u'Z'; });
         }));
  uint32_t rows = 1;
  for (const QueryWord& word : words)
    rows += static_cast<uint32_t>(word.length);
  cells_.assign(static_cast<size_t>(rows) * 128, 0);
  for (uint32_t s = 0; s < rows; ++s) {
    for (uint32_t c = 32; c < 128; ++c)
      cells_[s * 128 + c] = kMissing;
  }
  auto at = [this](uint32_t state, uint32_t unit) -> int16_t& {
    return cells_[state * 128 + unit];
  };

  uint32_t next = 1;
  for (uint32_t k = 0; k < words.size(); ++k) {
    uint32_t state = 0;
    for (int32_t i = 0; i < words[k].length; ++i) {
      const uint32_t unit = words[k].text[i];
      if (at(state, unit) == kMissing) at(state, unit) = static_cast<int16_t>(next++);
      state = static_cast<uint32_t>(at(state, unit));
    }
    at(state, 0) = static_cast<int16_t>(-static_cast<int32_t>(k + 1));
  }
  for (uint32_t c = 32; c < 128; ++c) {
    if (at(0, c) == kMissing) at(0, c) = 0;
  }
  std::deque<uint32_t> queue;
  for (uint32_t c = 32; c < 128; ++c) {
    const int16_t t = at(0, c);
    if (t != 0) {
      at(static_cast<uint32_t>(t), 1) = 0;
      queue.push_back(static_cast<uint32_t>(t));
    }
  }
  while (!queue.empty()) {
    const uint32_t s = queue.front();
    queue.pop_front();
    for (uint32_t c = 32; c < 128; ++c) {
      const int16_t t = at(s, c);
      const auto failure = static_cast<uint32_t>(at(s, 1));
      if (t == kMissing) {
        at(s, c) = at(failure, c);
        continue;
      }
      uint32_t f = failure;
      while (at(f, c) == kMissing)
        f = static_cast<uint32_t>(at(f, 1));
      at(static_cast<uint32_t>(t), 1) = at(f, c);
      queue.push_back(static_cast<uint32_t>(t));
    }
  }
  // Without case, an upper-case letter moves as its lower-case letter: the fold is in the table.
  if (!caseSensitive) {
    for (uint32_t s = 0; s < rows; ++s) {
      for (uint32_t c = 'A'; c <= 'Z'; ++c)
        at(s, c) = at(s, c + 32);
    }
  }
  choosePrefilter(words, caseSensitive);
}

void WordAutomaton::choosePrefilter(const std::vector<QueryWord>& words, bool caseSensitive) {
  // Every word must occur, so the bytes of any will do: the two rarest pairs of adjacent units
  // of the words, or, when every word is one unit long, the rarest unit.
  uint32_t best[2] = {0, 0};
  char16_t pairs[2][2] = {};
  uint32_t found = 0;
  for (const QueryWord& word : words) {
    for (int32_t i = 0; i + 1 < word.length; ++i) {
      const char16_t a = word.text[i];
      const char16_t b = word.text[i + 1];
      const uint32_t score = Rarity(a) + Rarity(b);
      const bool seen = (found > 0 && pairs[0][0] == a && pairs[0][1] == b) ||
                        (found > 1 && pairs[1][0] == a && pairs[1][1] == b);
      if (seen) continue;
      if (found == 0 || score > best[0]) {
        best[1] = best[0];
        pairs[1][0] = pairs[0][0];
        pairs[1][1] = pairs[0][1];
        best[0] = score;
        pairs[0][0] = a;
        pairs[0][1] = b;
      } else if (found == 1 || score > best[1]) {
        best[1] = score;
        pairs[1][0] = a;
        pairs[1][1] = b;
      }
      found = found < 2 ? found + 1 : 2;
    }
  }
  // Without case the words hold no 'A'-'Z', and a name byte b folds to the letter c exactly
  // when (b | 0x20) == c. Other units are compared as they are: folding changes no byte into
  // one of them.
  const auto fold = [caseSensitive](char16_t unit) {
    return !caseSensitive && unit >= u'a' && unit <= u'z' ? 0x20 * kEveryLane : 0;
  };
  const auto set = [&](ByteTest& test, char16_t first, char16_t second, bool pair) {
    test.first = first * kEveryLane;
    test.firstFold = fold(first);
    test.second = second * kEveryLane;
    test.secondFold = fold(second);
    test.pair = pair;
  };
  if (found == 0) {
    char16_t first = 0;
    for (const QueryWord& word : words) {
      if (first == 0 || Rarity(word.text[0]) > Rarity(first)) first = word.text[0];
    }
    set(tests_[0], first, 0, false);
    return;
  }
  set(tests_[0], pairs[0][0], pairs[0][1], true);
  twoTests_ = found > 1;
  if (twoTests_) set(tests_[1], pairs[1][0], pairs[1][1], true);
}

bool WordAutomaton::matchesAll(const uint8_t* name, uint32_t length) const {
  const int16_t* cells = cells_.data();
  uint32_t state = 0;
  if (words_ == 1) {
    for (uint32_t i = 0; i < length; ++i) {
      const uint8_t b = name[i];
      if (b >= 0x80) {
        state = 0;
        i += 2;
        continue;
      }
      state = b < 32 ? 0 : static_cast<uint32_t>(cells[state * 128 + b]);
      if (cells[state * 128] != 0) return true;
    }
    return false;
  }
  // A 1023-unit text holds at most 512 words.
  uint64_t foundSmall = 0;
  std::bitset<kQueryTextUnits / 2> foundLarge;
  uint32_t found = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t b = name[i];
    if (b >= 0x80) {
      state = 0;
      i += 2;
      continue;
    }
    state = b < 32 ? 0 : static_cast<uint32_t>(cells[state * 128 + b]);
    const int16_t output = cells[state * 128];
    if (output == 0) continue;
    const auto k = static_cast<uint32_t>(-output - 1);
    if (words_ <= 64) {
      if ((foundSmall >> k & 1) == 0) {
        foundSmall |= uint64_t{1} << k;
        if (++found == words_) return true;
      }
    } else if (!foundLarge.test(k)) {
      foundLarge.set(k);
      if (++found == words_) return true;
    }
  }
  return false;
}

}  // namespace vessiko
