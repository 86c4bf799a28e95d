#include "ntfs_model/change_journal.h"

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

ChangeJournal::ChangeJournal(uint64_t idBase, int64_t startUsn, std::function<void()> forgetUsns)
    : idBase_(idBase), forgetUsns_(std::move(forgetUsns)), nextStart_(startUsn) {}

ChangeJournalState ChangeJournal::state() const {
  ChangeJournalState state;
  if (!journal_) return state;
  state.active = true;
  state.deleting = deleting_;
  state.id = journal_->id();
  state.firstUsn = journal_->firstUsn();
  state.nextUsn = journal_->nextUsn();
  state.maximumSize = journal_->maximumSize();
  state.allocationDelta = journal_->allocationDelta();
  return state;
}

std::optional<int64_t> ChangeJournal::append(const UsnRecordFields& fields) {
  if (!journal_ || deleting_) return std::nullopt;
  const int64_t usn = journal_->append(fields);
  grew_.notify_all();
  return usn;
}

bool ChangeJournal::create(uint64_t maximumSize, uint64_t allocationDelta,
                           std::optional<int64_t> startUsn) {
  if (deleting_) return false;
  if (journal_) {
    journal_->resize(maximumSize, allocationDelta);
    return true;
  }
  journal_.emplace(idBase_ + journalsMade_++, maximumSize, allocationDelta,
                   startUsn.value_or(nextStart_));
  return true;
}

bool ChangeJournal::beginDeletion(bool slow) {
  if (!journal_ || deleting_) return false;
  deleting_ = true;
  slowDeletion_ = slow;
  if (forgetUsns_) forgetUsns_();
  grew_.notify_all();
  return true;
}

void ChangeJournal::finishDeletion() {
  if (!deleting_) return;
  nextStart_ = journal_->nextUsn();
  journal_.reset();
  deleting_ = false;
  slowDeletion_ = false;
  deleted_.notify_all();
}

uint32_t ChangeJournal::query(uint8_t* out, uint32_t outSize, uint32_t* returned) const {
  namespace jd = ntfs::usn_journal_data;
  if (!journal_) return ntfs::kErrorJournalNotActive;
  if (deleting_) return ntfs::kErrorJournalDeleteInProgress;
  if (outSize < jd::kSize) return ntfs::kErrorInsufficientBuffer;
  StoreU64(out + jd::kUsnJournalId, journal_->id());
  StoreU64(out + jd::kFirstUsn, static_cast<uint64_t>(journal_->firstUsn()));
  StoreU64(out + jd::kNextUsn, static_cast<uint64_t>(journal_->nextUsn()));
  StoreU64(out + jd::kLowestValidUsn, static_cast<uint64_t>(journal_->lowestValidUsn()));
  StoreU64(out + jd::kMaxUsn, static_cast<uint64_t>(kJournalMaxUsn));
  StoreU64(out + jd::kMaximumSize, journal_->maximumSize());
  StoreU64(out + jd::kAllocationDelta, journal_->allocationDelta());
  *returned = jd::kSize;
  return 0;
}

uint32_t ChangeJournal::parseRead(const uint8_t* in, uint32_t inSize, uint32_t outSize,
                                  ReadRequest* request) const {
  namespace rj = ntfs::read_usn_journal_data;
  if (inSize < rj::kSize) return ntfs::kErrorInvalidParameter;
  if (outSize < 8) return ntfs::kErrorInsufficientBuffer;
  request->start = LoadI64(in + rj::kStartUsn);
  request->reasonMask = LoadU32(in + rj::kReasonMask);
  request->onlyOnClose = LoadU32(in + rj::kReturnOnlyOnClose) != 0;
  request->timeout = LoadU64(in + rj::kTimeout);
  request->bytesToWaitFor = LoadU64(in + rj::kBytesToWaitFor);
  request->id = LoadU64(in + rj::kUsnJournalId);
  if (uint32_t failure = checkRead(*request)) return failure;
  // StartUsn 0 is the oldest record kept.
  if (request->start == 0) request->start = journal_->firstUsn();
  return 0;
}

uint32_t ChangeJournal::checkRead(const ReadRequest& request) const {
  if (!journal_) return ntfs::kErrorJournalNotActive;
  if (deleting_) return ntfs::kErrorJournalDeleteInProgress;
  if (request.id != journal_->id()) return ntfs::kErrorInvalidParameter;
  if (request.start != 0 && request.start < journal_->firstUsn()) {
    return ntfs::kErrorJournalEntryDeleted;
  }
  return 0;
}

bool ChangeJournal::waitIsOver(const ReadRequest& request) const {
  return !journal_ || deleting_ ||
         static_cast<uint64_t>(std::max<int64_t>(journal_->nextUsn() - request.start, 0)) >=
             request.bytesToWaitFor;
}

uint32_t ChangeJournal::finishRead(const ReadRequest& request, uint8_t* out, uint32_t outSize,
                                   uint32_t* returned) const {
  const UsnJournal::ReadResult result =
      journal_->read(request.start, request.reasonMask, request.onlyOnClose, out + 8, outSize - 8);
  if (result.tooSmall) return ntfs::kErrorInsufficientBuffer;
  StoreU64(out, static_cast<uint64_t>(result.resume));
  *returned = 8 + result.bytes;
  return 0;
}

uint32_t ChangeJournal::createControl(const uint8_t* in, uint32_t inSize) {
  namespace cj = ntfs::create_usn_journal_data;
  if (inSize < cj::kSize) return ntfs::kErrorInvalidParameter;
  if (!create(LoadU64(in + cj::kMaximumSize), LoadU64(in + cj::kAllocationDelta))) {
    return ntfs::kErrorJournalDeleteInProgress;
  }
  return 0;
}

uint32_t ChangeJournal::startDeletion(const uint8_t* in, uint32_t inSize, bool* notify) {
  namespace dj = ntfs::delete_usn_journal_data;
  if (inSize < dj::kSize) return ntfs::kErrorInvalidParameter;
  const uint32_t flags = LoadU32(in + dj::kDeleteFlags);
  if ((flags & (dj::kFlagDelete | dj::kFlagNotify)) == 0) return ntfs::kErrorInvalidParameter;
  if (flags & dj::kFlagDelete) {
    if (!journal_) return ntfs::kErrorJournalNotActive;
    if (deleting_) return ntfs::kErrorJournalDeleteInProgress;
    if (LoadU64(in + dj::kUsnJournalId) != journal_->id()) return ntfs::kErrorInvalidParameter;
    beginDeletion(false);
  }
  *notify = (flags & dj::kFlagNotify) != 0;
  return 0;
}

}  // namespace vessiko
