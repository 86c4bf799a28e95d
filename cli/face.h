// Face: the index of a process that owns its database folder. It mirrors each drive's
// directory as a volume (or reads an NTFS drive in place), runs the engine over them, searches with the command line's options,
// scope and filter in the engine's own session, and closes as the window's close does: the
// index is saved, and with it the mirrors' state, so the next start only catches up.
//
// Close order: the watchers stop (nothing is journaled after the save); the mirrors' states
// are removed; the engine saves (its save drains the journals, so the saved positions are the
// journals' ends); the states are written with those ends. A crash in between leaves no state,
// and the next start builds afresh rather than trusting databases it cannot match.
//
// A save while running (saveLive) goes the same way and then starts the watchers and monitors
// again, so the pair on disk is always one owner's databases with the states that match them.
//
// Thread safety: its operations run on the thread that drives the mode; saveLive, realPath,
// resolveScopes and the accessors may also come from the service's threads once started.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/mirror_folders.h"
#include "cli/ntfs_drive.h"
#include "cli/query_session.h"
#include "engine/engine.h"
#include "mirror/directory_mirror.h"
#include "mirror/mirror_drives.h"
#include "search/memory_scope_view.h"

namespace vessiko {

class Face {
 public:
  // view: the full-screen view's, or a plain ResultView for the modes that print.
  Face(const CommandLine& line, UserMessages& messages, ResultView& view);
  ~Face();
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;

  // Mirrors every drive and resolves the scope folders. False after a message when a scope
  // folder lies in no mirrored tree; *usage tells a failure that is not the user's choice
  // (the database folder or a drive cannot be used).
  bool open(bool* usage);
  // Starts following the trees and the engine's start-up.
  void start();

  // Per scope option, the drive letter when it names a drive's root, else 0. False after the
  // window's message when a folder lies in no mirrored tree.
  bool resolveScopes(const std::vector<ScopeOption>& scopes, UserMessages& messages,
                     std::vector<char>* roots) const;

  // Saves as the close does while everything goes on; nothing when no change was applied
  // since the last save. False when the index cannot be saved now (not ready, or frozen).
  bool saveLive();
  // Changes applied to the index since it was opened.
  uint64_t changeCount() const { return engine_->changeCount(); }

  // Closes as the window does, saving.
  void close();

  bool opened() const { return engine_ != nullptr; }
  Engine& engine() { return *engine_; }
  // The engine's own session: the command line's options, live results.
  QuerySession& session() { return *session_; }
  MirrorFolders& folders() { return folders_; }
  const std::array<std::string, kVolumeCount>& roots() const { return roots_; }
  // The real path of an entry from its mirror; false when the entry has gone.
  bool realPath(uint32_t volume, uint32_t record, std::string* out) const;
  // The full path of a result row: its real path, else (the entry has just gone) the index's.
  // False when the row is past the results. *scratch holds the row's cells meanwhile.
  bool rowPath(ResultCells& rows, uint32_t row, RowCells* scratch, std::string* out) const;

 private:
  const CommandLine& line_;
  UserMessages& messages_;
  ResultView& resultView_;
  MirrorDrives machine_;
  std::vector<std::unique_ptr<DirectoryMirror>> mirrors_;
  std::vector<NtfsDrive> ntfsDrives_;
  MirrorFolders folders_{mirrors_, ntfsDrives_};
  MemoryScopeView view_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<QuerySession> session_;
  std::array<std::string, kVolumeCount> roots_;
  uint64_t savedChanges_ = 0;
  bool closed_ = false;
};

}  // namespace vessiko
