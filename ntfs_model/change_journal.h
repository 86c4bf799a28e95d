// A volume's change journal through its whole life, and the journal control codes answered
// from it: FSCTL_QUERY_USN_JOURNAL, FSCTL_READ_USN_JOURNAL, FSCTL_CREATE_USN_JOURNAL and
// FSCTL_DELETE_USN_JOURNAL, with the errors Windows gives. A journal is made, resized, deleted
// and made again: a new one takes the next identifier and goes on from the USN where the last
// one ended. While a deletion is in progress the journal is "being deleted": reads, queries and
// creations fail with ERROR_JOURNAL_DELETE_IN_PROGRESS and nothing is journaled; as it begins,
// every file of the volume forgets its last USN.
//
// Where Microsoft's documentation is silent: a read with BytesToWaitFor waits until that many
// bytes of records follow StartUsn, for at most Timeout seconds (0: until they come); a deletion
// lasts until a call with NOTIFY ends it, or until finishDeletion() alone when it is slow (as on
// a large volume), a call with NOTIFY then waiting for it.
//
// Thread safety: the volume that owns it guards it with one lock, held for every call; the calls
// that only read (state, query, read) may run together under a lock held shared. The two calls
// that may wait are handed that lock and release it while they wait; appends and the end of a
// deletion wake them.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <optional>

#include "ntfs_model/usn_journal.h"

namespace vessiko {

struct ChangeJournalState {
  bool active = false;
  bool deleting = false;
  uint64_t id = 0;
  int64_t firstUsn = 0;
  int64_t nextUsn = 0;
  uint64_t maximumSize = 0;
  uint64_t allocationDelta = 0;
};

class ChangeJournal {
 public:
  // No journal yet: the first one made gets the identifier idBase and starts at startUsn.
  // forgetUsns: makes every file of the volume forget its last USN, called under the owner's
  // lock when a deletion begins.
  ChangeJournal(uint64_t idBase, int64_t startUsn, std::function<void()> forgetUsns);

  ChangeJournalState state() const;
  // Appends a record when there is a journal not being deleted: the record's USN, else none.
  std::optional<int64_t> append(const UsnRecordFields& fields);

  // New sizes for the journal there is, or a new empty one starting at `startUsn` (unset: where
  // the last one ended). False while a deletion is in progress.
  bool create(uint64_t maximumSize, uint64_t allocationDelta,
              std::optional<int64_t> startUsn = std::nullopt);
  // False when there is no journal or it is being deleted already.
  bool beginDeletion(bool slow);
  void finishDeletion();

  // The control codes: 0, or the error to fail with.
  uint32_t query(uint8_t* out, uint32_t outSize, uint32_t* returned) const;
  template <class Lock>
  uint32_t read(Lock& lock, const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                uint32_t* returned);
  uint32_t createControl(const uint8_t* in, uint32_t inSize);
  template <class Lock>
  uint32_t deleteControl(Lock& lock, const uint8_t* in, uint32_t inSize);

 private:
  struct ReadRequest {
    int64_t start = 0;
    uint32_t reasonMask = 0;
    bool onlyOnClose = false;
    uint64_t timeout = 0;
    uint64_t bytesToWaitFor = 0;
    uint64_t id = 0;
  };
  // Keeps the deadline arithmetic of a wait in range.
  static constexpr uint64_t kLongestWaitSeconds = 86400;

  uint32_t parseRead(const uint8_t* in, uint32_t inSize, uint32_t outSize,
                     ReadRequest* request) const;
  uint32_t checkRead(const ReadRequest& request) const;
  bool waitIsOver(const ReadRequest& request) const;
  uint32_t finishRead(const ReadRequest& request, uint8_t* out, uint32_t outSize,
                      uint32_t* returned) const;
  // DELETE and NOTIFY of a DELETE_USN_JOURNAL_DATA; with DELETE, the deletion begun.
  uint32_t startDeletion(const uint8_t* in, uint32_t inSize, bool* notify);

  uint64_t idBase_;
  std::function<void()> forgetUsns_;
  std::optional<UsnJournal> journal_;
  bool deleting_ = false;
  bool slowDeletion_ = false;
  uint64_t journalsMade_ = 0;
  int64_t nextStart_;
  std::condition_variable_any grew_;
  std::condition_variable_any deleted_;
};

template <class Lock>
uint32_t ChangeJournal::read(Lock& lock, const uint8_t* in, uint32_t inSize, uint8_t* out,
                             uint32_t outSize, uint32_t* returned) {
  ReadRequest request;
  if (uint32_t failure = parseRead(in, inSize, outSize, &request)) return failure;
  if (request.bytesToWaitFor > 0) {
    const auto over = [&] { return waitIsOver(request); };
    if (request.timeout == 0) {
      grew_.wait(lock, over);
    } else {
      grew_.wait_for(lock, std::chrono::seconds(std::min(request.timeout, kLongestWaitSeconds)),
                     over);
    }
    if (uint32_t failure = checkRead(request)) return failure;
  }
  return finishRead(request, out, outSize, returned);
}

template <class Lock>
uint32_t ChangeJournal::deleteControl(Lock& lock, const uint8_t* in, uint32_t inSize) {
  bool notify = false;
  if (uint32_t failure = startDeletion(in, inSize, &notify)) return failure;
  // NOTIFY returns once the deletion is over; one that is not slow ends at once.
  if (notify) {
    if (slowDeletion_) {
      deleted_.wait(lock, [this] { return !deleting_; });
    } else {
      finishDeletion();
    }
  }
  return 0;
}

}  // namespace vessiko
