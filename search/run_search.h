// RunSearch: a full pass over the index for the query given. It compiles the name text and
// the extension list, takes the directory scope, and, unless nothing changed since the
// last search (the same compiled query and no one-shot flag raised), refills both result lists
// by walking every directory and file record in list order, so results come out in collation
// order. The query's shape picks one of five scan routines.
#pragma once

#include "engine/ui_state.h"
#include "index/index.h"
#include "index/worker_pool.h"
#include "platform/result_view.h"
#include "platform/user_messages.h"
#include "search/query_texts.h"
#include "search/scope_list.h"
#include "search/search_state.h"

namespace vessiko {

struct SearchContext {
  Index& index;
  UiState& ui;
  UserMessages& messages;
  ResultView& view;
  ScopeList& scope;
  SearchState& state;
  // The pool the scan runs on; none for the process's own.
  WorkerPool* workers = nullptr;
};

// The query becomes the typed query (search state's `typed`) even when searching is off, so
// that the search run when the index becomes ready finds what was typed meanwhile.
void RunSearch(SearchContext& context, const QueryTexts& query);
// A search of the typed query, for the engine's own runs: the query is read once the search
// lock is held, so a run that waited behind the user's search takes the user's text.
void RepeatSearch(SearchContext& context);

}  // namespace vessiko
