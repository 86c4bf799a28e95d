// A raw NTFS volume, opened for reading and writing: the file-system control codes with the
// platform's byte layouts in and out (see ntfs_layout.h), and raw cluster reads. On Windows a
// pass-through to DeviceIoControl, SetFilePointerEx and ReadFile; in tests the simulated
// machine, on Linux a mirrored directory tree. Calls on one Volume may come from several
// threads but never overlap for one buffer; implementations must be safe for concurrent calls,
// which run one at a time as on a synchronous Windows handle: a call that waits holds up every
// other call on the same Volume.
#pragma once

#include <cstdint>
#include <memory>

namespace vessiko {

// A page: aligned to every sector size a disk has.
constexpr uint32_t kRawReadAlignment = 4096;

class Volume {
 public:
  virtual ~Volume() = default;
  // DeviceIoControl. True on success with *returned bytes written to out; false with the
  // system error code in *error (*returned may still tell how much was written).
  virtual bool control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* returned, uint32_t* error) = 0;
  // SetFilePointerEx from the beginning to offset, then ReadFile of size bytes. The read is
  // unbuffered: offset, size and buffer must be sector-aligned (kRawReadAlignment aligns a
  // buffer for every sector size), or it fails with ERROR_INVALID_PARAMETER.
  virtual bool readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
                      uint32_t* error) = 0;
  // Another handle on the same volume, for a call that may wait long without holding up the
  // calls on this one. Null when the volume cannot be opened again.
  virtual std::unique_ptr<Volume> reopen() = 0;
};

}  // namespace vessiko
