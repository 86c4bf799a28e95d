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

void ScopeAnswers::record(RecordRef dir, uint8_t bits) const {
  const uint32_t slot = slotOf(dir);
  std::atomic_ref<uint8_t>(bits_[slot / 4])
      .fetch_or(static_cast<uint8_t>(bits << (slot % 4 * 2)), std::memory_order_relaxed);
}

bool ScopeAnswers::isSubtree(RecordRef dir) const {
  return std::binary_search(subtrees_.begin(), subtrees_.end(), dir);
}

bool ScopeAnswers::isDirect(RecordRef parent) const {
  return std::binary_search(direct_.begin(), direct_.end(), parent);
}

bool ScopeAnswers::below(RecordRef parent) const {
  if (subtrees_.empty() || parent == kNoRecord) return false;
  const uint8_t known = bitsOf(parent);
  if ((known & kAnswered) != 0) return (known & kBelow) != 0;
  // Up to the first folder that tells: answered before, chosen, or past a root. A chain longer
  // than any tree can be (a loop in damaged links) answers no, and nothing is recorded.
  RecordRef stop = parent;
  bool answer = false;
  bool told = false;
  for (uint32_t depth = 0; depth <= kMaxDirectoryDepth; ++depth) {
    if (stop == kNoRecord) {
      told = true;
      break;
    }
    const uint8_t bits = bitsOf(stop);
    if ((bits & kAnswered) != 0) {
      answer = (bits & kBelow) != 0;
      told = true;
      break;
    }
    if (isSubtree(stop)) {
      answer = true;
      told = true;
      record(stop, kAnswered | kBelow);
      break;
    }
    stop = index_->dir(stop).parentLink();
  }
  if (!told) return false;
  const uint8_t bits = answer ? kAnswered | kBelow : kAnswered;
  for (RecordRef at = parent; at != stop; at = index_->dir(at).parentLink())
    record(at, bits);
  return answer;
}

}  // namespace vessiko
