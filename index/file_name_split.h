// Splits a file name into base name and extension. The scan runs from the last unit towards the
// front to the first dot or space: a space, or a dot that is the first unit (".bashrc"), or
// none at all, means no extension; otherwise the extension is what follows that dot, possibly
// nothing ("notes."). So "a.tar gz" has none, "archive.tar.gz" has "gz".
#pragma once

#include <cstdint>

namespace vessiko {

struct NameSplit {
  uint32_t baseLength;  // units before the dot, or the whole name
  bool hasExtension;
  uint32_t extensionStart;  // first unit after the dot
  uint32_t extensionLength;
};

NameSplit SplitFileName(const char16_t* name, uint32_t length);

}  // namespace vessiko
