#include <windows.h>

#include "platform/heap.h"

namespace vessiko {

namespace {

class Win32Heap final : public Heap {
 public:
  Win32Heap(HANDLE heap, bool owned) : heap_(heap), owned_(owned) {}
  ~Win32Heap() override {
    if (owned_) HeapDestroy(heap_);
  }
  void* allocate(size_t bytes, bool zeroed) override {
    return noteFailure(HeapAlloc(heap_, zeroed ? HEAP_ZERO_MEMORY : 0, bytes));
  }
  void* reallocate(void* block, size_t bytes) override {
    if (block == nullptr) return noteFailure(HeapAlloc(heap_, 0, bytes));
    return noteFailure(HeapReAlloc(heap_, 0, block, bytes));
  }
  void release(void* block) override {
    if (block != nullptr) HeapFree(heap_, 0, block);
  }
  uint32_t lastError() const override { return GetLastError(); }

 private:
  // HeapAlloc and HeapReAlloc do not set the last error when they fail: without this,
  // lastError() would tell an earlier failure.
  static void* noteFailure(void* block) {
    if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
  }

  HANDLE heap_;
  bool owned_;
};

}  // namespace

std::unique_ptr<Heap> CreateSystemHeap(uint32_t* error) {
  HANDLE heap = HeapCreate(0, 0, 0);
  if (heap == nullptr) {
    *error = GetLastError();
    return nullptr;
  }
  *error = 0;
  return std::make_unique<Win32Heap>(heap, true);
}

Heap& ProcessHeap() {
  static Win32Heap heap(GetProcessHeap(), false);
  return heap;
}

}  // namespace vessiko
