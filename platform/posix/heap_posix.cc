#include <cerrno>
#include <cstdlib>

#include "platform/heap.h"

namespace vessiko {

namespace {

class MallocHeap final : public Heap {
 public:
  void* allocate(size_t bytes, bool zeroed) override {
    errno = 0;
    return zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
  }
  void* reallocate(void* block, size_t bytes) override {
    errno = 0;
    return std::realloc(block, bytes);
  }
  void release(void* block) override { std::free(block); }
  uint32_t lastError() const override { return static_cast<uint32_t>(errno); }
};

}  // namespace

std::unique_ptr<Heap> CreateSystemHeap(uint32_t* error) {
  *error = 0;
  return std::make_unique<MallocHeap>();
}

Heap& ProcessHeap() {
  static MallocHeap heap;
  return heap;
}

}  // namespace vessiko
