// DirectoryMirror: one real directory tree presented as a fixed NTFS volume of the simulated
// machine, so the engine runs over it unchanged: discovery, enumeration, the databases,
// catch-up, the journal monitors and the file-record reader.
//
// Opening reads the state saved beside the databases. When it fits the tree (same root path,
// device and inode), the volume is rebuilt exactly as it was at the last close, its journal
// going on from the same identifier and USN, and the changes made since are journaled onto it,
// so the engine's catch-up applies exactly those. Without a state that fits, the volume is
// built quietly with a new journal and the engine must build its index afresh. While the
// program runs, the watcher journals each change it is told of. Closing saves the state.
//
// Thread safety: open, startWatching, stopWatching and saveState on one thread; folderRecord
// and pathOf from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mirror/inotify_watcher.h"
#include "mirror/live_file_values.h"
#include "mirror/mirror_editor.h"
#include "mirror/mirror_tree.h"
#include "mirror/tree_reconciler.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/sim/sim_machine.h"
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

  // Adds the drive to the machine. False when the root is not a directory. *stateFit tells
  // whether the saved state was used (otherwise the engine's saved index cannot be).
  bool open(SimMachine& machine, bool* stateFit);
  void startWatching();
  void stopWatching();
  // Removes the saved state: until saveState, a crash leaves no state that could disagree
  // with the databases.
  void forgetState();
  // Saves the tree with the journal's identifier and next USN as they are now.
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
  Files& files_;
  Clock& clock_;
  uint64_t rootDevice_ = 0;
  std::shared_ptr<SimVolume> volume_;
  std::unique_ptr<MirrorTree> tree_;
  InotifyWatcher watcher_;
  bool watching_ = false;
  std::unique_ptr<TreeReconciler> reconciler_;
  std::unique_ptr<MirrorEditor> editor_;
  std::unique_ptr<LiveFileValues> values_;
};

}  // namespace vessiko
