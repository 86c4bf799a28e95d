// DirectoryMirror: one real directory tree presented as a fixed NTFS drive (a MirrorVolume
// among the MirrorDrives), so the engine runs over it unchanged: discovery, enumeration, the
// databases, catch-up, the journal monitors and the file-record reader.
//
// Opening reads the state saved beside the databases. When it fits the tree (same root path,
// device and inode), the volume is the one of the last close, record for record, its journal
// going on from the same identifier and USN, and the changes made since are journaled onto it,
// so the engine's catch-up applies exactly those. Without a state that fits, the tree is read
// quietly into a volume with a new journal and the engine must build its index afresh. While
// the program runs, the watcher journals each change it is told of. Closing saves the state.
//
// Thread safety: open, startWatching, stopWatching and saveState on one thread; folderRecord
// and pathOf from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mirror/inotify_watcher.h"
#include "mirror/mirror_drives.h"
#include "mirror/mirror_editor.h"
#include "mirror/mirror_tree.h"
#include "mirror/mirror_volume.h"
#include "mirror/tree_reconciler.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/user_messages.h"

namespace vessiko {

class DirectoryMirror {
 public:
  // root: an absolute path without symbolic links (realpath's form).
  DirectoryMirror(char letter, std::string root, std::string statePath, Files& files, Clock& clock,
                  UserMessages& messages);
  ~DirectoryMirror();
  DirectoryMirror(const DirectoryMirror&) = delete;
  DirectoryMirror& operator=(const DirectoryMirror&) = delete;

  // Adds the drive. False when the root is not a directory. *stateFit tells whether the saved
  // state was used (otherwise the engine's saved index cannot be).
  bool open(MirrorDrives& drives, bool* stateFit);
  void startWatching();
  void stopWatching();
  // Removes the saved state: until saveState, a crash leaves no state that could disagree
  // with the databases. The file is set aside, for saveState to put back when nothing changed.
  void forgetState();
  // Saves the tree with the journal's identifier and next USN as they are now; when they are
  // what the state set aside holds, that file goes back instead of being written again.
  // REQUIRES: not watching, so that the state is the tree of one moment.
  bool saveState();

  char letter() const { return letter_; }
  const std::string& root() const { return root_; }
  // The record of the directory at an absolute path inside the tree (realpath's form); false
  // when there is none.
  bool folderRecord(std::string_view path, uint32_t* record) const;
  // The real path of a record; false when it is no longer in the tree.
  bool pathOf(uint32_t record, std::string* out) const;

 private:
  char letter_;
  std::string root_;
  std::string statePath_;
  std::string asidePath_;
  Files& files_;
  Clock& clock_;
  uint64_t rootDevice_ = 0;
  // What the state on disk holds: the tree after this many changes, the journal where it was.
  bool stateKnown_ = false;
  uint64_t stateChanges_ = 0;
  uint64_t stateJournalId_ = 0;
  int64_t stateNextUsn_ = 0;
  std::shared_ptr<MirrorVolume> volume_;
  InotifyWatcher watcher_;
  bool watching_ = false;
  std::unique_ptr<TreeReconciler> reconciler_;
  std::unique_ptr<MirrorEditor> editor_;
};

}  // namespace vessiko
