#include "volume/journal_reader.h"

#include <algorithm>

#include "index/packed_name.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "volume/usn_record.h"

namespace vessiko {

namespace r = ntfs::read_usn_journal_data;

void JournalReader::restart() {
  StoreU64(request_ + r::kStartUsn, static_cast<uint64_t>(slot_.nextUsn));
  StoreU32(request_ + r::kReasonMask, kJournalReasonMask);
  StoreU32(request_ + r::kReturnOnlyOnClose, 0);
  StoreU64(request_ + r::kTimeout, 0);
  StoreU64(request_ + r::kBytesToWaitFor, 0);  // return at once, with or without records
  StoreU64(request_ + r::kUsnJournalId, slot_.journalId);
}

JournalReader::Result JournalReader::readBatch(ChangeContext& context, Mutex* indexLock,
                                               uint32_t* error) {
  uint32_t returned = 0;
  if (!slot_.volume->control(ntfs::kReadUsnJournal, request_, r::kSize, buffer_, sizeof buffer_,
                             &returned, error)) {
    return Result::kFailed;
  }
  if (returned <= 8) return Result::kNothingNew;
  std::unique_lock<Mutex> lock;
  if (indexLock != nullptr) lock = std::unique_lock(*indexLock);
  context.slot = &slot_;
  context.deferSettling = true;
  context.replayingBuild = seen_ != nullptr;
  context.pending.swap(slot_.pendingRenames);
  char16_t name[kMaxNameUnits + 1];
  ForEachUsnRecord(buffer_, returned, [&](const UsnRecord& record) {
    if (seen(record.recordNumber(), record.usn)) return;
    CopyUsnName(record, name);
    ApplyChange(context, {volume_, record.attributes, record.reason, record.fileReference,
                          record.parentReference, name, record.nameLength});
  });
  if (indexLock != nullptr) SettleRenamedDirectories(context);
  const int64_t next = LoadI64(buffer_);
  slot_.nextUsn = next;
  context.pending.swap(slot_.pendingRenames);
  StoreU64(request_ + r::kStartUsn, static_cast<uint64_t>(next));
  return Result::kApplied;
}

bool JournalReader::seen(uint64_t recordNumber, int64_t usn) const {
  if (seen_ == nullptr) return false;
  const auto it = std::lower_bound(seen_->begin(), seen_->end(), recordNumber,
                                   [](const std::pair<uint64_t, int64_t>& entry, uint64_t number) {
                                     return entry.first < number;
                                   });
  return it != seen_->end() && it->first == recordNumber && usn <= it->second;
}

uint32_t DrainJournal(uint32_t volume, VolumeSlot& slot, Index& index, UserMessages& messages,
                      ChangeListener* listener, const std::atomic<bool>* cancel,
                      const JournalReader::SeenRecords* seen) {
  ChangeContext context{index, messages, listener};
  JournalReader reader(volume, slot);
  reader.skipSeen(seen);
  uint32_t failure = 0;
  while (cancel == nullptr || !*cancel) {
    uint32_t error = 0;
    const JournalReader::Result result = reader.readBatch(context, nullptr, &error);
    if (result == JournalReader::Result::kNothingNew) break;
    if (result == JournalReader::Result::kFailed) {
      ReportJournalReadFailure(messages, volume, error);
      failure = error;
      break;
    }
  }
  SettleRenamedDirectories(context);
  return failure;
}

void ReportJournalReadFailure(UserMessages& messages, uint32_t volume, uint32_t error) {
  ShowError(messages, "%c 线程 FSCTL_READ_USN_JOURNAL 错误%d", static_cast<char>('A' + volume),
            static_cast<int>(error));
  const char* name = "ERROR_UNKNOWN";
  switch (error) {
    case ntfs::kErrorInvalidFunction:
      name = "ERROR_INVALID_FUNCTION";
      break;
    case ntfs::kErrorInvalidParameter:
      name = "ERROR_INVALID_PARAMETER";
      break;
    case ntfs::kErrorJournalDeleteInProgress:
      name = "ERROR_JOURNAL_DELETE_IN_PROGRESS";
      break;
    case ntfs::kErrorJournalNotActive:
      name = "ERROR_JOURNAL_NOT_ACTIVE";
      break;
    case ntfs::kErrorJournalEntryDeleted:
      name = "ERROR_JOURNAL_ENTRY_DELETED";
      break;
    default:
      break;
  }
  ShowError(messages, "%s", name);
}

}  // namespace vessiko
