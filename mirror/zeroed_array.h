// ZeroedArray: a fixed-size array of value-initialised elements in memory taken straight from
// the kernel, its pages made present in one call (MAP_POPULATE) rather than by one page fault
// each as they are first touched. The tree's large blocks (its nodes, names and name table)
// are filled as soon as they are made, and a page fault costs far more than zeroing the page,
// most of all in a virtual machine.
//
// Thread safety: none; its owner guards it.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>

namespace vessiko {

// The memory: at least `bytes`, zeroed and present. Throws std::bad_alloc when it cannot be
// had.
void* MapPopulated(size_t bytes);
void Unmap(void* memory, size_t bytes);

template <class T>
class ZeroedArray {
 public:
  static_assert(std::is_trivially_destructible_v<T>);

  ZeroedArray() = default;
  explicit ZeroedArray(size_t count) : size_(count) {
    if (count == 0) return;
    data_ = static_cast<T*>(MapPopulated(count * sizeof(T)));
    std::uninitialized_value_construct_n(data_, count);
  }
  ~ZeroedArray() {
    if (data_ != nullptr) Unmap(data_, size_ * sizeof(T));
  }
  ZeroedArray(ZeroedArray&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  ZeroedArray& operator=(ZeroedArray&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }

  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace vessiko
