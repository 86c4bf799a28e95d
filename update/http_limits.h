// HttpLimits: how long and how large one HTTP exchange may be. A peer that is silent, slow or
// endless meets one of these bounds, and the exchange fails there.
#pragma once

#include <chrono>
#include <cstddef>

#include "platform/sockets.h"

namespace vessiko {

struct HttpLimits {
  // Each connect, send and receive call.
  SocketTimeouts timeouts;
  // One whole Get, from sending the request to the last byte of the body, so that a peer
  // dripping a byte at a time cannot hold the caller for long.
  std::chrono::milliseconds exchange{20000};
  size_t maxHeaderBytes = 64 * 1024;
  size_t maxBodyBytes = 1024 * 1024;
};

}  // namespace vessiko
