// WinsockGuard: brackets all use of sockets by a thread. Construction starts Winsock 2.2,
// destruction cleans it up; on Linux both do nothing.
#pragma once

#include "platform/sockets.h"

namespace vessiko {

class WinsockGuard {
 public:
  // A failed start prints "WSAStartup(2, 2) Error.\n" to standard output and carries on; the
  // sockets made afterwards then fail on their own.
  explicit WinsockGuard(Sockets& sockets = SystemSockets());
  ~WinsockGuard();
  WinsockGuard(const WinsockGuard&) = delete;
  WinsockGuard& operator=(const WinsockGuard&) = delete;

  bool started() const { return started_; }

 private:
  Sockets& sockets_;
  bool started_;
};

}  // namespace vessiko
