// Text for the terminal, measured in display columns: CJK characters take two, combining
// marks none. Bytes that are not UTF-8 show as U+FFFD, control characters as '?', so a file
// name can never move the cursor.
#pragma once

#include <string>
#include <string_view>

namespace vessiko {

// Appends the longest start of `text` that fits in `width` columns to *out; returns the
// columns it takes.
int AppendFitting(std::string_view text, int width, std::string* out);
// The columns the whole text takes.
int DisplayWidth(std::string_view text);

}  // namespace vessiko
