// Builds index/data/zisort.bin, the pinyin rank of every CJK Unified
// Ideograph U+4E00..U+9FA5: 20902 little-endian uint16 entries, entry
// (code point - 0x4E00). Ranks 0..20895 are used once each; 0xFFFF marks the
// six ideographs the table gives no reading.
//
// Usage: generate_rank_table Unihan_Readings.txt Unihan_OtherMappings.txt out
//
// Order: toneless syllables alphabetically, with u-umlaut spelled 'v' (so
// "lv" sorts after "luo"; sorting it right after "lu" would leave the fixed
// ranks in kFixed unchanged, as none falls in the l/n syllables). Inside a
// syllable, GB2312 characters first in GB2312 code order, then the rest by
// code point.
//
// Which reading each character sorts under:
// - GB2312 level 1 is itself ordered by pinyin, so each level-1 character
//   takes the syllable its position implies: the non-decreasing syllable
//   sequence that agrees most with the characters' Unihan readings (kMandarin
//   preferred). This fills in readings Unihan lacks (e.g. 谁 shui, 长 chang,
//   厦 xia). GB2312 sorts u-umlaut as a variant of u (lv < luan < lve < lun),
//   so that is the order this inference uses.
// - Every other character sorts under its first kMandarin reading unless the
//   fixed ranks cannot be met that way. Then as few characters as possible
//   switch to another of their kMandarin/kHanyuPinyin readings, preferring
//   characters outside GB2312 and readings Unihan lists first (a min-cost
//   flow over the gaps between fixed ranks; ties go to lower code points).
// - Characters Unihan gives no Mandarin reading get one from kSupplement.
// A fixed rank that no choice of readings reaches is met by moving that
// character alone to its rank (everything between shifts by one, keeping its
// order), taking the placement with the least total movement.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <queue>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr char32_t kFirst = 0x4E00;
constexpr char32_t kLast = 0x9FA5;
constexpr size_t kCount = kLast - kFirst + 1;
constexpr uint16_t kNoRank = 0xFFFF;
constexpr size_t kRanked = kCount - 6;

// Ideographs the table deliberately leaves unranked, whatever Unihan says.
constexpr std::array<char32_t, 6> kUnranked = {0x56D7, 0x5EFE, 0x70BA, 0x864D, 0x9997, 0x9F6A};

struct FixedRank {
  char32_t cp;
  uint16_t rank;
};

// Ranks the table must reproduce exactly; sorted by rank.
constexpr std::array<FixedRank, 16> kFixed = {{
    {0x554A, 0},
    {0x963F, 1},
    {0x5416, 2},
    {0x5B89, 95},
    {0x516B, 249},
    {0x4E0D, 1186},
    {0x7684, 3193},
    {0x56FD, 5664},
    {0x4EBA, 13574},
    {0x662F, 14343},
    {0x6211, 16394},
    {0x4E00, 18273},
    {0x5728, 19488},
    {0x5F20, 19794},
    {0x8D75, 19852},
    {0x4E2D, 20279},
}};

struct Supplement {
  char32_t cp;
  const char* syllable;
};

// Ideographs with no Mandarin reading in Unihan. Unit characters read as the
// first syllable of their compound, matching Unihan's own readings of their
// siblings (兝 fen, 兣 li, 兞 mao, 瓸 bai); the three Japanese-made characters
// take the Mandarin counterpart of their kCantonese reading.
constexpr std::array<Supplement, 10> kSupplement = {{
    {0x5159, "shi"},   // 兙 decagram, 十克
    {0x5161, "bai"},   // 兡 hectogram, 百克
    {0x55E7, "jia"},   // 嗧 gallon, 加仑
    {0x685B, "long"},  // 桛 Cantonese lung6
    {0x70EA, "guan"},  // 烪 Cantonese gwaan1
    {0x74E7, "shi"},   // 瓧 decagram
    {0x74F0, "fen"},   // 瓰 decigram
    {0x74F1, "mao"},   // 瓱 milligram
    {0x74FC, "li"},    // 瓼 Cantonese lei5
    {0x7505, "li"},    // 甅 centigram
}};

[[noreturn]] void Fail(const std::string& message) {
  throw std::runtime_error(message);
}

std::string Hex(char32_t cp) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(cp));
  return buffer;
}

std::string Utf8(char32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

size_t IndexOf(char32_t cp) {
  return cp - kFirst;
}

// Lower-case toneless syllable; u-umlaut becomes 'v', e-circumflex 'e'.
std::string Toneless(std::string_view reading) {
  std::string out;
  for (size_t i = 0; i < reading.size();) {
    const auto lead = static_cast<unsigned char>(reading[i]);
    char32_t cp;
    size_t length;
    if (lead < 0x80) {
      cp = lead;
      length = 1;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1F;
      length = 2;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0F;
      length = 3;
    } else {
      Fail("unexpected byte in reading '" + std::string(reading) + "'");
    }
    if (i + length > reading.size()) {
      Fail("truncated reading '" + std::string(reading) + "'");
    }
    for (size_t k = 1; k < length; ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(reading[i + k]) & 0x3F);
    }
    i += length;
    if (cp >= 'a' && cp <= 'z') {
      out += static_cast<char>(cp);
      continue;
    }
    if (cp >= 0x300 && cp <= 0x36F) continue;  // combining tone mark
    switch (cp) {
      case 0xE0:
      case 0xE1:
      case 0x101:
      case 0x1CE:
        out += 'a';
        break;
      case 0xE8:
      case 0xE9:
      case 0xEA:
      case 0x113:
      case 0x11B:
      case 0x1EBF:
      case 0x1EC1:
        out += 'e';
        break;
      case 0xEC:
      case 0xED:
      case 0x12B:
      case 0x1D0:
        out += 'i';
        break;
      case 0xF2:
      case 0xF3:
      case 0x14D:
      case 0x1D2:
        out += 'o';
        break;
      case 0xF9:
      case 0xFA:
      case 0x16B:
      case 0x1D4:
        out += 'u';
        break;
      case 0xFC:
      case 0x1D6:
      case 0x1D8:
      case 0x1DA:
      case 0x1DC:
        out += 'v';
        break;
      case 0x1E3F:
        out += 'm';
        break;
      case 0x144:
      case 0x148:
      case 0x1F9:
        out += 'n';
        break;
      default:
        Fail("unknown letter " + Hex(cp) + " in reading '" + std::string(reading) + "'");
    }
  }
  if (out.empty()) Fail("empty reading");
  return out;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Calls visit(cp, field, value) for each ideograph line of a Unihan file.
template <typename Visit>
void ReadUnihan(const std::string& path, Visit visit) {
  std::ifstream in(path);
  if (!in) Fail("cannot open " + path);
  std::string line;
  size_t lines = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto fields = Split(line, '\t');
    if (fields.size() != 3 || fields[0].substr(0, 2) != "U+") {
      Fail(path + ": malformed line '" + line + "'");
    }
    const char32_t cp =
        static_cast<char32_t>(std::stoul(std::string(fields[0].substr(2)), nullptr, 16));
    ++lines;
    if (cp >= kFirst && cp <= kLast) visit(cp, fields[1], fields[2]);
  }
  if (lines == 0) Fail(path + ": no data lines");
}

struct Character {
  std::vector<std::string> readings;  // kMandarin first, then kHanyuPinyin
  std::vector<std::string> favoured;  // kMandarin and first kHanyuPinyin
  int gb = 0;                         // kGB0 row*100+column, 0 if not GB2312
  bool unranked = false;
  bool levelOne() const { return gb > 0 && gb / 100 <= 55; }
};

void AddReading(Character& c, const std::string& syllable) {
  if (std::find(c.readings.begin(), c.readings.end(), syllable) == c.readings.end()) {
    c.readings.push_back(syllable);
  }
}

std::vector<Character> Load(const std::string& readingsPath, const std::string& mappingsPath) {
  std::vector<Character> chars(kCount);
  std::vector<std::vector<std::string>> mandarin(kCount), hanyu(kCount);
  ReadUnihan(readingsPath, [&](char32_t cp, std::string_view field, std::string_view value) {
    if (field == "kMandarin") {
      for (auto r : Split(value, ' ')) {
        mandarin[IndexOf(cp)].push_back(Toneless(r));
      }
    } else if (field == "kHanyuPinyin") {
      for (auto entry : Split(value, ' ')) {
        const size_t colon = entry.rfind(':');
        if (colon == std::string_view::npos) {
          Fail("kHanyuPinyin entry without readings for " + Hex(cp));
        }
        for (auto r : Split(entry.substr(colon + 1), ',')) {
          hanyu[IndexOf(cp)].push_back(Toneless(r));
        }
      }
    }
  });
  ReadUnihan(mappingsPath, [&](char32_t cp, std::string_view field, std::string_view value) {
    if (field == "kGB0") chars[IndexOf(cp)].gb = std::stoi(std::string(value));
  });

  for (size_t i = 0; i < kCount; ++i) {
    for (const auto& r : mandarin[i])
      AddReading(chars[i], r);
    for (const auto& r : hanyu[i])
      AddReading(chars[i], r);
    chars[i].favoured = mandarin[i];
    if (!hanyu[i].empty()) chars[i].favoured.push_back(hanyu[i].front());
  }
  for (const auto& s : kSupplement) {
    auto& c = chars[IndexOf(s.cp)];
    if (!c.readings.empty()) {
      Fail(Hex(s.cp) + " now has a Unihan reading; drop it from kSupplement");
    }
    c.readings.push_back(s.syllable);
  }
  for (char32_t cp : kUnranked)
    chars[IndexOf(cp)].unranked = true;
  for (size_t i = 0; i < kCount; ++i) {
    if (!chars[i].unranked && chars[i].readings.empty()) {
      Fail(Hex(kFirst + static_cast<char32_t>(i)) + " has no reading");
    }
  }
  return chars;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j)
    row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Syllable order of GB2312 level 1: u-umlaut ('v') ties with 'u' and breaks
// the tie after it.
bool GbSyllableLess(const std::string& a, const std::string& b) {
  std::string foldedA = a, foldedB = b;
  std::replace(foldedA.begin(), foldedA.end(), 'v', 'u');
  std::replace(foldedB.begin(), foldedB.end(), 'v', 'u');
  return foldedA != foldedB ? foldedA < foldedB : a < b;
}

// Gives every GB2312 level-1 character the syllable its code position
// implies; returns the characters whose implied syllable Unihan lacks.
std::vector<char32_t> InferLevelOne(const std::vector<Character>& chars,
                                    std::vector<std::string>& chosen) {
  std::vector<size_t> level;
  std::set<std::string> inventory;
  for (size_t i = 0; i < kCount; ++i) {
    if (chars[i].levelOne()) level.push_back(i);
    inventory.insert(chars[i].readings.begin(), chars[i].readings.end());
  }
  std::sort(level.begin(), level.end(),
            [&](size_t a, size_t b) { return chars[a].gb < chars[b].gb; });
  std::vector<std::string> syllables(inventory.begin(), inventory.end());
  std::sort(syllables.begin(), syllables.end(), GbSyllableLess);

  // Agreeing with kMandarin is free, with another Unihan reading nearly so; a
  // syllable Unihan does not list costs far more, least when it is spelled
  // closest to a listed one (谁 shei -> shui, not the equally placed shuang).
  const size_t n = level.size(), s = syllables.size();
  auto cost = [&](const Character& c, const std::string& syllable) -> int64_t {
    if (syllable == c.readings.front()) return 0;
    if (std::find(c.readings.begin(), c.readings.end(), syllable) != c.readings.end()) {
      return 1;
    }
    size_t nearest = std::numeric_limits<size_t>::max();
    for (const auto& r : c.readings) {
      nearest = std::min(nearest, EditDistance(r, syllable));
    }
    return 1000 + static_cast<int64_t>(nearest);
  };
  std::vector<int64_t> best(s, 0), next(s);
  std::vector<std::vector<uint16_t>> from(n, std::vector<uint16_t>(s));
  for (size_t i = 0; i < n; ++i) {
    int64_t runMin = std::numeric_limits<int64_t>::max();
    uint16_t runArg = 0;
    for (size_t k = 0; k < s; ++k) {
      if (best[k] < runMin) {
        runMin = best[k];
        runArg = static_cast<uint16_t>(k);
      }
      next[k] = runMin + cost(chars[level[i]], syllables[k]);
      from[i][k] = runArg;
    }
    best.swap(next);
  }
  size_t k = static_cast<size_t>(std::min_element(best.begin(), best.end()) - best.begin());
  std::vector<char32_t> unlisted;
  for (size_t i = n; i-- > 0;) {
    const Character& c = chars[level[i]];
    chosen[level[i]] = syllables[k];
    if (std::find(c.readings.begin(), c.readings.end(), syllables[k]) == c.readings.end()) {
      unlisted.push_back(kFirst + static_cast<char32_t>(level[i]));
    }
    k = from[i][k];
  }
  std::reverse(unlisted.begin(), unlisted.end());
  return unlisted;
}

bool IsFavoured(const Character& c, const std::string& syllable) {
  return std::find(c.favoured.begin(), c.favoured.end(), syllable) != c.favoured.end();
}

struct SortKey {
  std::string syllable;
  int group;  // 0: GB2312, 1: other
  int order;  // kGB0 value or code point
  auto operator<=>(const SortKey&) const = default;
};

SortKey KeyOf(const std::vector<Character>& chars, size_t i, const std::string& syllable) {
  const Character& c = chars[i];
  if (c.gb > 0) return {syllable, 0, c.gb};
  return {syllable, 1, static_cast<int>(kFirst + i)};
}

// Min-cost flow by successive shortest paths (Dijkstra with potentials).
class MinCostFlow {
 public:
  explicit MinCostFlow(size_t nodes) : adjacent_(nodes) {}

  size_t addEdge(size_t from, size_t to, int64_t capacity, int64_t cost) {
    adjacent_[from].push_back(edges_.size());
    edges_.push_back({to, capacity, cost});
    adjacent_[to].push_back(edges_.size());
    edges_.push_back({from, 0, -cost});
    return edges_.size() - 2;
  }

  int64_t flow(size_t edge) const { return edges_[edge ^ 1].capacity; }

  int64_t run(size_t source, size_t sink) {
    const size_t n = adjacent_.size();
    constexpr int64_t kInf = std::numeric_limits<int64_t>::max() / 4;
    std::vector<int64_t> potential(n, 0), distance(n);
    std::vector<size_t> via(n);
    int64_t total = 0;
    while (true) {
      std::fill(distance.begin(), distance.end(), kInf);
      distance[source] = 0;
      using Item = std::pair<int64_t, size_t>;
      std::priority_queue<Item, std::vector<Item>, std::greater<>> queue;
      queue.push({0, source});
      while (!queue.empty()) {
        const auto [d, u] = queue.top();
        queue.pop();
        if (d > distance[u]) continue;
        for (size_t e : adjacent_[u]) {
          const Edge& edge = edges_[e];
          if (edge.capacity == 0) continue;
          const int64_t candidate = d + edge.cost + potential[u] - potential[edge.to];
          if (candidate < distance[edge.to]) {
            distance[edge.to] = candidate;
            via[edge.to] = e;
            queue.push({candidate, edge.to});
          }
        }
      }
      if (distance[sink] == kInf) return total;
      for (size_t u = 0; u < n; ++u) {
        if (distance[u] < kInf) potential[u] += distance[u];
      }
      int64_t push = kInf;
      for (size_t v = sink; v != source; v = edges_[via[v] ^ 1].to) {
        push = std::min(push, edges_[via[v]].capacity);
      }
      for (size_t v = sink; v != source; v = edges_[via[v] ^ 1].to) {
        edges_[via[v]].capacity -= push;
        edges_[via[v] ^ 1].capacity += push;
      }
      total += push;
    }
  }

 private:
  struct Edge {
    size_t to;
    int64_t capacity;
    int64_t cost;
  };
  std::vector<std::vector<size_t>> adjacent_;
  std::vector<Edge> edges_;
};

// Picks readings for the characters outside GB2312 level 1 so the fixed
// characters land on their ranks where possible. Returns how many characters,
// and how many of them in GB2312, read something other than their kMandarin
// reading.
std::pair<size_t, size_t> FitReadings(const std::vector<Character>& chars,
                                      std::vector<std::string>& chosen,
                                      const std::vector<SortKey>& fixedKeys,
                                      const std::vector<bool>& isFixed) {
  const size_t gaps = kFixed.size() + 1;
  std::vector<int64_t> need(gaps);
  need[0] = kFixed[0].rank;
  for (size_t k = 1; k < kFixed.size(); ++k) {
    need[k] = kFixed[k].rank - kFixed[k - 1].rank - 1;
  }
  need[gaps - 1] = static_cast<int64_t>(kRanked) - 1 - kFixed.back().rank;
  auto gapOf = [&](size_t i, const std::string& syllable) {
    return static_cast<size_t>(
        std::upper_bound(fixedKeys.begin(), fixedKeys.end(), KeyOf(chars, i, syllable)) -
        fixedKeys.begin());
  };

  // Characters with the same default gap and the same reachable gaps at the
  // same costs are interchangeable; the flow moves counts of them.
  using Options = std::vector<std::pair<size_t, int64_t>>;  // gap, cost
  std::map<std::pair<size_t, Options>, std::vector<size_t>> kinds;
  std::vector<int64_t> count(gaps, 0);
  for (size_t i = 0; i < kCount; ++i) {
    const Character& c = chars[i];
    if (c.unranked || isFixed[i]) continue;
    if (!c.levelOne()) chosen[i] = c.readings.front();
    if (c.levelOne() || c.readings.size() == 1) {
      ++count[gapOf(i, chosen[i])];
      continue;
    }
    const size_t home = gapOf(i, c.readings.front());
    ++count[home];
    std::map<size_t, int64_t> cheapest;
    for (const auto& r : c.readings) {
      const size_t gap = gapOf(i, r);
      if (gap == home) continue;
      // Rereading a common (GB2312) character or picking a reading Unihan
      // ranks low is the last resort.
      const int64_t cost = (IsFavoured(c, r) ? 1 : 2) + (c.gb > 0 ? 2 : 0);
      auto [it, inserted] = cheapest.emplace(gap, cost);
      if (!inserted) it->second = std::min(it->second, cost);
    }
    kinds[{home, Options(cheapest.begin(), cheapest.end())}].push_back(i);
  }

  // Moving a fixed character one place costs more than rereading every
  // character, so the flow reaches the ranks by readings wherever it can.
  constexpr int64_t kMoveCost = 1'000'000;
  const size_t source = 0, sink = 1, firstGap = 2;
  MinCostFlow flow(firstGap + gaps + kinds.size());
  int64_t totalSurplus = 0;
  for (size_t k = 0; k < gaps; ++k) {
    const int64_t surplus = count[k] - need[k];
    if (surplus > 0) totalSurplus += surplus;
    if (surplus > 0) flow.addEdge(source, firstGap + k, surplus, 0);
    if (surplus < 0) flow.addEdge(firstGap + k, sink, -surplus, 0);
    if (k + 1 < gaps) {
      flow.addEdge(firstGap + k, firstGap + k + 1, kRanked, kMoveCost);
      flow.addEdge(firstGap + k + 1, firstGap + k, kRanked, kMoveCost);
    }
  }
  struct Route {
    const std::vector<size_t>* members;
    std::vector<std::pair<size_t, size_t>> exits;  // gap, edge
  };
  std::vector<Route> routes;
  size_t node = firstGap + gaps;
  for (const auto& [kind, members] : kinds) {
    const auto& [home, options] = kind;
    flow.addEdge(firstGap + home, node, static_cast<int64_t>(members.size()), 0);
    Route route{&members, {}};
    for (const auto& [gap, cost] : options) {
      route.exits.push_back({gap, flow.addEdge(node, firstGap + gap, kRanked, cost)});
    }
    routes.push_back(std::move(route));
    ++node;
  }
  if (flow.run(source, sink) != totalSurplus) {
    Fail("fixed ranks cannot all be placed");
  }

  size_t reread = 0, rereadGb = 0;
  for (const auto& route : routes) {
    auto member = route.members->begin();
    for (const auto& [gap, edge] : route.exits) {
      for (int64_t moved = flow.flow(edge); moved > 0; --moved, ++member) {
        const size_t i = *member;
        const Character& c = chars[i];
        // The cheapest reading into the gap, as the flow priced it.
        const std::string* pick = nullptr;
        for (const auto& r : c.readings) {
          if (gapOf(i, r) != gap) continue;
          if (!pick || (IsFavoured(c, r) && !IsFavoured(c, *pick))) pick = &r;
        }
        chosen[i] = *pick;
        ++reread;
        if (c.gb > 0) ++rereadGb;
      }
    }
  }
  return {reread, rereadGb};
}

void Run(const std::string& readingsPath, const std::string& mappingsPath,
         const std::string& outputPath) {
  const std::vector<Character> chars = Load(readingsPath, mappingsPath);
  std::vector<std::string> chosen(kCount);
  const auto unlisted = InferLevelOne(chars, chosen);

  // Fixed characters outside level 1 take their first reading that falls
  // between their fixed neighbours.
  std::vector<bool> isFixed(kCount, false);
  std::vector<SortKey> fixedKeys;
  for (size_t k = 0; k < kFixed.size(); ++k) {
    const size_t i = IndexOf(kFixed[k].cp);
    const Character& c = chars[i];
    if (c.unranked) Fail(Hex(kFixed[k].cp) + " is both fixed and unranked");
    isFixed[i] = true;
    if (!c.levelOne()) {
      chosen[i] = c.readings.front();
      for (const auto& r : c.readings) {
        const SortKey key = KeyOf(chars, i, r);
        const bool afterPrevious = fixedKeys.empty() || fixedKeys.back() < key;
        const bool beforeNext =
            k + 1 == kFixed.size() || !chars[IndexOf(kFixed[k + 1].cp)].levelOne() ||
            key < KeyOf(chars, IndexOf(kFixed[k + 1].cp), chosen[IndexOf(kFixed[k + 1].cp)]);
        if (afterPrevious && beforeNext) {
          chosen[i] = r;
          break;
        }
      }
    }
    fixedKeys.push_back(KeyOf(chars, i, chosen[i]));
    if (k > 0 && !(fixedKeys[k - 1] < fixedKeys[k])) {
      Fail("fixed characters " + Hex(kFixed[k - 1].cp) + " and " + Hex(kFixed[k].cp) +
           " sort out of their rank order");
    }
  }

  const auto [reread, rereadGb] = FitReadings(chars, chosen, fixedKeys, isFixed);

  std::vector<size_t> natural;
  for (size_t i = 0; i < kCount; ++i) {
    if (!chars[i].unranked) natural.push_back(i);
  }
  std::sort(natural.begin(), natural.end(), [&](size_t a, size_t b) {
    return KeyOf(chars, a, chosen[a]) < KeyOf(chars, b, chosen[b]);
  });
  if (natural.size() != kRanked) Fail("wrong number of ranked characters");

  // Fixed characters go to their ranks; the rest fill the other places in
  // their natural order.
  std::vector<size_t> naturalRank(kCount);
  for (size_t r = 0; r < natural.size(); ++r)
    naturalRank[natural[r]] = r;
  std::vector<size_t> final(kRanked, kCount);
  for (const auto& f : kFixed)
    final[f.rank] = IndexOf(f.cp);
  size_t place = 0;
  for (size_t i : natural) {
    if (isFixed[i]) continue;
    while (final[place] != kCount)
      ++place;
    final[place] = i;
  }

  std::vector<uint16_t> table(kCount, kNoRank);
  for (size_t r = 0; r < final.size(); ++r) {
    table[final[r]] = static_cast<uint16_t>(r);
  }

  // Invariants of the shipped table.
  std::vector<bool> seen(kRanked, false);
  size_t unrankedCount = 0;
  for (size_t i = 0; i < kCount; ++i) {
    if (table[i] == kNoRank) {
      ++unrankedCount;
      if (!chars[i].unranked) Fail(Hex(kFirst + static_cast<char32_t>(i)) + " left without a rank");
      continue;
    }
    if (table[i] >= kRanked || seen[table[i]]) {
      Fail("rank " + std::to_string(table[i]) + " out of range or repeated");
    }
    seen[table[i]] = true;
  }
  if (unrankedCount != kUnranked.size()) Fail("wrong number of 0xFFFF entries");
  for (const auto& f : kFixed) {
    if (table[IndexOf(f.cp)] != f.rank) Fail(Hex(f.cp) + " missed its rank");
  }
  // Apart from the fixed characters, the table is in pinyin order.
  const size_t* previous = nullptr;
  for (size_t r = 0; r < final.size(); ++r) {
    if (isFixed[final[r]]) continue;
    if (previous &&
        !(KeyOf(chars, *previous, chosen[*previous]) < KeyOf(chars, final[r], chosen[final[r]]))) {
      Fail("table out of pinyin order at rank " + std::to_string(r));
    }
    previous = &final[r];
  }

  std::string bytes;
  bytes.reserve(kCount * 2);
  for (uint16_t rank : table) {
    bytes += static_cast<char>(rank & 0xFF);
    bytes += static_cast<char>(rank >> 8);
  }
  std::ofstream out(outputPath, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out || bytes.size() != 41804) Fail("cannot write " + outputPath);

  std::cout << "char  code    reading  natural  final  moved\n";
  for (const auto& f : kFixed) {
    const size_t i = IndexOf(f.cp);
    const long moved = static_cast<long>(f.rank) - static_cast<long>(naturalRank[i]);
    char line[96];
    std::snprintf(line, sizeof line, "  %-7s %-7s %7zu  %5u  %+5ld\n", Hex(f.cp).c_str(),
                  chosen[i].c_str(), naturalRank[i], static_cast<unsigned>(f.rank), moved);
    std::cout << Utf8(f.cp) << line;
  }
  std::cout << reread << " characters outside GB2312 level 1 (" << rereadGb
            << " of them in level 2) sort under a reading other than their "
               "kMandarin one\n";
  std::cout << "GB2312 level-1 positions imply readings Unihan lacks:";
  for (char32_t cp : unlisted) {
    std::cout << ' ' << Utf8(cp) << ' ' << chosen[IndexOf(cp)];
  }
  std::cout << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: " << argv[0]
              << " Unihan_Readings.txt Unihan_OtherMappings.txt output.bin\n";
    return 2;
  }
  try {
    Run(argv[1], argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::cerr << "generate_rank_table: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
