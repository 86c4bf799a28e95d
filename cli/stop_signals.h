// SIGINT and SIGTERM, the signals that end a run with a save. A mode that waits for them on one
// thread blocks them before it starts any other, so that every thread inherits the mask and
// none but the waiting one takes them.
#pragma once

#include <signal.h>

namespace vessiko {

// Blocks both on the calling thread; the mask it had.
inline sigset_t BlockStopSignals() {
  sigset_t stops;
  sigset_t before;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stops, &before);
  return before;
}

}  // namespace vessiko
