// A raw NTFS volume, opened for reading and writing: the file-system control codes with the
// platform's byte layouts in and out (see ntfs_layout.h), and raw cluster reads. On Windows a
// pass-through to DeviceIoControl, SetFilePointerEx and ReadFile; in tests and on Linux the
// simulated machine. Calls on one Volume may come from several threads but never overlap for
// one buffer; implementations must be safe for concurrent calls.
#pragma once

#include <cstdint>

namespace vessiko {

class Volume {
 public:
  virtual ~Volume() = default;
  // DeviceIoControl. True on success with *returned bytes written to out; false with the
  // system error code in *error (*returned may still tell how much was written).
  virtual bool control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* returned, uint32_t* error) = 0;
  // SetFilePointerEx from the beginning to offset, then ReadFile of size bytes.
  virtual bool readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
                      uint32_t* error) = 0;
};

}  // namespace vessiko
