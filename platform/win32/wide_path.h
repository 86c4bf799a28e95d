// UTF-8 texts become UTF-16 only at the Win32 call.
#pragma once

#include <string>
#include <string_view>

#include "platform/utf.h"

namespace vessiko {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 texts pass to the W calls as they are");

// A NUL-terminated UTF-16 text as the W calls take it, without a copy.
inline const wchar_t* wideText(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

// The UTF-16 text as the W calls take it.
inline std::wstring toWide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

// The W calls' text as the engine keeps it.
inline std::u16string fromWide(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

inline std::wstring widen(std::string_view utf8) {
  return toWide(utf8ToUtf16(utf8));
}

inline std::string narrow(std::wstring_view wide) {
  return utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace vessiko
