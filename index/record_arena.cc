#include "index/record_arena.h"

#include <utility>

namespace vessiko {

namespace {

constexpr uint32_t kInitialDirectory = 128;
constexpr uint32_t kDirectoryGrowth = 32;

}  // namespace

RecordArena::RecordArena(PrivateHeap& heap) : heap_(heap) {
  chunks_ = static_cast<uint8_t**>(heap_.allocateRaw(kInitialDirectory * sizeof(uint8_t*)));
  if (chunks_ == nullptr) {
    heap_.reportFailure();
    return;
  }
  capacity_ = kInitialDirectory;
  addChunk();
}

RecordArena::~RecordArena() {
  for (uint32_t i = 0; i < chunkCount_; ++i)
    heap_.free(chunks_[i]);
  heap_.free(chunks_);
}

bool RecordArena::addChunk() {
  if (chunks_ == nullptr || chunkCount_ == kMaxChunks) return false;
  if (chunkCount_ == capacity_) {
    auto* grown = static_cast<uint8_t**>(
        heap_.resize(chunks_, (capacity_ + kDirectoryGrowth) * sizeof(uint8_t*)));
    if (grown == nullptr) {
      heap_.reportFailure();
      return false;
    }
    chunks_ = grown;
    capacity_ += kDirectoryGrowth;
  }
  auto* chunk = static_cast<uint8_t*>(heap_.allocate(kChunkBytes, true));
  if (chunk == nullptr) return false;
  chunks_[chunkCount_++] = chunk;
  current_ = chunk;
  used_ = 0;
  return true;
}

RecordRef RecordArena::allocate(uint32_t n) {
  if (n == 0 || n > kChunkBytes || current_ == nullptr) return kNoRecord;
  if (used_ + n > kChunkBytes && !addChunk()) return kNoRecord;
  const RecordRef ref = (chunkCount_ - 1) << kChunkShift | used_;
  used_ += n;
  return ref;
}

void RecordArena::swap(RecordArena& other) {
  std::swap(chunks_, other.chunks_);
  std::swap(capacity_, other.capacity_);
  std::swap(chunkCount_, other.chunkCount_);
  std::swap(current_, other.current_);
  std::swap(used_, other.used_);
}

RecordRef RecordArena::recordAt(RecordIndex index) const {
  if (index == kNoRecordIndex) return kNoRecord;
  const uint32_t chunk = index >> 16;
  const uint32_t offset = index & 0xFFFF;
  if (chunk >= chunkCount_ || offset >= kChunkBytes) return kNoRecord;
  if (chunk == chunkCount_ - 1 && offset >= used_) return kNoRecord;
  return chunk << kChunkShift | offset;
}

}  // namespace vessiko
