// UTF-8 texts become UTF-16 only at the Win32 call.
#pragma once

#include <string>
#include <string_view>

#include "platform/utf.h"

namespace vessiko {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 texts pass to the W calls as they are");

// A NUL-terminated UTF-16 text as the W calls take it, without a copy.
inline const wchar_t* WideText(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

// The UTF-16 text as the W calls take it.
inline std::wstring ToWide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

// The W calls' text as the engine keeps it.
inline std::u16string FromWide(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

inline std::wstring Widen(std::string_view utf8) {
  return ToWide(Utf8ToUtf16(utf8));
}

inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace vessiko
