// VolumeSlots: one slot per drive letter, A to Z; the slot index is the volume index in the
// top five bits of every EntryKey. A slot is present when it holds an open volume.
//
// The journal fields are written by one thread at a time: discovery, the load and the
// catch-up on the start-up thread before any monitor exists, then only the slot's own journal
// monitor (under the index lock); the save reads them under the index lock. The file-record
// buffer is shared by every record read of the volume, which its own lock serialises.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "index/entry_key.h"
#include "index/private_heap.h"
#include "index/record_ref.h"
#include "platform/mutex.h"
#include "platform/volume.h"

namespace vessiko {

// A directory taken out by the old name of a rename, waiting for the new name that takes over
// its children.
struct PendingRename {
  EntryKey key;
  RecordRef old;
};

struct VolumeSlot {
  std::unique_ptr<Volume> volume;
  uint32_t bytesPerCluster = 0;
  uint64_t totalClusters = 0;
  uint32_t fileRecordBufferSize = 0;  // BytesPerFileRecordSegment + 15
  uint8_t* fileRecordBuffer PT_GUARDED_BY(recordLock) = nullptr;
  uint64_t journalId = 0;
  int64_t firstUsn = 0;
  int64_t nextUsn = 0;
  // Directories the volume's renames took out by their old names, kept between batches (and
  // from the monitor to the save's last pass) so that their new names still take the children.
  std::vector<PendingRename> pendingRenames;
  // The journal was deleted while the program ran and made anew: what changed in between never
  // reached the index, so the save leaves a journal identifier no journal has (0), and the next
  // start finds the database out of date instead of loading it as current.
  bool journalLost = false;
  // The volume has no journal and takes none (a read-only volume, an image): it is indexed
  // once and not followed, and no saved index of it is taken as current.
  bool unfollowed = false;
  Mutex recordLock;

  bool present() const { return volume != nullptr; }
};

class VolumeSlots {
 public:
  explicit VolumeSlots(PrivateHeap& heap) : heap_(heap) {}
  ~VolumeSlots() { closeAll(); }
  VolumeSlots(const VolumeSlots&) = delete;
  VolumeSlots& operator=(const VolumeSlots&) = delete;

  VolumeSlot& operator[](uint32_t volume) { return slots_[volume]; }
  const VolumeSlot& operator[](uint32_t volume) const { return slots_[volume]; }

  // Closes every volume and frees its file-record buffer.
  void closeAll() {
    for (VolumeSlot& slot : slots_) {
      slot.volume.reset();
      heap_.free(slot.fileRecordBuffer);
      slot.fileRecordBuffer = nullptr;
      slot.fileRecordBufferSize = 0;
    }
  }

  PrivateHeap& heap() const { return heap_; }

 private:
  PrivateHeap& heap_;
  std::array<VolumeSlot, kVolumeCount> slots_;
};

}  // namespace vessiko
