// UTF-8 texts become UTF-16 only at the Win32 call.
#pragma once

#include <string>
#include <string_view>

#include "platform/utf.h"

namespace vessiko {

inline std::wstring widen(std::string_view utf8) {
  const std::u16string u16 = utf8ToUtf16(utf8);
  return std::wstring(u16.begin(), u16.end());
}

inline std::string narrow(std::wstring_view wide) {
  return utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace vessiko
