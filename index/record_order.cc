#include "index/record_order.h"

namespace vessiko {

int compareDirEntries(const Collation& collation, DirEntry x, DirEntry y) {
  return collation.compareNames(x.name(), x.name() + x.nameLength(), y.name(),
                                y.name() + y.nameLength());
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
  if (xExtension == yExtension) return 0;
  if (xExtension < 0) return 1;
  if (yExtension < 0) return -1;
  return extensions.compareTexts(xExtension, yExtension);
}

}  // namespace vessiko
