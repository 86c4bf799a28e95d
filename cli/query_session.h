// QuerySession: one user's searches over the engine: the search options, scope and filter of a
// command line, the query typed, and its result rows. The process that owns the index searches
// with the engine's own state, which the live refresh keeps current; each client of the service
// gets a session of its own (PrivateSearch) over the same index, so that their searches never
// disturb each other or the owner's view.
//
// Thread safety: one thread at a time per session; the engine's locks keep sessions apart.
#pragma once

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/row_cells.h"
#include "engine/engine.h"
#include "search/filter_panel.h"
#include "search/memory_scope_view.h"

namespace vessiko {

// Refuses what the window refuses before anything starts: turning off both folders and files,
// and filter input validate rejects. False after the message.
bool AcceptOptions(const CommandLine& line, UserMessages& messages);

// The parts of a search a client's session has of its own; the index, the slots and the heap
// are the engine's.
struct PrivateSearch {
  PrivateSearch(Engine& engine, FolderResolver& folders, UserMessages& messages);

  SearchState state;
  UiState ui;
  MemoryScopeView scopeView;
  ScopeList scope;
  ResultFilter filter;
  ResultView view;
  SearchContext context;
};

class QuerySession {
 public:
  // scopeRoots: per scope option, the drive letter when it names a drive's root, else 0.
  // roots: each volume's real directory.
  QuerySession(Engine& engine, SearchContext& context, ResultFilter& filter,
               MemoryScopeView& scopeView, const CommandLine& line, std::vector<char> scopeRoots,
               const std::array<std::string, kVolumeCount>& roots);

  // The session's own copy of the engine's volume rows (a private scope list starts empty).
  void copyVolumeRows(const ScopeList& from);
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
  uint32_t count() const { return filteredAway_ ? 0 : rows_.count(); }

  UiState& ui() { return context_.ui; }
  ResultCells& rows() { return rows_; }

 private:
  void search(const QueryTexts* query, std::atomic<bool>& flag);

  Engine& engine_;
  SearchContext& context_;
  ResultFilter& filter_;
  MemoryScopeView& scopeView_;
  const CommandLine& line_;
  std::vector<char> scopeRoots_;
  ResultCells rows_;
  MemoryFilterPanel panel_;
  bool filteredAway_ = false;
};

}  // namespace vessiko
