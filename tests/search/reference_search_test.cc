// A reference model of the name search, checked against RunSearch on random indexes with random
// queries of every shape: both must give the same results in the same order.
//
// The model is written plainly from the query rules and shares no code with the engine: it keeps
// the names it put into the index and splits file names itself, splits the raw query text at
// U+0020, tests every word by brute force (a plain word as a substring, a word with wildcards as
// a whole-name match) and walks its own copy of the tree for the scope. From the index it takes
// only the list order, which is the order results come out in.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/utf.h"
#include "search/run_search.h"
#include "tests/support/search_fixture.h"

namespace vessiko {
namespace {

using Units = std::u16string;

Units Folded(Units text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return text;
}

// Only U+0020 separates words.
std::vector<Units> SplitWords(const Units& text) {
  std::vector<Units> words;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == u' ') {
      ++i;
      continue;
    }
    const size_t end = std::min(text.find(u' ', i), text.size());
    words.push_back(text.substr(i, end - i));
    i = end;
  }
  return words;
}

// The whole name matches the pattern: '*' any run of units, '?' any one unit.
bool MatchesWhole(const Units& pattern, const Units& name) {
  // reach[j]: the pattern units read so far can match the first j units of the name.
  std::vector<char> reach(name.size() + 1, 0);
  std::vector<char> next(name.size() + 1, 0);
  reach[0] = 1;
  for (const char16_t p : pattern) {
    if (p == u'*') {
      char any = 0;
      for (size_t j = 0; j <= name.size(); ++j) {
        any |= reach[j];
        next[j] = any;
      }
    } else {
      next[0] = 0;
      for (size_t j = 1; j <= name.size(); ++j)
        next[j] = reach[j - 1] && (p == u'?' || p == name[j - 1]);
    }
    reach.swap(next);
  }
  return reach[name.size()] != 0;
}

// A word without wildcards occurs somewhere in the name; any other matches the whole name.
bool WordMatches(const Units& word, const Units& name) {
  if (word.find_first_of(u"?*") == Units::npos) return name.find(word) != Units::npos;
  return MatchesWhole(word, name);
}

// A file name split at its last dot: a space after that dot, a dot only in front, or no dot at
// all leaves the whole name as the base name.
struct SplitName {
  Units base;
  bool hasExtension = false;
  Units extension;
};

SplitName SplitAtLastDot(const Units& name) {
  const size_t at = name.find_last_of(u". ");
  if (at == Units::npos || at == 0 || name[at] == u' ') return {name, false, u""};
  return {name.substr(0, at), true, name.substr(at + 1)};
}

// The shapes of query words, each with a routine of its own in the engine.
enum class Shape { kPlainAscii, kPlainOther, kQuestion, kStar, kMixed };
constexpr size_t kShapes = 5;

std::vector<Shape> ShapesOf(const Units& text) {
  std::vector<Shape> shapes;
  bool plain = false;
  for (const Units& word : SplitWords(text)) {
    const bool question = word.find(u'?') != Units::npos;
    const bool star = word.find(u'*') != Units::npos;
    if (question && star)
      shapes.push_back(Shape::kMixed);
    else if (question)
      shapes.push_back(Shape::kQuestion);
    else if (star && word.find_first_not_of(u'*') != Units::npos)
      shapes.push_back(Shape::kStar);
    else if (!star)
      plain = true;
  }
  if (plain) {
    const bool ascii = std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 128; });
    shapes.push_back(ascii ? Shape::kPlainAscii : Shape::kPlainOther);
  }
  return shapes;
}

enum class VolumeScope { kWhole, kDirectly, kOff };

struct FolderRow {
  RecordRef dir;
  bool below;  // the row says "是"
};

struct Scope {
  std::vector<VolumeScope> volumes;  // one per volume row, in row order
  std::vector<FolderRow> folders;    // their volumes' rows are off
};

struct Request {
  Units name;
  Units extension;
  bool caseSensitive = false;
  bool folders = true;
  bool files = true;
  Scope scope;
};

struct Results {
  std::vector<RecordRef> dirs;
  std::vector<RecordRef> files;
  bool operator==(const Results&) const = default;
};

Results ResultsOf(const SearchState& state) {
  Results out;
  for (uint32_t i = 0; i < state.dirResults.count(); ++i)
    out.dirs.push_back(state.dirResults.itemAt(i));
  for (uint32_t i = 0; i < state.fileResults.count(); ++i)
    out.files.push_back(state.fileResults.itemAt(i));
  return out;
}

// What the model knows of an index: the names it put in and the tree it built.
class Model {
 public:
  struct Entry {
    Units tested;  // a directory's name, a file's base name
    Units testedFolded;
    bool hasExtension = false;
    Units extension;  // lowered
    RecordRef parent = kNoRecord;
  };

  void addRoot(RecordRef ref, char drive) {
    const Units name = {static_cast<char16_t>(drive), u':'};
    dirs[ref] = {name, Folded(name), false, u"", kNoRecord};
    roots.push_back(ref);
  }
  void addDir(RecordRef ref, RecordRef parent, const Units& name) {
    dirs[ref] = {name, Folded(name), false, u"", parent};
    dirRefs.push_back(ref);
  }
  void addFile(RecordRef ref, RecordRef parent, const Units& name) {
    const SplitName split = SplitAtLastDot(name);
    files[ref] = {split.base, Folded(split.base), split.hasExtension, Folded(split.extension),
                  parent};
    if (split.hasExtension) extensions.insert(Folded(split.extension));
    fileRefs.push_back(ref);
  }

  Results search(const Request& r, const std::vector<RecordRef>& dirOrder,
                 const std::vector<RecordRef>& fileOrder) const;

  std::unordered_map<RecordRef, Entry> dirs;
  std::unordered_map<RecordRef, Entry> files;
  std::vector<RecordRef> roots;    // in volume row order
  std::vector<RecordRef> dirRefs;  // every directory but the roots
  std::vector<RecordRef> fileRefs;
  // Lowered extensions the index knows: the built-in four and every file's.
  std::set<Units> extensions = {u"cur", u"exe", u"ico", u"lnk"};
};

Results Model::search(const Request& r, const std::vector<RecordRef>& dirOrder,
                      const std::vector<RecordRef>& fileOrder) const {
  Results out;
  std::vector<Units> words;
  for (const Units& word : SplitWords(r.name)) {
    if (word.find_first_not_of(u'*') == Units::npos) continue;  // only '*': no condition
    words.push_back(r.caseSensitive ? word : Folded(word));
  }
  if (words.empty()) return out;

  std::set<Units> known;
  const std::vector<Units> extensionWords = SplitWords(r.extension);
  for (const Units& word : extensionWords) {
    if (extensions.count(Folded(word)) != 0) known.insert(Folded(word));
  }
  const bool byExtension = !extensionWords.empty();
  if (byExtension && known.empty()) return out;

  bool restricted = !r.scope.folders.empty();
  std::vector<FolderRow> rows = r.scope.folders;
  for (size_t v = 0; v < r.scope.volumes.size(); ++v) {
    if (r.scope.volumes[v] != VolumeScope::kWhole) restricted = true;
    if (r.scope.volumes[v] != VolumeScope::kOff) {
      rows.push_back({roots[v], r.scope.volumes[v] == VolumeScope::kWhole});
    }
  }
  if (restricted && rows.empty()) return out;
  const auto inScope = [&](RecordRef parent) {
    if (!restricted) return true;
    for (const FolderRow& row : rows) {
      if (!row.below) {
        if (parent == row.dir) return true;
        continue;
      }
      for (RecordRef at = parent; at != kNoRecord; at = dirs.at(at).parent) {
        if (at == row.dir) return true;
      }
    }
    return false;
  };
  const auto nameMatches = [&](const Entry& e) {
    const Units& name = r.caseSensitive ? e.tested : e.testedFolded;
    return std::all_of(words.begin(), words.end(),
                       [&](const Units& word) { return WordMatches(word, name); });
  };

  if (r.folders && !byExtension) {
    for (const RecordRef ref : dirOrder) {
      const Entry& e = dirs.at(ref);
      if (nameMatches(e) && inScope(e.parent)) out.dirs.push_back(ref);
    }
  }
  if (r.files) {
    for (const RecordRef ref : fileOrder) {
      const Entry& e = files.at(ref);
      if (!nameMatches(e)) continue;
      if (byExtension && (!e.hasExtension || known.count(e.extension) == 0)) continue;
      if (inScope(e.parent)) out.files.push_back(ref);
    }
  }
  return out;
}

// The pieces names are made of: ASCII with case variants and punctuation, dots and spaces,
// Chinese, and other scripts, among them units whose packed bytes look like ASCII ("\u6261" is
// the marker and "ab", "\u2e2e" the marker and "..") and a surrogate pair.
const char16_t* const kAsciiPieces[] = {
    u"a",      u"b",      u"c",   u"A",   u"B",   u"C",    u"z",   u"Z",      u"ab",     u"abc",
    u"ABC",    u"aBc",    u"x",   u"X",   u"Zip", u"ZIP",  u"zz",  u"readme", u"README", u"ReadMe",
    u"report", u"Report", u"txt", u"doc", u"1",   u"2024", u"_",   u"-",      u"~",      u"(1)",
    u"[x]",    u"'",      u"+",   u",",   u";",   u"=",    u"!",   u"#",      u"$",      u"%",
    u"&",      u"@",      u"^",   u"`",   u"{",   u"}",    u"\x7f"};
const char16_t* const kSeparators[] = {u".", u" ", u"..", u". ", u" .", u"  "};
const char16_t* const kChinesePieces[] = {u"文",   u"档",   u"文档", u"中", u"中文",
                                          u"报告", u"张三", u"一",   u"啊"};
const char16_t* const kOtherPieces[] = {
    u"Ä",  u"ä",  u"ß", u"é", u"É",      u"Ω",      u"ω",      u"Ж",      u"ж",
    u"Ａ", u"ａ", u"😀", u"Ā", u"\u6261", u"\u2020", u"\u2e2e", u"\u3000", u"\u00a0"};
const char16_t* const kExtensions[] = {u"txt", u"TXT", u"Txt", u"doc",  u"md", u"exe", u"EXE",
                                       u"lnk", u"gz",  u"c",   u"文档", u"Ä",  u"ä",   u"a1"};
const char16_t* const kUnknownExtensions[] = {u"zzz", u"tx", u"txt.", u"*", u"?", u"t?t"};
const char16_t* const kShortPatterns[] = {u"a*",  u"*c",    u"?",     u"??",  u"*a*a*", u"a?c",
                                          u"*.*", u"*文*",  u"?*",    u"*?*", u"*b?",   u"A*C",
                                          u"*x",  u"??*??", u"*.tx?", u"?.*", u"*ä*",   u"**a**"};
const char16_t* const kOnlyStars[] = {u"*", u"**", u"***"};

// How an index is made up.
struct Flavor {
  const char* drives;
  uint32_t entries;
  // Weights of the piece kinds: ASCII, separators, Chinese, other scripts.
  uint32_t ascii, separators, chinese, other;
  uint32_t seed;
};

class ReferenceSearch {
 public:
  explicit ReferenceSearch(const Flavor& flavor)
      : f_(flavor.drives), flavor_(flavor), random_(flavor.seed) {
    for (const char drive : std::string(flavor.drives))
      model_.addRoot(f_.root(drive), drive);
    build();
    f_.finish();
    dirOrder_ = f_.t.dirsInOrder();
    fileOrder_ = f_.t.filesInOrder();
  }

  // Runs `count` random requests through both; stops after a few disagreements.
  void check(int count) {
    int failures = 0;
    for (int i = 0; i < count && failures < 5; ++i) {
      const Request r = randomRequest();
      const Results expected = model_.search(r, dirOrder_, fileOrder_);
      const Results actual = engineSearch(r);
      if (actual != expected) {
        ++failures;
        ADD_FAILURE() << "seed " << flavor_.seed << ", request " << i << ": " << describe(r)
                      << "\n  expected:" << describe(expected) << "\n  actual:" << describe(actual);
      }
      if (!expected.dirs.empty() || !expected.files.empty()) {
        for (const Shape shape : ShapesOf(r.name))
          ++hits[static_cast<size_t>(shape)];
      }
    }
  }

  // Requests with results, by the shapes of their words.
  std::array<int, kShapes> hits = {};

 private:
  template <size_t N>
  Units pick(const char16_t* const (&pool)[N]) {
    return pool[random_() % N];
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(random_() % n); }
  bool chance(uint32_t percent) { return below(100) < percent; }

  Units piece() {
    uint32_t r = below(flavor_.ascii + flavor_.separators + flavor_.chinese + flavor_.other);
    if (r < flavor_.ascii) return pick(kAsciiPieces);
    r -= flavor_.ascii;
    if (r < flavor_.separators) return pick(kSeparators);
    r -= flavor_.separators;
    if (r < flavor_.chinese) return pick(kChinesePieces);
    return pick(kOtherPieces);
  }

  // One to six pieces, now and then many more; never above 255 units, never a split pair.
  Units randomName() {
    const uint32_t pieces = chance(3) ? 60 + below(100) : 1 + below(6);
    Units name;
    for (uint32_t i = 0; i < pieces; ++i) {
      const Units p = piece();
      if (name.size() + p.size() > 255) break;
      name += p;
    }
    return name;
  }

  // The name with one unit changed, often the first or the last, where anchors bite: its case,
  // or another unit in its place; halves of pairs stay as they are.
  Units nearCopy(Units name) {
    const uint32_t r = below(10);
    const size_t at = r < 4   ? 0
                      : r < 6 ? name.size() - 1
                              : below(static_cast<uint32_t>(name.size()));
    char16_t& c = name[at];
    const auto half = [](char16_t u) { return u >= 0xD800 && u < 0xE000; };
    if (half(c)) return name;
    if (((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) && chance(50)) {
      c = static_cast<char16_t>(c ^ 0x20);
    } else if (const Units p = piece(); !half(p[0])) {
      c = p[0];
    }
    return name;
  }

  // A new name, or now and then one already used (in another folder, so that equal names meet
  // in the lists) or one that differs from it in a single unit (*near).
  Units nextName(bool* near) {
    Units name = randomName();
    *near = false;
    if (!names_.empty() && chance(20)) {
      name = names_[below(static_cast<uint32_t>(names_.size()))];
      *near = chance(50);
      if (*near) name = nearCopy(name);
    }
    names_.push_back(name);
    return name;
  }

  void build() {
    std::vector<RecordRef> parents = model_.roots;
    std::set<std::pair<RecordRef, Units>> taken;  // folder paths are scope rows' keys
    for (uint32_t i = 0; i < flavor_.entries; ++i) {
      const RecordRef parent = parents[below(static_cast<uint32_t>(parents.size()))];
      bool near;
      Units name = nextName(&near);
      if (chance(25)) {
        while (!taken.insert({parent, name}).second)
          name += pick(kAsciiPieces);
        if (name.size() > 255) continue;
        const RecordRef dir = f_.addDir(parent, Utf16ToUtf8(name));
        model_.addDir(dir, parent, name);
        parents.push_back(dir);
        if (near) nearCopies_.push_back(&model_.dirs.at(dir));
        continue;
      }
      if (chance(70) && name.size() < 250) name += u"." + pick(kExtensions);
      const RecordRef file = f_.addFile(parent, Utf16ToUtf8(name));
      model_.addFile(file, parent, name);
      if (near) nearCopies_.push_back(&model_.files.at(file));
    }
  }

  // An entry of the index, a directory three times in ten.
  const Model::Entry& someEntry() {
    if (chance(30))
      return model_.dirs.at(model_.dirRefs[below(static_cast<uint32_t>(model_.dirRefs.size()))]);
    return model_.files.at(model_.fileRefs[below(static_cast<uint32_t>(model_.fileRefs.size()))]);
  }

  // Replaces units of the text with '?' or runs of it with '*'; spaces always, so that the
  // pattern stays one word.
  Units withWildcards(Units text, bool questions, bool stars) {
    Units out;
    for (size_t i = 0; i < text.size(); ++i) {
      if (stars && (text[i] == u' ' || chance(15))) {
        out += chance(20) ? u"**" : u"*";
        i += below(4);
      } else if (questions && (text[i] == u' ' || chance(25))) {
        out += u'?';
      } else {
        out += text[i];
      }
    }
    if (stars && chance(30)) out.insert(0, u"*");
    if (stars && chance(30)) out += u'*';
    return out;
  }

  Units flipCase(Units word) {
    for (char16_t& c : word) {
      if (c >= u'a' && c <= u'z' && chance(30))
        c = static_cast<char16_t>(c - 32);
      else if (c >= u'A' && c <= u'Z' && chance(30))
        c = static_cast<char16_t>(c + 32);
    }
    return word;
  }

  // A word drawn from the given name: a part of it, a part without its units above 127 (an
  // ASCII word that spans them), or the whole with wildcards in it.
  Units derivedWord(const Units& source) {
    switch (below(6)) {
      case 0:
        return source.substr(below(static_cast<uint32_t>(source.size())), 1 + below(6));
      case 1:
        return source.substr(0, 1 + below(3));
      case 2: {
        Units part = source.substr(below(static_cast<uint32_t>(source.size())), 2 + below(7));
        std::erase_if(part, [](char16_t c) { return c > 127; });
        return part.empty() ? source.substr(0, 1) : part;
      }
      case 3:
        return withWildcards(source, true, false);
      case 4:
        return withWildcards(source, false, true);
      default:
        return withWildcards(source, true, true);
    }
  }

  // A word of any shape, most drawn from the given name so that they hit.
  Units randomWord(const Units& source) {
    switch (below(12)) {
      case 0:
        return piece() + (chance(50) ? piece() : u"");
      case 1:
        return pick(kShortPatterns);
      case 2:
        return withWildcards(piece() + piece(), chance(50), chance(50));
      case 3:
        return pick(kOnlyStars);
      case 4:  // other spaces are parts of words
        return pick(kAsciiPieces) + (chance(50) ? u"\t" : u"\u3000") + pick(kAsciiPieces);
      default:
        return derivedWord(source);
    }
  }

  // Two or three '?' words over the whole name, each unit shown in one of them only (spaces in
  // none): together they spell the name.
  Units revealedInTurns(const Units& name) {
    std::vector<Units> words(2 + below(2), Units(name.size(), u'?'));
    for (size_t i = 0; i < name.size(); ++i) {
      if (name[i] != u' ') words[below(static_cast<uint32_t>(words.size()))][i] = name[i];
    }
    Units text = words[0];
    for (size_t w = 1; w < words.size(); ++w)
      text += u" " + words[w];
    return text;
  }

  // Up to four words, half of the time nearly all drawn from the target's name, with extra
  // spaces here and there; in either case mode, letters may change case.
  Units randomNameText(const Model::Entry& target) {
    if (chance(2)) return u"";
    if (chance(10)) return revealedInTurns(target.tested);
    Units text = chance(15) ? u" " : u"";
    const uint32_t words = chance(2) ? 0 : 1 + below(chance(50) ? 1 : 4);
    const bool oneName = chance(50);
    for (uint32_t i = 0; i < words; ++i) {
      Units word =
          oneName && chance(85) ? derivedWord(target.tested) : randomWord(someEntry().tested);
      if (chance(40)) word = flipCase(word);
      if (text.size() + word.size() > 1000) break;
      if (i > 0) text += chance(20) ? u"  " : u" ";
      text += word;
    }
    if (chance(15)) text += u" ";
    return text;
  }

  // Mostly none; else known extensions (often the target's), unknown ones, or both.
  Units randomExtensionText(const Model::Entry& target) {
    const uint32_t r = below(100);
    if (r < 55) return u"";
    if (r < 60) return u"   ";
    Units text;
    const uint32_t words = 1 + below(3);
    for (uint32_t i = 0; i < words; ++i) {
      if (i > 0) text += u" ";
      if (r < 85) {
        text += chance(50) && target.hasExtension && !target.extension.empty()
                    ? flipCase(target.extension)
                    : (chance(20) ? Units(u"LNK") : pick(kExtensions));
      } else if (r < 93) {
        text += pick(kUnknownExtensions);
      } else {
        text += chance(50) ? pick(kExtensions) : pick(kUnknownExtensions);
      }
    }
    return text;
  }

  size_t volumeRowOf(RecordRef dir) const {
    while (model_.dirs.at(dir).parent != kNoRecord)
      dir = model_.dirs.at(dir).parent;
    return static_cast<size_t>(std::find(model_.roots.begin(), model_.roots.end(), dir) -
                               model_.roots.begin());
  }

  // Mostly no restriction; else volume rows whole, "否" or off, and up to three folder rows,
  // often the target's folder or one above it.
  Scope randomScope(const Model::Entry& target) {
    Scope scope;
    scope.volumes.assign(model_.roots.size(), VolumeScope::kWhole);
    if (chance(55)) return scope;
    if (chance(8)) {
      scope.volumes.assign(model_.roots.size(), VolumeScope::kOff);
      return scope;
    }
    for (VolumeScope& v : scope.volumes)
      v = static_cast<VolumeScope>(below(3));
    const uint32_t folders = below(4);
    for (uint32_t i = 0; i < folders; ++i) {
      RecordRef dir = model_.dirRefs[below(static_cast<uint32_t>(model_.dirRefs.size()))];
      if (chance(60)) {
        dir = target.parent;
        while (chance(30) && dir != kNoRecord && model_.dirs.at(dir).parent != kNoRecord)
          dir = model_.dirs.at(dir).parent;
      }
      if (dir == kNoRecord || model_.dirs.at(dir).parent == kNoRecord) continue;  // a root
      if (std::any_of(scope.folders.begin(), scope.folders.end(),
                      [&](const FolderRow& row) { return row.dir == dir; })) {
        continue;
      }
      scope.folders.push_back({dir, chance(50)});
      // Checking a folder unchecks its volume's row.
      scope.volumes[volumeRowOf(dir)] = VolumeScope::kOff;
    }
    return scope;
  }

  // The target is often a near copy: a pattern drawn from it tells it from its original only
  // by the unit they differ in.
  Request randomRequest() {
    const Model::Entry& target =
        !nearCopies_.empty() && chance(30)
            ? *nearCopies_[below(static_cast<uint32_t>(nearCopies_.size()))]
            : someEntry();
    Request r;
    r.name = randomNameText(target);
    r.extension = randomExtensionText(target);
    r.caseSensitive = chance(40);
    r.folders = !chance(10);
    r.files = !chance(10);
    r.scope = randomScope(target);
    return r;
  }

  // Sets the rows as a user would: folder rows added, volume rows set to "否" or unchecked.
  void applyScope(const Scope& scope) {
    ScopeList& list = f_.scope;
    list.removeAllFolders();
    list.checkAllVolumes();
    for (int v = 0; v < list.volumeRowCount(); ++v)
      list.setSecondColumn(v, u"是");
    for (const FolderRow& row : scope.folders) {
      const int at = list.rowCount();
      ASSERT_TRUE(list.insertRow(at, Utf8ToUtf16(f_.t.pathOf(row.dir)), false));
      list.setSecondColumn(at, row.below ? u"是" : u"否");
    }
    for (size_t v = 0; v < scope.volumes.size(); ++v) {
      const int rowIndex = static_cast<int>(v);
      if (scope.volumes[v] == VolumeScope::kDirectly) list.setSecondColumn(rowIndex, u"否");
      if (scope.volumes[v] == VolumeScope::kOff && list.row(rowIndex).checked != 0) {
        f_.view.setCheckBox(rowIndex, false);
        list.checkBoxChanged(rowIndex);
      }
    }
  }

  Results engineSearch(const Request& r) {
    f_.ui.caseSensitive = r.caseSensitive;
    f_.ui.searchFolders = r.folders;
    f_.ui.searchFiles = r.files;
    applyScope(r.scope);
    // Options, extension text or scope may have changed with the request: it must run. Every
    // other search is split over three lanes, whose joined results must be the one lane's.
    f_.ui.optionsChanged = true;
    f_.context.workers = ++searches_ % 2 == 0 ? &oneLane_ : &threeLanes_;
    RunSearch(f_.context, {r.name, r.extension});
    return ResultsOf(f_.state);
  }

  std::string describe(const Request& r) const {
    std::string text = "name \"" + Utf16ToUtf8(r.name) + "\", extension \"" +
                       Utf16ToUtf8(r.extension) + "\"" +
                       (r.caseSensitive ? ", case-sensitive" : "") +
                       (r.folders ? "" : ", no folders") + (r.files ? "" : ", no files");
    for (size_t v = 0; v < r.scope.volumes.size(); ++v) {
      if (r.scope.volumes[v] == VolumeScope::kWhole) continue;
      text += ", volume row " + std::to_string(v) +
              (r.scope.volumes[v] == VolumeScope::kOff ? " off" : " 否");
    }
    for (const FolderRow& row : r.scope.folders)
      text += ", row " + f_.t.pathOf(row.dir) + (row.below ? " 是" : " 否");
    return text;
  }

  std::string describe(const Results& results) const {
    std::string text;
    for (const RecordRef dir : results.dirs)
      text += "\n    D " + f_.t.pathOf(dir);
    for (const RecordRef file : results.files)
      text += "\n    F " + f_.t.filePath(file);
    return text;
  }

  testing::SearchFixture f_;
  WorkerPool oneLane_{1};
  WorkerPool threeLanes_{3};
  uint64_t searches_ = 0;
  Flavor flavor_;
  std::mt19937_64 random_;
  Model model_;
  std::vector<Units> names_;
  std::vector<const Model::Entry*> nearCopies_;
  std::vector<RecordRef> dirOrder_;
  std::vector<RecordRef> fileOrder_;
};

void CheckFlavor(const Flavor& flavor, int requests) {
  ReferenceSearch search(flavor);
  search.check(requests);
  // The requests are drawn so that every shape of word finds something often; a generator
  // that stopped finding anything would make the comparison worthless.
  for (size_t shape = 0; shape < kShapes; ++shape)
    EXPECT_GE(search.hits[shape], 25) << "shape " << shape;
}

TEST(ReferenceSearch, AsciiNamesWithCaseVariants) {
  CheckFlavor({"C", 600, 70, 20, 4, 4, 1}, 2200);
}

TEST(ReferenceSearch, ChineseNames) {
  CheckFlavor({"D", 500, 20, 10, 60, 5, 2}, 1800);
}

TEST(ReferenceSearch, OtherScripts) {
  CheckFlavor({"CE", 500, 30, 10, 10, 50, 3}, 1800);
}

TEST(ReferenceSearch, DotsAndSpaces) {
  CheckFlavor({"C", 500, 40, 50, 5, 5, 4}, 1800);
}

TEST(ReferenceSearch, SeveralVolumesMixed) {
  CheckFlavor({"CDEZ", 800, 40, 20, 20, 20, 5}, 2400);
}

// Names of every length up to 70 units with a word at every place, its two units side by side
// or apart, some behind a unit above 127 (three bytes): the engine may read names in pieces,
// and must see a word wherever it stands, in either case mode.
TEST(ReferenceSearch, WordsAtEveryPlaceOfNamesOfEveryLength) {
  testing::SearchFixture f;
  Model model;
  const RecordRef root = f.root('C');
  model.addRoot(root, 'C');
  for (const Units& lead : {Units(), Units(u"文")}) {
    for (size_t length = 1; length <= 70; ++length) {
      for (size_t at = 0; at + 1 < length; ++at) {
        for (const size_t gap : {1, 2}) {
          if (at + gap >= length) continue;
          Units name = lead + Units(length, u'a');
          name[lead.size() + at] = u'Q';
          name[lead.size() + at + gap] = u'Z';
          model.addFile(f.addFile(root, Utf16ToUtf8(name)), root, name);
        }
      }
    }
  }
  f.finish();
  const std::vector<RecordRef> dirOrder = f.t.dirsInOrder();
  const std::vector<RecordRef> fileOrder = f.t.filesInOrder();
  for (const bool caseSensitive : {false, true}) {
    for (const char16_t* text :
         {u"qz", u"Qz", u"QZ", u"q", u"z", u"Z", u"aq", u"za", u"QZa", u"aaaaaaQZ"}) {
      Request r;
      r.name = text;
      r.caseSensitive = caseSensitive;
      r.scope.volumes = {VolumeScope::kWhole};
      f.ui.caseSensitive = caseSensitive;
      f.ui.optionsChanged = true;
      RunSearch(f.context, {text, u""});
      EXPECT_TRUE(ResultsOf(f.state) == model.search(r, dirOrder, fileOrder))
          << Utf16ToUtf8(text) << (caseSensitive ? ", case-sensitive" : "");
    }
  }
}

}  // namespace
}  // namespace vessiko
