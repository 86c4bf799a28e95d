// The program entry shared by vessiko.exe (the real volumes) and vessiko_demo.exe (the
// simulated machine): the database paths beside the executable, the main dialog with its icon,
// centred on the primary screen, the update-check thread and the message loop.
#pragma once

#include <windows.h>

#include "store/database_paths.h"
#include "ui/main_dialog.h"

namespace vessiko {

// The two database files in the executable's folder, whatever the current directory is.
DatabasePaths DatabasePathsBesideProgram();

// Gives the created dialog its icon (109), centres it on the primary screen and shows it.
void ShowMainWindow(HWND dialog, HINSTANCE instance);

// The whole run; returns the process's exit code, 0. The parts must outlive the process's last
// thread: the update check is never joined.
int RunProgram(HINSTANCE instance, ProgramParts parts);

}  // namespace vessiko
