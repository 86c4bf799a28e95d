// ImageJournal: the change journal of an NTFS volume read in place, as Windows left it in
// $Extend\$UsnJrnl: $Max gives its identifier, sizes and lowest valid USN, and $J its records,
// each at its USN as a byte offset, the part discarded sparse. It answers
// FSCTL_QUERY_USN_JOURNAL and FSCTL_READ_USN_JOURNAL as Windows does, except that a read never
// waits: nothing is journaled on a volume read in place. Records of version 3 are handed out as
// version 2, those of version 4 (ranges written) are passed over; a record that does not fit
// its own length, its page or its USN is damage and fails the read, so that nothing is applied
// from a journal that cannot be trusted. Nor is a journal trusted once another system had the
// volume read-write: its changes are in no journal.
#pragma once

#include <cstdint>
#include <vector>

#include "volume/mapping_pairs.h"

namespace vessiko {

class NtfsImageVolume;

class ImageJournal {
 public:
  // Looks the journal up in $Extend's index of names and reads its streams' layout; false when
  // the volume has none, one that cannot be read, or one another system may have outdated
  // (Windows did not have the volume read-write last).
  static bool Find(const NtfsImageVolume& volume, ImageJournal* journal);

  // The control codes: 0, or the error to fail with.
  uint32_t query(uint8_t* out, uint32_t outSize, uint32_t* returned) const;
  uint32_t read(const NtfsImageVolume& volume, const uint8_t* in, uint32_t inSize, uint8_t* out,
                uint32_t outSize, uint32_t* returned) const;

  int64_t firstUsn() const { return firstUsn_; }
  int64_t nextUsn() const { return nextUsn_; }

 private:
  uint64_t id_ = 0;
  uint64_t maximumSize_ = 0;
  uint64_t allocationDelta_ = 0;
  int64_t lowestValidUsn_ = 0;
  int64_t firstUsn_ = 0;
  int64_t nextUsn_ = 0;
  std::vector<ClusterRun> runs_;  // of $J, by VCN
};

}  // namespace vessiko
