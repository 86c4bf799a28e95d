// Little-endian writing into a growing byte buffer and bounded reading out of a byte range, for
// the database files. A reader never reads past its range: a read that does not fit fails and
// leaves the reader failed, so a parser checks once, after a group of reads.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/little_endian.h"

namespace vessiko {

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  void u8(uint8_t v) { out_.push_back(v); }
  void u16(uint16_t v) { append(&v, 2); }
  void u32(uint32_t v) { append(&v, 4); }
  void u64(uint64_t v) { append(&v, 8); }
  void bytes(const void* data, size_t n) { append(data, n); }
  // The low three bytes of v.
  void u24(uint32_t v) { append(&v, 3); }
  void patchU32(size_t at, uint32_t v) { storeU32(out_.data() + at, v); }
  size_t size() const { return out_.size(); }

 private:
  void append(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), p, p + n);
  }

  std::vector<uint8_t>& out_;
};

class ByteReader {
 public:
  ByteReader(const uint8_t* begin, const uint8_t* end) : p_(begin), end_(end) {}

  bool ok() const { return ok_; }
  size_t left() const { return static_cast<size_t>(end_ - p_); }
  const uint8_t* position() const { return p_; }

  uint8_t u8() { return fits(1) ? *p_++ : 0; }
  uint16_t u16() { return fits(2) ? advance(loadU16(p_), 2) : 0; }
  uint32_t u24() {
    return fits(3) ? advance(static_cast<uint32_t>(p_[0] | p_[1] << 8 | p_[2] << 16), 3) : 0;
  }
  uint32_t u32() { return fits(4) ? advance(loadU32(p_), 4) : 0; }
  uint64_t u64() { return fits(8) ? advance(loadU64(p_), 8) : 0; }
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
