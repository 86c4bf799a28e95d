// Reading a volume's change journal from the slot's next USN and applying what it holds, one
// batch of at most 4096 bytes at a time; the slot's next USN then names the first change not
// yet applied. Shared by the journal monitors and the catch-up at start-up.
#pragma once

#include <cstdint>
#include <mutex>

#include "volume/change_application.h"
#include "volume/volume_slot.h"

namespace vessiko {

// Changes the index follows: creations, deletions and renames.
constexpr uint32_t kJournalReasonMask = 0x3300;
constexpr uint32_t kJournalBatchBytes = 4096;

class JournalReader {
 public:
  enum class Result { kApplied, kNothingNew, kFailed };

  JournalReader(uint32_t volume, VolumeSlot& slot) : volume_(volume), slot_(slot) { restart(); }

  // Builds the request anew from the slot's journal identifier and next USN.
  void restart();
  // Reads one batch; applies it holding indexLock when one is given; on failure *error holds
  // the system code.
  Result readBatch(ChangeContext& context, std::mutex* indexLock, uint32_t* error);

 private:
  uint32_t volume_;
  VolumeSlot& slot_;
  uint8_t request_[40];
  uint8_t buffer_[kJournalBatchBytes];
};

// The two error boxes of a failed read: "%c 线程 FSCTL_READ_USN_JOURNAL 错误%d", then the name of
// the error.
void reportJournalReadFailure(UserMessages& messages, uint32_t volume, uint32_t error);

}  // namespace vessiko
