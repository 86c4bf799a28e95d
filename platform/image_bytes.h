// ImageBytes: the bytes of an NTFS volume, wherever they lie (an image file, a block device, a
// buffer in tests), read by offset. Reads may come from several threads at once.
#pragma once

#include <cstdint>

namespace vessiko {

class ImageBytes {
 public:
  virtual ~ImageBytes() = default;
  // Exactly size bytes from offset into out; false when they cannot all be read.
  virtual bool read(uint64_t offset, void* out, uint32_t size) = 0;
  virtual uint64_t size() const = 0;
  // A hint that [offset, offset + size) will be read soon, so that it may be read ahead while the
  // caller works on what it has.
  virtual void prefetch(uint64_t offset, uint64_t size) {
    static_cast<void>(offset);
    static_cast<void>(size);
  }
};

}  // namespace vessiko
