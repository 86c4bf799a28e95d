// vessiko.exe: the program over the machine's own fixed NTFS volumes, with its two database
// files beside the executable.
#include <windows.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system_drives.h"
#include "platform/url_opener.h"
#include "ui/folder_resolver.h"
#include "ui/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace vessiko;
  // These live as long as the process: the update check's thread is never joined and may still
  // ask its question through the messages after the window has gone.
  auto* tasks = new UiTasks;
  auto* messages = new Win32Messages(*tasks);
  auto* folders = new Win32FolderResolver;
  return RunProgram(instance, ProgramParts{systemDrives(),
                                           SystemFiles(),
                                           SystemClock(),
                                           *folders,
                                           *tasks,
                                           *messages,
                                           SystemShellActions(),
                                           SystemUrlOpener(),
                                           {}});
}
