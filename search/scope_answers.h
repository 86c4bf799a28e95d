// ScopeAnswers: whether an entry whose parent is a given folder lies in the scope of one search,
// answered once per folder. The first question about a folder walks up its parents until it
// meets a folder answered before, a chosen folder or a root, and records the answer for every
// folder on the way; later questions about any of them cost one load. A walk per result would
// follow the same parent links again and again, through records scattered over the arena.
//
// The answers of one search are shared by the lanes of its scan: a folder's answer is a pure
// function of the tree, so lanes that answer the same folder at once record the same bits.
// They are kept for the next search in the same scope while no folder changes. The directory
// list must stay locked from prepare() to the last question.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "index/index.h"

namespace vessiko {

class ScopeAnswers {
 public:
  // The scope: dirs[i] with everything below it when flags[i] is set, with only what lies
  // directly in it otherwise.
  void prepare(const Index& index, const RecordRef* dirs, const uint32_t* flags, int32_t n);

  // One lane's questions, answered in the order asked. A folder answered for the first time
  // costs a walk up its parents, each a record somewhere in the arena, and even an answer given
  // before lies in a table the scan's stream of records keeps pushing out of the caches: the
  // queue asks the memory for what each question reads next and takes up to kInFlight walks a
  // step at a time, side by side, so that their reads overlap instead of following each other.
  class Queue {
   public:
    explicit Queue(const ScopeAnswers& answers) : answers_(answers) {}

    // Whether the entry `ref` whose parent is `parent` lies in the scope (the entry itself is
    // never compared: a chosen folder is not in its own scope); keep(ref) is called
    // for each entry that does, in the order asked, by this call or a later one.
    template <class Keep>
    void ask(RecordRef ref, RecordRef parent, const Keep& keep) {
      if (count_ == kInFlight) settle(keep, false);
      Question& q = questions_[(oldest_ + count_++) % kInFlight];
      q = {ref, parent, parent, 0, kOpen};
      answers_.prefetch(parent);
    }
    // Answers every question still open.
    template <class Keep>
    void finish(const Keep& keep) {
      settle(keep, true);
    }

   private:
    static constexpr uint32_t kInFlight = 64;
    static constexpr uint8_t kOpen = 2;

    struct Question {
      RecordRef ref;
      RecordRef parent;
      RecordRef at;  // the folder whose answer the walk looks at next
      uint32_t depth;
      uint8_t answer;  // kOpen, or whether the entry lies in the scope
    };

    // Takes every open walk one folder up, then hands on the answered questions at the front;
    // until the queue is empty when `all` is set, else until one place is free.
    template <class Keep>
    void settle(const Keep& keep, bool all) {
      while (count_ > 0 && (all || count_ == kInFlight)) {
        Question& front = questions_[oldest_];
        if (front.answer == kOpen) {
          for (uint32_t i = 0; i < count_; ++i)
            answers_.step(questions_[(oldest_ + i) % kInFlight]);
          continue;
        }
        if (front.answer != 0) keep(front.ref);
        oldest_ = (oldest_ + 1) % kInFlight;
        --count_;
      }
    }

    friend class ScopeAnswers;
    const ScopeAnswers& answers_;
    Question questions_[kInFlight];
    uint32_t oldest_ = 0;
    uint32_t count_ = 0;
  };

 private:
  // Two bits per eight bytes of the directory arena, for the record that starts there (no two
  // directory records start within eight bytes): answered, and below a chosen folder.
  static constexpr uint8_t kAnswered = 1;
  static constexpr uint8_t kBelow = 2;

  static uint32_t slotOf(RecordRef dir) { return dir >> 3; }
  uint8_t bitsOf(RecordRef dir) const {
    const uint32_t slot = slotOf(dir);
    const uint8_t byte = std::atomic_ref<uint8_t>(bits_[slot / 4]).load(std::memory_order_relaxed);
    return byte >> (slot % 4 * 2) & 3;
  }
  void record(RecordRef dir, uint8_t bits) const;
  // Records the answer of every folder from `from` up to `stop`, which it does not include.
  void recordUpTo(RecordRef from, RecordRef stop, bool below) const;

  // Asks the memory for what a walk reads at a folder: its answer and its record.
  void prefetch(RecordRef dir) const {
    if (subtrees_.empty() || dir == kNoRecord) return;
    __builtin_prefetch(&bits_[slotOf(dir) / 4]);
    __builtin_prefetch(index_->dirArena.at(dir));
  }
  // One step of a queued question's walk.
  void step(Queue::Question& q) const;

  bool isDirect(RecordRef parent) const;
  bool isSubtree(RecordRef dir) const;

  const Index* index_ = nullptr;
  uint64_t version_ = 0;             // of the directory list the answers were given for
  std::vector<RecordRef> subtrees_;  // sorted
  std::vector<RecordRef> direct_;    // sorted
  mutable std::vector<uint8_t> bits_;
};

}  // namespace vessiko
