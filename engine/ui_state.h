// The interface state the faces and the engine share: the search options, the panels and the
// one-shot flags that make a search run again although the query text did not change.
// Callers raise a one-shot flag before a search; the search takes it down as it starts.
// Atomics keep these reads and writes well-defined between threads without a lock.
#pragma once

#include <atomic>

namespace vessiko {

struct UiState {
  std::atomic<bool> searchEnabled{false};  // the index is ready; typing searches at once
  std::atomic<bool> filterInForce{false};  // the result lists are a filtered snapshot
  std::atomic<bool> extensionChanged{false};
  std::atomic<bool> optionsChanged{false};
  std::atomic<bool> scopeChanged{false};
  std::atomic<bool> indexChanged{false};
  std::atomic<bool> caseSensitive{false};
  std::atomic<bool> searchFolders{true};
  std::atomic<bool> searchFiles{true};
  std::atomic<bool> scopePanelShown{false};
  std::atomic<bool> filterPanelShown{false};
  std::atomic<int> folderIcon{-1};  // system image-list index, -1 until computed
  std::atomic<int> driveIcon{0};
};

}  // namespace vessiko
