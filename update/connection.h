// Connection: a byte stream to a peer, sent and received in whole pieces.
#pragma once

#include <chrono>
#include <cstddef>

namespace vessiko {

class Connection {
 public:
  virtual ~Connection() = default;
  // True exactly when every byte went out.
  virtual bool sendAll(const void* data, size_t length, int flags) = 0;
  // True exactly when the buffer was filled; a peer that closes early is a failure.
  virtual bool receiveAll(void* buffer, size_t length, int flags) = 0;
  // Every later send and receive fails once this moment has passed, however steadily the
  // peer trickles: the bound of one whole exchange.
  virtual void setDeadline(std::chrono::steady_clock::time_point deadline) = 0;
};

}  // namespace vessiko
