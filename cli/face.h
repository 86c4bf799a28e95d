// Face: what every mode of vessiko shares. It mirrors each drive's directory as a volume of a
// simulated machine, runs the engine over that machine, applies the command line's search
// options, scope and filter, and closes as the window's close does: the index is saved, and
// with it the mirrors' state, so the next start only catches up.
//
// Close order: the watchers stop (nothing is journaled after the save); the mirrors' states
// are removed; the engine saves (its save drains the journals, so the saved positions are the
// journals' ends); the states are written with those ends. A crash in between leaves no state,
// and the next start builds afresh rather than trusting databases it cannot match.
//
// Thread safety: its operations run on the thread that drives the mode.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/mirror_folders.h"
#include "cli/row_cells.h"
#include "engine/engine.h"
#include "mirror/directory_mirror.h"
#include "platform/sim/sim_machine.h"
#include "search/filter_panel.h"
#include "search/memory_scope_view.h"

namespace vessiko {

class Face {
 public:
  // view: the full-screen view's, or a plain ResultView for the modes that print.
  Face(const CommandLine& line, UserMessages& messages, ResultView& view);
  ~Face();
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;

  // Refuses what the window refuses before anything starts: turning off both folders and
  // files, and filter input validate rejects. False after the message.
  bool acceptOptions();
  // Mirrors every drive and resolves the scope folders. False after a message when a scope
  // folder lies in no mirrored tree; *usage tells a failure that is not the user's choice
  // (the database folder or a drive cannot be used).
  bool open(bool* usage);
  // Starts following the trees and the engine's start-up.
  void start();
  // After the start-up: the scope rows (discovery has added the volume rows by then). False
  // when the command line gives none.
  bool applyScope();

  // Searches as an edit of a query field does (with the one-shot flag), then filters when the
  // command line asks for it.
  void search(const QueryTexts& query, std::atomic<bool>& flag) { search(&query, flag); }
  // The query last searched, again, as a change of an option or of the scope does.
  void searchAgain(std::atomic<bool>& flag) { search(nullptr, flag); }
  // The last search's filter found the size group with no files: nothing can pass it.
  bool filteredAway() const { return filteredAway_; }

  // Closes as the window does, saving.
  void close();

  bool opened() const { return engine_ != nullptr; }
  Engine& engine() { return *engine_; }
  ResultCells& rows() { return *rows_; }
  // The real path of an entry from its mirror; false when the entry has gone.
  bool realPath(const RowCells& cells, std::string* out) const;

 private:
  void search(const QueryTexts* query, std::atomic<bool>& flag);

  const CommandLine& line_;
  UserMessages& messages_;
  ResultView& resultView_;
  SimMachine machine_;
  std::vector<std::unique_ptr<DirectoryMirror>> mirrors_;
  MirrorFolders folders_{mirrors_};
  MemoryScopeView view_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<ResultCells> rows_;
  MemoryFilterPanel panel_;
  // Per scope option: the drive letter when it names a drive's root, else 0.
  std::vector<char> scopeRoots_;
  bool filteredAway_ = false;
  bool closed_ = false;
};

}  // namespace vessiko
