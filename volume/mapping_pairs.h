// The mapping pairs of a non-resident attribute: where its clusters lie. Each pair is a header
// byte (low nibble: bytes of the run's length; high nibble: bytes of its start, relative to the
// previous run's start and signed, none for a sparse run), then those bytes little-endian; a
// header byte of 0 ends them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vessiko {

struct ClusterRun {
  static constexpr int64_t kSparse = -1;

  uint64_t vcn;     // the run's first cluster within the attribute
  int64_t lcn;      // its first cluster on the volume, or kSparse
  uint64_t length;  // clusters
};

// Appends the runs the pairs give, starting at firstVcn, to *runs. False, with *runs as it was,
// when a pair runs past the bytes or no end marker comes, a length is 0, a run with clusters
// does not lie within the volume's totalClusters, or the counts overflow.
bool DecodeMappingPairs(std::span<const uint8_t> pairs, uint64_t firstVcn, uint64_t totalClusters,
                        std::vector<ClusterRun>* runs);

}  // namespace vessiko
