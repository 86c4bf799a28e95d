// RecordArena: directory or file records carved from 4096-byte zero-filled chunks, packed back
// to back without alignment and never straddling chunks; single records are never freed. A
// record is named by its RecordRef, chunk * 4096 + offset.
//
// No lock of its own: the arena changes only under the index's locks (see Index).
#pragma once

#include <cstdint>

#include "index/private_heap.h"
#include "index/record_ref.h"

namespace vessiko {

class RecordArena {
 public:
  // Replays the allocation rule: the handles that records of the given sizes, allocated in
  // order from an empty arena, receive.
  class Replay {
   public:
    RecordRef next(uint32_t size) {
      if (used_ + size > kChunkBytes) {
        ++chunk_;
        used_ = 0;
      }
      const RecordRef ref = chunk_ << kChunkShift | used_;
      used_ += size;
      return ref;
    }

   private:
    uint32_t chunk_ = 0;
    uint32_t used_ = 0;
  };

  static constexpr uint32_t kChunkBytes = 4096;
  static constexpr uint32_t kChunkShift = 12;
  // Chunk 0xFFFFF is never made, so no record has the handle kNoRecord.
  static constexpr uint32_t kMaxChunks = 0xFFFFF;

  explicit RecordArena(PrivateHeap& heap);
  virtual ~RecordArena();
  RecordArena(const RecordArena&) = delete;
  RecordArena& operator=(const RecordArena&) = delete;

  // n bytes (1..4096) for a new record; kNoRecord when memory ran out.
  RecordRef allocate(uint32_t n);
  // Removed records keep their memory while the program runs.
  void release(RecordRef, uint32_t) {}

  uint8_t* at(RecordRef ref) const {
    return chunks_[ref >> kChunkShift] + (ref & (kChunkBytes - 1));
  }
  // The record at a persistent RecordIndex; kNoRecord for kNoRecordIndex and for positions
  // past what has been allocated.
  RecordRef recordAt(RecordIndex index) const;
  // A RecordIndex holds the chunk in 16 bits: records in later chunks have none.
  static bool hasIndex(RecordRef ref) { return (ref >> kChunkShift) < 0x10000; }
  static RecordIndex indexOf(RecordRef ref) {
    return (ref >> kChunkShift) << 16 | (ref & (kChunkBytes - 1));
  }

  // Exchanges the records of two arenas of the same heap.
  void swap(RecordArena& other);

  uint32_t chunkCount() const { return chunkCount_; }
  uint32_t usedInCurrentChunk() const { return used_; }
  // Bytes held in chunks, for the measurements.
  uint64_t bytesReserved() const { return static_cast<uint64_t>(chunkCount_) * kChunkBytes; }

 private:
  bool addChunk();

  PrivateHeap& heap_;
  uint8_t** chunks_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t chunkCount_ = 0;
  uint8_t* current_ = nullptr;
  uint32_t used_ = 0;
};

}  // namespace vessiko
