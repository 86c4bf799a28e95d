#include "volume/journal_control.h"

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

bool queryJournal(Volume& volume, JournalState* state, uint32_t* error) {
  namespace q = ntfs::usn_journal_data;
  uint8_t out[q::kSize] = {};
  uint32_t returned = 0;
  *state = {};
  if (!volume.control(ntfs::kQueryUsnJournal, nullptr, 0, out, sizeof out, &returned, error)) {
    return false;
  }
  if (returned < q::kNextUsn + 8) {
    *error = ntfs::kErrorInvalidParameter;
    return false;
  }
  state->id = loadU64(out + q::kUsnJournalId);
  state->firstUsn = loadI64(out + q::kFirstUsn);
  state->nextUsn = loadI64(out + q::kNextUsn);
  return true;
}

bool createJournal(Volume& volume, uint64_t maximumSize, uint64_t allocationDelta) {
  namespace c = ntfs::create_usn_journal_data;
  uint8_t in[c::kSize];
  storeU64(in + c::kMaximumSize, maximumSize);
  storeU64(in + c::kAllocationDelta, allocationDelta);
  uint32_t returned = 0;
  uint32_t error = 0;
  return volume.control(ntfs::kCreateUsnJournal, in, sizeof in, nullptr, 0, &returned, &error);
}

bool waitForJournalDeletion(Volume& volume) {
  namespace d = ntfs::delete_usn_journal_data;
  uint8_t in[d::kSize] = {};
  storeU32(in + d::kDeleteFlags, d::kFlagNotify);  // the identifier does not matter with it
  uint32_t returned = 0;
  uint32_t error = 0;
  return volume.control(ntfs::kDeleteUsnJournal, in, sizeof in, nullptr, 0, &returned, &error);
}

void recreateJournal(Volume& volume, JournalState* state) {
  waitForJournalDeletion(volume);
  createJournal(volume, kRecreatedJournalSize, kRecreatedJournalDelta);
  uint32_t error = 0;
  queryJournal(volume, state, &error);
}

void prepareJournal(Volume& volume, JournalState* state) {
  uint32_t error = 0;
  if (queryJournal(volume, state, &error)) return;
  if (error == ntfs::kErrorJournalDeleteInProgress) {
    recreateJournal(volume, state);
  } else if (error == ntfs::kErrorJournalNotActive) {
    createJournal(volume, kNewJournalSize, kNewJournalDelta);
    queryJournal(volume, state, &error);
  }
}

}  // namespace vessiko
