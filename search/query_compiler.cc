#include "search/query_compiler.h"

namespace vessiko {

bool ParseExtensionList(char16_t* text, const ExtensionTable& extensions, int32_t* indexes,
                        int32_t capacity, int32_t* count) {
  *count = 0;
  bool words = false;
  uint32_t i = 0;
  for (;;) {
    while (text[i] == u' ')
      ++i;
    if (text[i] == 0) return words;
    const uint32_t start = i;
    while (text[i] != 0 && text[i] != u' ')
      ++i;
    words = true;
    const int32_t index = extensions.lookup(text + start, i - start);
    if (index < 0) continue;
    bool known = false;
    for (int32_t k = 0; k < *count; ++k)
      known |= indexes[k] == index;
    if (known) continue;
    indexes[(*count)++] = index;
    if (*count == capacity) return true;
  }
}

bool CompileNameQuery(char16_t* text, bool caseSensitive, NameQuery& query) {
  query.clear();
  bool words = false;
  uint32_t i = 0;
  for (;;) {
    while (text[i] == u' ')
      ++i;
    if (text[i] == 0) return words;
    const uint32_t start = i;
    uint32_t kind = kPlainWord;
    int32_t stars = 0;
    for (; text[i] != 0 && text[i] != u' '; ++i) {
      const char16_t c = text[i];
      if (c == u'?') {
        kind |= kQuestionWord;
      } else if (c == u'*') {
        kind |= kStarWord;
        ++stars;
      } else {
        if (c > 127) query.allAscii = 0;
        if (!caseSensitive && c >= u'A' && c <= u'Z') text[i] = static_cast<char16_t>(c + 32);
      }
    }
    if (!query.addWord(kind, static_cast<int32_t>(i - start), text + start, stars)) return false;
    words = true;
  }
}

}  // namespace vessiko
