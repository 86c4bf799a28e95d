#include "index/record_order.h"

namespace vessiko {

namespace {

int CompareNumbers(uint32_t x, uint32_t y) {
  return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

int compareDirEntries(const Collation& collation, DirEntry x, DirEntry y) {
  const int r = collation.compareNames(x.name(), x.name() + x.nameLength(), y.name(),
                                       y.name() + y.nameLength());
  return r != 0 ? r : CompareNumbers(x.key(), y.key());
}

int compareFileEntries(const Collation& collation, const ExtensionTable& extensions, FileEntry x,
                       FileEntry y) {
  const uint8_t* xName;
  const uint8_t* yName;
  const uint32_t xLength = x.nameBytes(&xName);
  const uint32_t yLength = y.nameBytes(&yName);
  const int r = collation.compareNames(xName, xName + xLength, yName, yName + yLength);
  if (r != 0) return r;
  const int32_t xExtension = x.extensionIndex(xName + xLength);
  const int32_t yExtension = y.extensionIndex(yName + yLength);
  if (xExtension != yExtension) {
    if (xExtension < 0) return 1;
    if (yExtension < 0) return -1;
    const int texts = extensions.compareTexts(xExtension, yExtension);
    if (texts != 0) return texts;
  }
  return CompareNumbers(x.recordNumber(), y.recordNumber());
}

}  // namespace vessiko
