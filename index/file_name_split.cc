#include "index/file_name_split.h"

namespace vessiko {

NameSplit SplitFileName(const char16_t* name, uint32_t length) {
  int64_t pos = static_cast<int64_t>(length) - 1;
  while (pos >= 0 && name[pos] != u'.' && name[pos] != u' ')
    --pos;
  if (pos < 1 || name[pos] == u' ') return {length, false, length, 0};
  const auto dot = static_cast<uint32_t>(pos);
  return {dot, true, dot + 1, length - 1 - dot};
}

}  // namespace vessiko
