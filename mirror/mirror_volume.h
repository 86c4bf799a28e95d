// MirrorVolume: a mirrored tree presented as an NTFS volume. It answers the control codes the
// engine sends straight from the mirror's one table, the MirrorTree, whose record numbers are
// the volume's, and from the volume's change journal:
//
//   FSCTL_GET_NTFS_VOLUME_DATA   a fixed geometry: 4 KiB clusters, 1 KiB records
//   FSCTL_ENUM_USN_DATA          one record per entry, in record-number order, with the
//                                entry's last USN; the first 8 bytes are the record number
//                                the next call starts from
//   the journal's control codes  a ChangeJournal: records kept compact, laid out when read
//   FSCTL_GET_NTFS_FILE_RECORD   the FILE record built when asked ($STANDARD_INFORMATION,
//                                $FILE_NAME, then $INDEX_ROOT or an empty $DATA), its times and
//                                sizes read from the real file then (LiveFileValues); an entry
//                                gone from the disk gives its record not in use
//
// Records 0 to 11 are the metafiles, 5 the mirrored directory itself. Raw reads give the MFT in
// its on-disk form and zeros everywhere else.
//
// An entry's attributes are those a Windows user would see: hidden when its name starts with a
// dot, system for anything that is neither a regular file nor a directory.
//
// Thread safety: one lock guards the tree and the journal together. The MirrorEditor makes each
// change to both under it held exclusively (writeLock()), so that an entry, its last USN and
// the journal always agree; the control codes read under it held shared, and the journal's
// creation and deletion take it exclusively. A call that waits (a journal read with
// BytesToWaitFor, a deletion with NOTIFY) releases it while it waits; the statx of a record's
// file runs outside it.
//
// Ownership: held in a shared_ptr; each handle from open() shares it, so the engine's handles
// stay valid after the mirror that made it is gone. Each handle runs the calls made on it one
// at a time, as a synchronous Windows handle does.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "mirror/mirror_tree.h"
#include "ntfs_model/change_journal.h"
#include "platform/volume.h"

namespace vessiko {

// The attributes of an entry's record.
uint32_t AttributesFor(NodeKind kind, std::string_view name);

// Where the volume's journal starts, and its maximum size: the usual one, or room for every
// change a start journals.
struct MirrorJournal {
  uint64_t id = 0;
  int64_t startUsn = 0;
  uint64_t maximumSize = 32ULL << 20;
};

class MirrorVolume : public std::enable_shared_from_this<MirrorVolume> {
 public:
  // root: the mirrored directory's real path; rootDevice: the file system it lives on.
  MirrorVolume(std::unique_ptr<MirrorTree> tree, std::string root, uint64_t rootDevice,
               const MirrorJournal& journal);
  MirrorVolume(const MirrorVolume&) = delete;
  MirrorVolume& operator=(const MirrorVolume&) = delete;

  // A handle on this volume; it shares ownership of it.
  std::unique_ptr<Volume> open();
  // What a handle's calls do.
  bool control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error);
  bool readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read, uint32_t* error);

  const std::string& root() const { return root_; }

  // The tree and the journal, and the lock that guards them: the tree's writer reads the tree
  // without it, and holds it exclusively to change either; any other reader holds it shared.
  MirrorTree& tree() { return *tree_; }
  const MirrorTree& tree() const { return *tree_; }
  ChangeJournal& journal() { return journal_; }
  const ChangeJournal& journal() const { return journal_; }
  std::unique_lock<std::shared_mutex> writeLock() { return std::unique_lock(lock_); }
  std::shared_lock<std::shared_mutex> readLock() const { return std::shared_lock(lock_); }

 private:
  struct Snapshot;

  uint32_t volumeData(uint8_t* out, uint32_t outSize, uint32_t* returned) const;
  uint32_t enumerate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                     uint32_t* returned) const;
  uint32_t fileRecord(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                      uint32_t* returned) const;
  // What record n is made of. False for a record not in use. REQUIRES: the lock held.
  bool snapshot(uint32_t n, Snapshot* s) const;
  // The record in its in-memory form, its file's values read now.
  std::vector<uint8_t> buildRecord(const Snapshot& s) const;
  uint64_t referenceOf(uint32_t n) const;

  std::unique_ptr<MirrorTree> tree_;
  const std::string root_;
  const uint64_t rootDevice_;
  mutable std::shared_mutex lock_;
  ChangeJournal journal_;
};

}  // namespace vessiko
