// PrivateHeap: where all index memory comes from. On Windows a heap of its own, so the index's
// blocks never mix with other allocations. allocate reports a failure to the user
// ("申请内存失败:%d"); allocateRaw and resize report nothing and leave that to the caller.
// Safe for all threads.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/heap.h"
#include "platform/user_messages.h"

namespace vessiko {

class PrivateHeap {
 public:
  // Creates the system's private heap; when that fails, says "创建堆句柄失败:%d" and goes on
  // with the process heap.
  explicit PrivateHeap(UserMessages& messages);
  // Uses the given heap (tests inject failures this way).
  PrivateHeap(UserMessages& messages, Heap& heap);
  PrivateHeap(const PrivateHeap&) = delete;
  PrivateHeap& operator=(const PrivateHeap&) = delete;

  void* allocate(size_t bytes, bool zeroed);
  void* allocateRaw(size_t bytes);
  // Null on failure, the old block then untouched.
  void* resize(void* block, size_t bytes);
  void free(void* block);
  // Says "申请内存失败:%d" for a failure of allocateRaw or resize that the caller cannot absorb.
  void reportFailure();

  template <typename T>
  T* allocateArray(size_t count, bool zeroed = false) {
    return static_cast<T*>(allocate(count * sizeof(T), zeroed));
  }

  UserMessages& messages() const { return messages_; }

 private:
  UserMessages& messages_;
  std::unique_ptr<Heap> owned_;
  Heap* heap_;
};

}  // namespace vessiko
