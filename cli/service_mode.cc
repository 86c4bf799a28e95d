#include "cli/service_mode.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>

#include "cli/face.h"
#include "cli/index_access.h"
#include "cli/service_listener.h"
#include "cli/stop_signals.h"
#include "platform/posix/terminal_messages.h"

namespace vessiko {

namespace {

// The listener binds within one of its polls of the start-up; the line below tells it is up.
constexpr int kListenWaits = 100;
constexpr useconds_t kListenWaitMicroseconds = 10000;

}  // namespace

int RunService(const CommandLine& line) {
  // Blocked before any thread starts, so every thread inherits the mask and only sigtimedwait
  // below takes the two signals.
  BlockStopSignals();
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);

  // Nobody can be asked: the out-of-date question takes Yes, the rebuild.
  TerminalMessages messages(true);
  IndexAccess access;
  int status = 0;
  if (!ReachIndex(line, true, messages, &access, &status)) return status;
  ResultView none;
  Face face(line, messages, none);
  bool usage = false;
  if (!face.open(&usage)) return usage ? 2 : 1;
  face.start();
  ServiceListener listener(face, line, messages, geteuid());
  listener.start();
  face.engine().waitUntilReady();
  for (int i = 0; i < kListenWaits && !listener.listening(); ++i)
    usleep(kListenWaitMicroseconds);
  messages.showStatus("vessiko: serving " + DriveListText(line.drives) + " from " +
                      line.databaseFolder);

  timespec interval{};
  interval.tv_sec = line.saveInterval;
  for (;;) {
    const int signal = sigtimedwait(&stops, nullptr, &interval);
    if (signal == SIGINT || signal == SIGTERM) break;
    if (signal < 0 && errno == EAGAIN && !face.saveLive()) {
      messages.showStatus("vessiko: the index cannot be saved now");
    }
  }
  messages.showStatus("vessiko: saving and ending");
  listener.stop();
  face.close();
  return 0;
}

}  // namespace vessiko
