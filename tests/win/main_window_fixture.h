// The real main dialog over the simulated demo machine, driven by messages as a user drives it:
// typing into the edits, clicking buttons, choosing menu commands, reading the status bar and
// the list view's cells. A few probe entries with known sizes, times and attributes sit in
// C:\测试 beside the demo tree. Boxes, the folder browser and the shell are recorded.
//
// The dialog is not put on the screen: under Wine without a window manager every hide of a
// shown window waits two seconds for the X server. Whether a control is shown is its
// WS_VISIBLE style, which is what showing and hiding it sets.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gtest/gtest.h"
#include "platform/fakes/fixed_clock.h"
#include "platform/fakes/memory_files.h"
#include "platform/sim/sim_machine.h"
#include "tests/win/recording_shell.h"
#include "tests/win/recording_window_messages.h"
#include "ui/demo_machine.h"
#include "ui/main_dialog.h"
#include "ui/ui_tasks.h"

namespace vessiko::testing {

// The times of the probe "timeprobe.dat", in UTC; the test clock's local time is 8 hours ahead.
constexpr CalendarTime kProbeCreation{2023, 3, 5, 8, 7, 30, 0};
constexpr CalendarTime kProbeModification{2023, 4, 1, 0, 0, 0, 0};
constexpr CalendarTime kProbeRecordChange{2023, 4, 6, 9, 8, 0, 0};
constexpr CalendarTime kProbeLastAccess{2023, 5, 7, 23, 9, 0, 0};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Handles what waits in the interface thread's queue, the tasks the workers posted among it.
  void pump();
  // Pumps until `done` holds; false when time runs out first.
  bool pumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds within = std::chrono::milliseconds(4000));

  // Types the text at the end of an edit, one character message at a time.
  void type(int edit, std::string_view text);
  // Replaces an edit's text (one change).
  void setText(int edit, std::string_view text);
  // Replaces both query texts, the extension first, and handles what follows.
  void search(std::string_view name, std::string_view extension = "");

  std::string status();
  int rows();
  // A cell as the list view hands it out, through a buffer of `capacity` units.
  std::string cell(int row, int column, int capacity = 2048);
  int image(int row);
  // Column 0 of every row, with "." and column 1 when there is an extension.
  std::vector<std::string> names();

  // A menu command or a button's click, as WM_COMMAND.
  void command(int id, int code = 0);
  // A notification of a list view to the dialog, as the list sends it.
  LRESULT notify(int control, UINT code, int item, int subItem);

  std::string barCaption(UINT position);
  // The caption of the box the dialog's thread shows, empty when none; from any thread.
  std::wstring boxCaption();
  bool searchOptionChecked(UINT position);
  HWND item(int id) const { return GetDlgItem(dialog, id); }
  static bool shown(HWND window);
  bool shown(int id) const { return shown(item(id)); }
  RECT rectOf(int id);  // in the dialog's client coordinates
  RECT rectOf(HWND window);
  int clientWidth();
  void resize(int width, int height);

  static std::string utf8(std::wstring_view text);

  SimMachine machine;
  DemoFolders folders;
  MemoryFiles files;
  FixedClock clock{CalendarToFileTime({2026, 12, 7, 9, 30, 0, 0}), 8 * 60};
  UiTasks tasks;
  RecordingWindowMessages messages{tasks};
  RecordingShell shell;
  RecordingUrlOpener urls;
  std::unique_ptr<MainDialog> main;
  HWND dialog = nullptr;
  std::string firstStatus;      // before anything the start-up posted was handled
  uint64_t probeFolder = 0;     // C:\测试
  uint64_t plainFileProbe = 0;  // C:\测试\qzxnoext
};

}  // namespace vessiko::testing
