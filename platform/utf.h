// Conversions between UTF-8 (the system's texts and Linux file names) and UTF-16 (NTFS names
// and the wide Win32 calls).
#pragma once

#include <string>
#include <string_view>

namespace vessiko {

// Invalid UTF-8 bytes become U+FFFD, one per byte, so nothing is dropped silently.
std::u16string Utf8ToUtf16(std::string_view text);

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace vessiko
