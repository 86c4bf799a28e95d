#include "cli/display_width.h"

#include <cwchar>

#include "mirror/file_name_bytes.h"
#include "platform/utf.h"

namespace vessiko {

namespace {

// The character at text[*i], moving *i past it, and the columns it takes.
char32_t NextCharacter(std::string_view text, size_t* i, int* columns) {
  char32_t cp = 0;
  const int n = ValidUtf8Sequence(text, *i, &cp);
  *i += n == 0 ? 1 : static_cast<size_t>(n);
  if (n == 0) cp = 0xFFFD;
  if (cp < 0x20 || cp == 0x7F) {
    *columns = 1;
    return U'?';
  }
  const int w = wcwidth(static_cast<wchar_t>(cp));
  *columns = w < 0 ? 1 : w;
  return cp;
}

}  // namespace

int AppendFitting(std::string_view text, int width, std::string* out) {
  int used = 0;
  size_t i = 0;
  while (i < text.size()) {
    size_t next = i;
    int columns = 0;
    const char32_t cp = NextCharacter(text, &next, &columns);
    if (used + columns > width) break;
    AppendUtf8(*out, cp);
    used += columns;
    i = next;
  }
  return used;
}

int DisplayWidth(std::string_view text) {
  int used = 0;
  size_t i = 0;
  while (i < text.size()) {
    int columns = 0;
    NextCharacter(text, &i, &columns);
    used += columns;
  }
  return used;
}

}  // namespace vessiko
