// ApplyFilter: the filter button's action. It narrows both result lists in place to the entries
// whose file records pass the enabled filter groups, and turns the lists into a snapshot: live
// searching stays off until the next edit of a query field.
//
// Thread safety: runs on the interface thread. It holds the index lock, then the search lock,
// while it narrows, so no journal monitor changes the index or searches meanwhile; the panel
// is read and any message shown before either is taken.
#pragma once

#include "engine/ui_state.h"
#include "index/index.h"
#include "platform/clock.h"
#include "platform/result_view.h"
#include "platform/user_messages.h"
#include "search/filter_panel.h"
#include "search/result_filter.h"
#include "search/search_state.h"
#include "volume/volume_slot.h"

namespace vessiko {

struct FilterContext {
  Index& index;
  UiState& ui;
  UserMessages& messages;
  ResultView& view;
  SearchState& state;
  VolumeSlots& slots;
  Clock& clock;
  ResultFilter& filter;
  FilterPanel& panel;
};

// Nothing happens before the index is ready (neither searchEnabled nor filterInForce), when no
// group is enabled, or when the panel's input is refused. With the size group enabled no
// directory passes. An entry whose record cannot be read, or does not give a value an enabled
// group needs, is dropped.
void ApplyFilter(FilterContext& context);

}  // namespace vessiko
