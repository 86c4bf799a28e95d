// vessiko_demo.exe: the same program over the simulated machine filled with the demo tree. The
// databases stay in memory, so every run starts from the tree as it is built here.
#include <windows.h>

#include "platform/clock.h"
#include "platform/fakes/memory_files.h"
#include "platform/url_opener.h"
#include "ui/demo_machine.h"
#include "ui/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace vessiko;
  // These live as long as the process: the update check's thread is never joined and may still
  // ask its question through the messages after the window has gone.
  auto* machine = new SimMachine;
  auto* folders = new DemoFolders;
  FillDemoMachine(*machine, *folders);
  auto* files = new MemoryFiles;
  auto* tasks = new UiTasks;
  auto* messages = new Win32Messages(*tasks);
  return RunProgram(instance, ProgramParts{*machine,
                                           *files,
                                           SystemClock(),
                                           *folders,
                                           *tasks,
                                           *messages,
                                           SystemShellActions(),
                                           SystemUrlOpener(),
                                           {}});
}
