// Commands: the main dialog's command handler. Either query field's change searches at once;
// the panels' buttons reach the scope list and the result filter; the menu bar toggles the
// search options and the two panels, shows the help notice and exits.
//
// Interface thread only; the searches it starts run inside the handler.
#pragma once

#include <windows.h>

#include <atomic>

#include "engine/engine.h"
#include "platform/url_opener.h"
#include "ui/filter_panel_controls.h"
#include "ui/main_layout.h"
#include "ui/win32_messages.h"
#include "ui/window_actions.h"

namespace vessiko {

struct CommandParts {
  Engine& engine;
  Win32Messages& messages;
  const MainWindow& window;
  FilterPanelControls& filterPanel;
  UrlOpener& urls;
  WindowActions& actions;
};

class Commands {
 public:
  explicit Commands(const CommandParts& parts) : p_(parts) {}

  // WM_COMMAND: the control or menu id and the notification code. Ids without an action (IDOK
  // and IDCANCEL from Enter and Escape among them) and other codes do nothing.
  void onCommand(int id, int code);

 private:
  void OnQueryChanged(bool extension);
  void OnScopeButton(int id);
  void OnFilterButton();
  void OnFilterGroupBox(int id);
  void OnCaseSensitive();
  void OnSearchKind(std::atomic<bool>& kind, const std::atomic<bool>& other, UINT position);
  void OnScopePanel();
  void OnFilterPanel();
  void OnHelp();
  void OnExit();

  void setBarCaption(UINT position, UINT id, const char* caption);

  CommandParts p_;
};

}  // namespace vessiko
