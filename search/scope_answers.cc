#include "search/scope_answers.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace vessiko {

static_assert(DirEntry::kHeaderBytes > 8, "two directory records never start 8 bytes apart");

void ScopeAnswers::prepare(const Index& index, const RecordRef* dirs, const uint32_t* flags,
                           int32_t n) {
  std::vector<RecordRef> subtrees;
  std::vector<RecordRef> direct;
  for (int32_t i = 0; i < n; ++i)
    (flags[i] != 0 ? subtrees : direct).push_back(dirs[i]);
  std::sort(subtrees.begin(), subtrees.end());
  std::sort(direct.begin(), direct.end());
  const uint64_t slots = index.dirArena.bytesReserved() / 8;
  // The answers hold while the folders and their links stay as they are: every change of a
  // folder's place or link changes the directory list.
  if (index_ == &index && version_ == index.dirs.version() && subtrees == subtrees_ &&
      direct == direct_ && bits_.size() == (slots + 3) / 4) {
    return;
  }
  index_ = &index;
  version_ = index.dirs.version();
  subtrees_ = std::move(subtrees);
  direct_ = std::move(direct);
  bits_.assign((slots + 3) / 4, 0);
}

// A load and a store, not a locked or: when two lanes write one byte at once, one of the four
// folders it holds may lose its answer, and is walked again when next asked; none can get a
// wrong one.
void ScopeAnswers::record(RecordRef dir, uint8_t bits) const {
  const uint32_t slot = slotOf(dir);
  std::atomic_ref<uint8_t> byte(bits_[slot / 4]);
  byte.store(static_cast<uint8_t>(byte.load(std::memory_order_relaxed) | bits << (slot % 4 * 2)),
             std::memory_order_relaxed);
}

bool ScopeAnswers::isSubtree(RecordRef dir) const {
  return std::binary_search(subtrees_.begin(), subtrees_.end(), dir);
}

bool ScopeAnswers::isDirect(RecordRef parent) const {
  return std::binary_search(direct_.begin(), direct_.end(), parent);
}

void ScopeAnswers::recordUpTo(RecordRef from, RecordRef stop, bool below) const {
  const uint8_t bits = below ? kAnswered | kBelow : kAnswered;
  for (RecordRef at = from; at != stop; at = index_->dir(at).parentLink())
    record(at, bits);
}

// One step up: the folder at q.at tells the answer when it was answered before, when it is
// chosen with its subfolders, or when the walk has passed a root; else the walk moves to its
// parent, asking the memory for it now and reading it at the next step.
void ScopeAnswers::step(Queue::Question& q) const {
  if (q.answer != Queue::kOpen) return;
  bool answered = false;
  bool answer = false;
  if (subtrees_.empty() || q.at == kNoRecord) {
    answered = true;
  } else if (const uint8_t bits = bitsOf(q.at); (bits & kAnswered) != 0) {
    answered = true;
    answer = (bits & kBelow) != 0;
  } else if (isSubtree(q.at)) {
    answered = true;
    answer = true;
    record(q.at, kAnswered | kBelow);
  } else if (q.depth == kMaxDirectoryDepth) {
    // A chain longer than any tree can be (a loop in damaged links): no, and nothing recorded.
    q.answer = !direct_.empty() && isDirect(q.parent) ? 1 : 0;
    return;
  }
  if (!answered) {
    q.at = index_->dir(q.at).parentLink();
    ++q.depth;
    prefetch(q.at);
    return;
  }
  // The folders walked are in the caches now.
  if (!subtrees_.empty()) recordUpTo(q.parent, q.at, answer);
  q.answer = answer || (!direct_.empty() && isDirect(q.parent)) ? 1 : 0;
}

}  // namespace vessiko
