// The memory the index lives in. On Windows a private heap (HeapCreate), so that the millions of
// small blocks of the index never mix with the general allocator; on Linux the malloc family.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vessiko {

class Heap {
 public:
  virtual ~Heap() = default;
  // Null on failure; lastError() then tells why.
  virtual void* allocate(size_t bytes, bool zeroed) = 0;
  // Moves the block to one of the new size, keeping the smaller of the two sizes' bytes.
  // Null on failure, the old block then left as it was.
  virtual void* reallocate(void* block, size_t bytes) = 0;
  virtual void release(void* block) = 0;
  // The system error code of the calling thread's last failure.
  virtual uint32_t lastError() const = 0;
};

// A new private heap, or null with the system error code when the system refuses one.
std::unique_ptr<Heap> CreateSystemHeap(uint32_t* error);

// The process's own heap, which always exists.
Heap& ProcessHeap();

}  // namespace vessiko
