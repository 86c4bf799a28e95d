// A fixed number of values taken from the index's private heap, for the big buffers of the
// database files and of walks over the whole index, and freed with the array. A failed allocation tells nothing and leaves the
// array not ok(): a caller that takes several arrays checks them together and tells one failure
// (PrivateHeap::reportFailure, "申请内存失败:%d"). The values start undefined.
#pragma once

#include <cstddef>
#include <type_traits>

#include "index/private_heap.h"

namespace vessiko {

template <typename T>
class HeapArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  HeapArray(PrivateHeap& heap, size_t count)
      : heap_(heap),
        data_(count == 0 ? nullptr : static_cast<T*>(heap.allocateRaw(count * sizeof(T)))),
        size_(data_ == nullptr ? 0 : count),
        ok_(count == 0 || data_ != nullptr) {}
  ~HeapArray() { heap_.free(data_); }
  HeapArray(const HeapArray&) = delete;
  HeapArray& operator=(const HeapArray&) = delete;

  bool ok() const { return ok_; }
  size_t size() const { return size_; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }

 private:
  PrivateHeap& heap_;
  T* data_;
  size_t size_;
  bool ok_;
};

}  // namespace vessiko
