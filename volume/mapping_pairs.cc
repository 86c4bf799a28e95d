#include "volume/mapping_pairs.h"

namespace vessiko {

namespace {

// n little-endian bytes, sign-extended from the last when `sign` is set.
uint64_t ReadNumber(const uint8_t* p, uint32_t n, bool sign) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < n; ++i)
    value |= uint64_t{p[i]} << (8 * i);
  if (sign && n > 0 && n < 8 && (p[n - 1] & 0x80) != 0) value |= ~uint64_t{0} << (8 * n);
  return value;
}

}  // namespace

bool DecodeMappingPairs(std::span<const uint8_t> pairs, uint64_t firstVcn, uint64_t totalClusters,
                        std::vector<ClusterRun>* runs) {
  const size_t kept = runs->size();
  const auto fail = [&] {
    runs->resize(kept);
    return false;
  };
  uint64_t vcn = firstVcn;
  int64_t lcn = 0;
  size_t at = 0;
  while (at < pairs.size() && pairs[at] != 0) {
    const uint32_t lengthBytes = pairs[at] & 0x0F;
    const uint32_t startBytes = pairs[at] >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || startBytes > 8 ||
        pairs.size() - at - 1 < size_t{lengthBytes} + startBytes) {
      return fail();
    }
    const uint8_t* p = pairs.data() + at + 1;
    const uint64_t length = ReadNumber(p, lengthBytes, false);
    // A sparse run (a hole) may be longer than the volume; one with clusters may not.
    if (length == 0 || vcn + length < vcn) return fail();
    int64_t start = ClusterRun::kSparse;
    if (startBytes > 0) {
      const auto delta = static_cast<int64_t>(ReadNumber(p + lengthBytes, startBytes, true));
      if (__builtin_add_overflow(lcn, delta, &lcn) || lcn < 0 ||
          static_cast<uint64_t>(lcn) >= totalClusters ||
          length > totalClusters - static_cast<uint64_t>(lcn)) {
        return fail();
      }
      start = lcn;
    }
    runs->push_back({vcn, start, length});
    vcn += length;
    at += 1 + lengthBytes + startBytes;
  }
  if (at >= pairs.size()) return fail();  // no end marker within the bytes
  return true;
}

}  // namespace vessiko
