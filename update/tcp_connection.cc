#include "update/tcp_connection.h"

namespace vessiko {

TcpConnection::TcpConnection(Socket socket, const SocketTimeouts& timeouts, Sockets& sockets)
    : sockets_(sockets), socket_(socket), timeouts_(timeouts) {}

TcpConnection::~TcpConnection() {
  if (socket_ == kInvalidSocket) return;
  sockets_.shutdown(socket_, ShutdownHow::kReceive);
  sockets_.close(socket_);
}

std::chrono::milliseconds TcpConnection::allowance(std::chrono::milliseconds perCall) const {
  const auto now = std::chrono::steady_clock::now();
  if (deadline_ <= now) return std::chrono::milliseconds(0);
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - now);
  return left < perCall ? left : perCall;
}

bool TcpConnection::sendAll(const void* data, size_t length, int flags) {
  if (socket_ == kInvalidSocket) return false;
  const auto* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    const auto wait = allowance(timeouts_.send);
    if (wait.count() == 0) return false;
    uint32_t error = 0;
    const int64_t sent = sockets_.send(socket_, bytes + done, length - done, flags, wait, &error);
    if (sent < 1) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

bool TcpConnection::receiveAll(void* buffer, size_t length, int flags) {
  if (socket_ == kInvalidSocket) return false;
  auto* bytes = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < length) {
    const auto wait = allowance(timeouts_.receive);
    if (wait.count() == 0) return false;
    uint32_t error = 0;
    const int64_t got = sockets_.receive(socket_, bytes + done, length - done, flags, wait, &error);
    if (got < 1) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

std::unique_ptr<Connection> Connect(const Endpoint& endpoint, const SocketTimeouts& timeouts,
                                    Sockets& sockets) {
  uint32_t error = 0;
  const Socket socket = sockets.openTcp(&error);
  if (socket == kInvalidSocket) return nullptr;
  if (!sockets.connect(socket, endpoint.address(), kAddressLengths[endpoint.kind()],
                       timeouts.connect, &error)) {
    sockets.shutdown(socket, ShutdownHow::kReceive);
    sockets.close(socket);
    return nullptr;
  }
  return std::make_unique<TcpConnection>(socket, timeouts, sockets);
}

}  // namespace vessiko
