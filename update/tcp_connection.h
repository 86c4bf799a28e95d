// TcpConnection: a Connection over one TCP socket, which it owns. Connect makes one.
#pragma once

#include <chrono>
#include <memory>

#include "platform/sockets.h"
#include "update/connection.h"
#include "update/endpoint.h"

namespace vessiko {

class TcpConnection final : public Connection {
 public:
  // Takes over the socket, which may be kInvalidSocket: then every operation fails at once.
  TcpConnection(Socket socket, const SocketTimeouts& timeouts, Sockets& sockets = SystemSockets());
  // Shuts the receiving side down and closes the socket.
  ~TcpConnection() override;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  bool sendAll(const void* data, size_t length, int flags) override;
  bool receiveAll(void* buffer, size_t length, int flags) override;
  void setDeadline(std::chrono::steady_clock::time_point deadline) override {
    deadline_ = deadline;
  }

 private:
  // The time one call may wait: its own time-out, cut to what is left before the deadline.
  std::chrono::milliseconds allowance(std::chrono::milliseconds perCall) const;

  Sockets& sockets_;
  Socket socket_;
  SocketTimeouts timeouts_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
};

// A new TCP connection to the endpoint, or null when no socket can be had or the connect fails
// (the time-out included).
std::unique_ptr<Connection> Connect(const Endpoint& endpoint, const SocketTimeouts& timeouts,
                                    Sockets& sockets = SystemSockets());

}  // namespace vessiko
