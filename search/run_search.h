// RunSearch: a full pass over the index for the query in the two fields. It compiles the name
// text and the extension list, takes the directory scope, and, unless nothing changed since the
// last search (the same compiled query and no one-shot flag raised), refills both result lists
// by walking every directory and file record in list order, so results come out in collation
// order. The query's shape picks one of five scan routines.
#pragma once

#include "engine/ui_state.h"
#include "index/index.h"
#include "platform/user_messages.h"
#include "search/scope_list.h"
#include "search/search_state.h"

namespace vessiko {

struct SearchContext {
  Index& index;
  UiState& ui;
  UserMessages& messages;
  ScopeList& scope;
  SearchState& state;
};

void RunSearch(SearchContext& context);

}  // namespace vessiko
