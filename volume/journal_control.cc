#include "volume/journal_control.h"

#include <chrono>
#include <future>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

bool QueryJournal(Volume& volume, JournalState* state, uint32_t* error) {
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
  state->id = LoadU64(out + q::kUsnJournalId);
  state->firstUsn = LoadI64(out + q::kFirstUsn);
  state->nextUsn = LoadI64(out + q::kNextUsn);
  return true;
}

bool CreateJournal(Volume& volume, uint64_t maximumSize, uint64_t allocationDelta) {
  namespace c = ntfs::create_usn_journal_data;
  uint8_t in[c::kSize];
  StoreU64(in + c::kMaximumSize, maximumSize);
  StoreU64(in + c::kAllocationDelta, allocationDelta);
  uint32_t returned = 0;
  uint32_t error = 0;
  return volume.control(ntfs::kCreateUsnJournal, in, sizeof in, nullptr, 0, &returned, &error);
}

namespace {

bool NotifyOnDeletion(Volume& volume) {
  namespace d = ntfs::delete_usn_journal_data;
  uint8_t in[d::kSize] = {};
  StoreU32(in + d::kDeleteFlags, d::kFlagNotify);  // the identifier does not matter with it
  uint32_t returned = 0;
  uint32_t error = 0;
  return volume.control(ntfs::kDeleteUsnJournal, in, sizeof in, nullptr, 0, &returned, &error);
}

}  // namespace

bool WaitForJournalDeletion(Volume& volume, const std::atomic<bool>* cancel) {
  // The wait can last minutes; on the shared handle it would hold up the record reads of the
  // list view, so it gets a handle of its own when the volume opens again.
  std::unique_ptr<Volume> own = volume.reopen();
  if (own == nullptr) return NotifyOnDeletion(volume);
  if (cancel == nullptr) return NotifyOnDeletion(*own);
  // The waiting thread owns its handle and its promise: it may outlive this call.
  auto ended = std::make_shared<std::promise<bool>>();
  std::future<bool> result = ended->get_future();
  try {
    std::thread([waiting = std::move(own), ended] {
      ended->set_value(NotifyOnDeletion(*waiting));
    }).detach();
  } catch (const std::system_error&) {
    return NotifyOnDeletion(volume);  // no thread to spare: the wait holds up this handle
  }
  constexpr auto kCancelCheck = std::chrono::milliseconds(50);
  while (result.wait_for(kCancelCheck) == std::future_status::timeout) {
    if (cancel->load()) return false;
  }
  return result.get();
}

bool RecreateJournal(Volume& volume, JournalState* state, const std::atomic<bool>* cancel) {
  *state = {};
  if (!WaitForJournalDeletion(volume, cancel) && cancel != nullptr && cancel->load()) return false;
  CreateJournal(volume, kRecreatedJournalSize, kRecreatedJournalDelta);
  uint32_t error = 0;
  QueryJournal(volume, state, &error);
  return true;
}

bool PrepareJournal(Volume& volume, JournalState* state, const std::atomic<bool>* cancel) {
  uint32_t error = 0;
  if (QueryJournal(volume, state, &error)) return true;
  if (error == ntfs::kErrorJournalDeleteInProgress) {
    RecreateJournal(volume, state, cancel);
  } else if (error == ntfs::kErrorJournalNotActive) {
    const bool created = CreateJournal(volume, kNewJournalSize, kNewJournalDelta);
    if (!QueryJournal(volume, state, &error) && !created) {
      return error != ntfs::kErrorJournalNotActive;
    }
  }
  return true;
}

}  // namespace vessiko
