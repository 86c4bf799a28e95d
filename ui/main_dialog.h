// MainDialog: the whole user interface, one modeless dialog built from resource 101. It owns
// the engine and the window's parts: the result list view, the scope panel's list, the filter
// panel and the command handler. Its procedure is a switch that hands each message to a small
// OnXxx handler.
//
// Interface thread only, apart from what the engine's workers post (UiTasks).
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "engine/engine.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/url_opener.h"
#include "store/database_paths.h"
#include "ui/commands.h"
#include "ui/filter_panel_controls.h"
#include "ui/main_layout.h"
#include "ui/result_list_view.h"
#include "ui/scope_list_control.h"
#include "ui/scoped_win.h"
#include "ui/shell_actions.h"
#include "ui/ui_tasks.h"
#include "ui/win32_messages.h"
#include "ui/win32_result_view.h"
#include "ui/window_actions.h"

namespace vessiko {

// What differs between the program over the real volumes, the demo over the simulated machine
// and the tests.
struct ProgramParts {
  Drives& drives;
  Files& files;
  Clock& clock;
  FolderResolver& folders;
  UiTasks& tasks;
  Win32Messages& messages;
  ShellActions& shell;
  UrlOpener& urls;
  DatabasePaths paths;
};

class MainDialog : private WindowActions {
 public:
  explicit MainDialog(const ProgramParts& parts);
  ~MainDialog() override;
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // Creates the dialog, hidden; its controls are initialised and the engine's start-up begins
  // inside. Null when the dialog cannot be created.
  HWND create(HINSTANCE instance);
  Engine& engine() { return engine_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
  template <class Handler>
  void guarded(Handler&& handler) noexcept;

  void OnInitDialog(HWND dialog);
  void OnGetMinMaxInfo(MINMAXINFO& info);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnClose();
  void OnDestroy();
  LRESULT OnNotify(const NMHDR& header);
  void OnScopeListNotify(const NMHDR& header);

  void layout() override;
  void closeWindow(bool save) override;
  void setStatusFont();

  ProgramParts parts_;
  Win32ResultView resultView_;
  ScopeListControl scopeView_;
  Engine engine_;
  FilterPanelControls filterPanel_;
  ResultListView results_;
  MainWindow window_;
  ScopedFont statusFont_;  // the status bar's, at window_.dpi
  Commands commands_;
};

}  // namespace vessiko
