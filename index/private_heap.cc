#include "index/private_heap.h"

namespace vessiko {

PrivateHeap::PrivateHeap(UserMessages& messages) : messages_(messages) {
  uint32_t error = 0;
  owned_ = CreateSystemHeap(&error);
  if (owned_ == nullptr) {
    ShowError(messages_, "创建堆句柄失败:%d", static_cast<int>(error));
    heap_ = &ProcessHeap();
  } else {
    heap_ = owned_.get();
  }
}

PrivateHeap::PrivateHeap(UserMessages& messages, Heap& heap) : messages_(messages), heap_(&heap) {}

void* PrivateHeap::allocate(size_t bytes, bool zeroed) {
  void* block = heap_->allocate(bytes, zeroed);
  if (block == nullptr) reportFailure();
  return block;
}

void PrivateHeap::reportFailure() {
  ShowError(messages_, "申请内存失败:%d", static_cast<int>(heap_->lastError()));
}

void* PrivateHeap::allocateRaw(size_t bytes) {
  return heap_->allocate(bytes, false);
}

void* PrivateHeap::resize(void* block, size_t bytes) {
  return heap_->reallocate(block, bytes);
}

void PrivateHeap::free(void* block) {
  if (block != nullptr) heap_->release(block);
}

}  // namespace vessiko
