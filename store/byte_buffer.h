// Little-endian writing into a growing byte buffer and bounded reading out of a byte range, for
// the database files. Neither fails in the middle of a group of writes or reads: a write that
// cannot grow the buffer, or a read that does not fit, leaves the writer or reader failed, so an
// encoder or a parser checks once, after a group.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "index/private_heap.h"
#include "platform/little_endian.h"

namespace vessiko {

// The buffer comes from a private heap, so that a file too big for the memory left is told
// ("申请内存失败:%d", once) instead of ending the program; once failed, writes are dropped.
class ByteWriter {
 public:
  explicit ByteWriter(PrivateHeap& heap) : heap_(heap) {}
  ~ByteWriter() { heap_.free(data_); }
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;

  // Room for `more` bytes at once, when their number is known or guessed.
  void reserve(size_t more) { fits(more); }
  void u8(uint8_t v) { append(&v, 1); }
  void u16(uint16_t v) { append(&v, 2); }
  void u32(uint32_t v) { append(&v, 4); }
  void u64(uint64_t v) { append(&v, 8); }
  void bytes(const void* data, size_t n) { append(data, n); }
  // The low three bytes of v.
  void u24(uint32_t v) { append(&v, 3); }
  void patchU32(size_t at, uint32_t v) {
    if (ok_) StoreU32(data_ + at, v);
  }
  size_t size() const { return size_; }
  bool ok() const { return ok_; }
  std::span<const uint8_t> written() const { return {data_, size_}; }

 private:
  // Values are appended as they lie in memory: the platforms are little-endian.
  void append(const void* data, size_t n) {
    if (!fits(n)) return;
    std::memcpy(data_ + size_, data, n);
    size_ += n;
  }
  bool fits(size_t n) {
    if (!ok_) return false;
    if (capacity_ - size_ >= n) return true;
    const size_t capacity = std::max({capacity_ * 2, size_ + n, size_t{64}});
    auto* grown = static_cast<uint8_t*>(heap_.resize(data_, capacity));
    if (grown == nullptr) {
      heap_.reportFailure();
      ok_ = false;
      return false;
    }
    data_ = grown;
    capacity_ = capacity;
    return true;
  }

  PrivateHeap& heap_;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool ok_ = true;
};

class ByteReader {
 public:
  ByteReader(const uint8_t* begin, const uint8_t* end) : p_(begin), end_(end) {}

  bool ok() const { return ok_; }
  size_t left() const { return static_cast<size_t>(end_ - p_); }
  const uint8_t* position() const { return p_; }

  uint8_t u8() { return fits(1) ? *p_++ : 0; }
  uint16_t u16() { return fits(2) ? advance(LoadU16(p_), 2) : 0; }
  uint32_t u24() {
    return fits(3) ? advance(static_cast<uint32_t>(p_[0] | p_[1] << 8 | p_[2] << 16), 3) : 0;
  }
  uint32_t u32() { return fits(4) ? advance(LoadU32(p_), 4) : 0; }
  uint64_t u64() { return fits(8) ? advance(LoadU64(p_), 8) : 0; }
  // n bytes in place; null when they do not fit.
  const uint8_t* bytes(size_t n) {
    if (!fits(n)) return nullptr;
    const uint8_t* at = p_;
    p_ += n;
    return at;
  }

 private:
  bool fits(size_t n) {
    if (ok_ && left() >= n) return true;
    ok_ = false;
    return false;
  }
  template <typename T>
  T advance(T value, size_t n) {
    p_ += n;
    return value;
  }

  const uint8_t* p_;
  const uint8_t* end_;
  bool ok_ = true;
};

}  // namespace vessiko
