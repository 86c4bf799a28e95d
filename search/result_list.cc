#include "search/result_list.h"

namespace vessiko {

ResultList::ResultList(PrivateHeap& heap) : heap_(heap) {
  blocks_ = heap_.allocateArray<RecordRef*>(kInitialTable);
  if (blocks_ == nullptr) return;
  tableCapacity_ = kInitialTable;
  blocks_[0] = static_cast<RecordRef*>(heap_.allocate(kBlockBytes, false));
  if (blocks_[0] == nullptr) return;
  allocated_ = 1;
  clear();
}

ResultList::~ResultList() {
  for (uint32_t i = 0; i < allocated_; ++i)
    heap_.free(blocks_[i]);
  heap_.free(blocks_);
}

void ResultList::clear() {
  count_ = 0;
  full_ = false;
  current_ = 0;
  cursor_ = allocated_ > 0 ? blocks_[0] : nullptr;
  blockEnd_ = allocated_ > 0 ? blocks_[0] + kBlockItems : nullptr;
}

void ResultList::releaseBlocks() {
  clear();
  for (uint32_t i = 1; i < allocated_; ++i)
    heap_.free(blocks_[i]);
  if (allocated_ > 1) allocated_ = 1;
}

bool ResultList::nextBlock() {
  if (allocated_ == 0 || full_) return false;
  if (current_ + 1 >= allocated_) {
    auto* block = static_cast<RecordRef*>(heap_.allocate(kBlockBytes, false));
    if (block == nullptr) {
      full_ = true;
      return false;
    }
    blocks_[allocated_++] = block;
    if (allocated_ == tableCapacity_) {
      auto* grown = static_cast<RecordRef**>(
          heap_.resize(blocks_, (tableCapacity_ + kTableGrowth) * sizeof(RecordRef*)));
      if (grown == nullptr) {
        heap_.free(blocks_[--allocated_]);
        heap_.reportFailure();
        full_ = true;
        return false;
      }
      blocks_ = grown;
      tableCapacity_ += kTableGrowth;
    }
  }
  ++current_;
  cursor_ = blocks_[current_];
  blockEnd_ = cursor_ + kBlockItems;
  return true;
}

}  // namespace vessiko
