// File names as the Linux kernel keeps them (bytes, UTF-8 by convention but not by rule) and as
// the index keeps them (UTF-16), converted losslessly both ways.
//
// Valid UTF-8 becomes the same characters. Each byte that is not part of a valid sequence
// becomes the unit U+DC80 + (byte - 0x80), a lone low surrogate: no valid UTF-8 decodes to one,
// so encoding turns exactly those units back into their bytes, and every name round-trips byte
// for byte. Searching sees such a byte as a character of its own that no typed text matches.
#pragma once

#include <string>
#include <string_view>

namespace vessiko {

// Replaces *out with the UTF-16 form of the name's bytes.
void DecodeFileName(std::string_view bytes, std::u16string* out);

// Appends the bytes of a UTF-16 name to *out. Lone surrogates other than the escaped bytes
// (which DecodeFileName never makes) become U+FFFD.
void AppendFileNameBytes(std::u16string_view name, std::string* out);

// The length of the valid UTF-8 sequence at text[i] with its code point in *cp; 0 when the
// byte there starts none.
int ValidUtf8Sequence(std::string_view text, size_t i, char32_t* cp);

// Appends the UTF-8 form for showing a name: escaped bytes show as U+FFFD.
void AppendDisplayText(std::u16string_view name, std::string* out);

}  // namespace vessiko
