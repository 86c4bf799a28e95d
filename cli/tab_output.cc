#include "cli/tab_output.h"

namespace vessiko {

void AppendEscapedField(std::string_view field, std::string* out) {
  for (const char c : field) {
    switch (c) {
      case '\t':
        out->append("\\t");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\\':
        out->append("\\\\");
        break;
      default:
        out->push_back(c);
    }
  }
}

void AppendRowLine(const RowCells& cells, std::string* out) {
  const std::string_view fields[] = {cells.name,       cells.extension, cells.folder,
                                     cells.size,       cells.creation,  cells.lastChange,
                                     cells.lastAccess, cells.attributes};
  for (size_t i = 0; i < std::size(fields); ++i) {
    if (i > 0) out->push_back('\t');
    AppendEscapedField(fields[i], out);
  }
  out->push_back('\n');
}

}  // namespace vessiko
