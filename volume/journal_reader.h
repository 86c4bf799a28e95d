// Reading a volume's change journal from the slot's next USN and applying what it holds, one
// batch of at most 4096 bytes at a time; the slot's next USN then names the first change not
// yet applied. Shared by the journal monitors, the catch-up at start-up and the replay that
// follows a build.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/mutex.h"
#include "platform/ntfs_layout.h"
#include "volume/change_application.h"
#include "volume/volume_slot.h"

namespace vessiko {

// Changes the index follows: creations, deletions, renames and hard links.
constexpr uint32_t kJournalReasonMask = ntfs::kReasonFileCreate | ntfs::kReasonFileDelete |
                                        ntfs::kReasonRenameOldName | ntfs::kReasonRenameNewName |
                                        ntfs::kReasonHardLinkChange;
constexpr uint32_t kJournalBatchBytes = 4096;

class JournalReader {
 public:
  enum class Result { kApplied, kNothingNew, kFailed };

  JournalReader(uint32_t volume, VolumeSlot& slot) : volume_(volume), slot_(slot) { restart(); }

  // Builds the request anew from the slot's journal identifier and next USN.
  void restart();
  // Reads one batch; applies it holding indexLock when one is given; on failure *error holds
  // the system code. Renamed directories are settled before the lock is let go; without a lock
  // (no other thread reads the index) the caller settles once it has read everything.
  Result readBatch(ChangeContext& context, Mutex* indexLock, uint32_t* error);

  // Records an enumeration has seen already: (record number, the last USN it saw), in
  // ascending record-number order. A journal record of such a record number at or below that
  // USN is skipped: the enumeration read the file after that change.
  using SeenRecords = std::vector<std::pair<uint64_t, int64_t>>;
  void skipSeen(const SeenRecords* seen) { seen_ = seen; }

 private:
  bool seen(uint64_t recordNumber, int64_t usn) const;

  uint32_t volume_;
  VolumeSlot& slot_;
  const SeenRecords* seen_ = nullptr;
  uint8_t request_[40];
  uint8_t buffer_[kJournalBatchBytes];
};

// Applies everything the volume's journal holds beyond the slot's next USN, then settles the
// renamed directories, without the index lock: no other thread may use the index meanwhile. A
// failed read is reported and ends the volume's reading (its system code is returned, else 0);
// so does *cancel turning true.
uint32_t DrainJournal(uint32_t volume, VolumeSlot& slot, Index& index, UserMessages& messages,
                      ChangeListener* listener, const std::atomic<bool>* cancel,
                      const JournalReader::SeenRecords* seen = nullptr);

// The two error boxes of a failed read: "%c 线程 FSCTL_READ_USN_JOURNAL 错误%d", then the name of
// the error.
void ReportJournalReadFailure(UserMessages& messages, uint32_t volume, uint32_t error);

}  // namespace vessiko
