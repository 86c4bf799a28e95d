// Result rows as lines of eight tab-separated fields. Inside a field a tab, a line feed and a
// backslash are written as \t, \n and \\, so every row is one line and every field can be read
// back exactly.
#pragma once

#include <string>
#include <string_view>

#include "cli/row_cells.h"

namespace vessiko {

void AppendEscapedField(std::string_view field, std::string* out);
// The row's eight fields and a line feed.
void AppendRowLine(const RowCells& cells, std::string* out);

}  // namespace vessiko
