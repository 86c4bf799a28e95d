#include "update/winsock_guard.h"

#include <cstdio>

namespace vessiko {

namespace {
constexpr int kMajor = 2;
constexpr int kMinor = 2;
}  // namespace

WinsockGuard::WinsockGuard(Sockets& sockets)
    : sockets_(sockets), started_(sockets.startup(kMajor, kMinor) == 0) {
  if (!started_) {
    std::printf("WSAStartup(%d, %d) Error.\n", kMajor, kMinor);
    std::fflush(stdout);
  }
}

// Only a start that succeeded is matched: an unmatched WSACleanup would end the Winsock use of
// another guard in the process.
WinsockGuard::~WinsockGuard() {
  if (started_) sockets_.cleanup();
}

}  // namespace vessiko
