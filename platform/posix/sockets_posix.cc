#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/sockets.h"

namespace vessiko {

namespace {

static_assert(sizeof(sockaddr_in) == sizeof(SocketAddressIn));
static_assert(offsetof(sockaddr_in, sin_port) == offsetof(SocketAddressIn, port));
static_assert(offsetof(sockaddr_in, sin_addr) == offsetof(SocketAddressIn, address));
static_assert(AF_INET == kAfInet);

using Clock = std::chrono::steady_clock;

// Waits until the socket is ready for the events or the deadline passes. 1 when ready, 0 at
// the deadline, -1 on an error (in errno).
int WaitUntil(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left > 0x7FFFFFFF ? 0x7FFFFFFF : left));
    if (r > 0) return 1;
    if (r < 0 && errno != EINTR) return -1;
  }
}

// The socket is non-blocking; each call tries first and waits for readiness only when the
// system would have blocked.
template <typename Call>
int64_t Transfer(int fd, short events, std::chrono::milliseconds timeout, uint32_t* error,
                 Call call) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const ssize_t r = call();
    if (r >= 0) return r;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) break;
    const int ready = WaitUntil(fd, events, deadline);
    if (ready == 0) errno = ETIMEDOUT;
    if (ready <= 0) break;
  }
  *error = static_cast<uint32_t>(errno);
  return -1;
}

class PosixSockets final : public Sockets {
 public:
  int startup(uint8_t, uint8_t) override { return 0; }
  void cleanup() override {}

  // getaddrinfo is the thread-safe form of gethostbyname.
  bool hostByName(const std::string& name, uint32_t* address) override {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return false;
    const bool ok = found != nullptr && found->ai_family == AF_INET;
    if (ok) *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return ok;
  }

  uint32_t inetAddress(const std::string& text) override { return ::inet_addr(text.c_str()); }

  Socket openTcp(uint32_t* error) override {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
      *error = static_cast<uint32_t>(errno);
      return kInvalidSocket;
    }
    return static_cast<Socket>(fd);
  }

  bool connect(Socket socket, const void* address, int length, std::chrono::milliseconds timeout,
               uint32_t* error) override {
    const int fd = static_cast<int>(socket);
    const auto* target = static_cast<const sockaddr*>(address);
    // Linux takes AF_UNSPEC as "dissolve the association" and reports success; Winsock
    // refuses it, and so do we.
    if (target->sa_family != AF_INET) {
      *error = EAFNOSUPPORT;
      return false;
    }
    if (::connect(fd, target, static_cast<socklen_t>(length)) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) {
      *error = static_cast<uint32_t>(errno);
      return false;
    }
    const int ready = WaitUntil(fd, POLLOUT, Clock::now() + timeout);
    if (ready <= 0) {
      *error = ready == 0 ? ETIMEDOUT : static_cast<uint32_t>(errno);
      return false;
    }
    int code = 0;
    socklen_t size = sizeof code;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0) code = errno;
    if (code != 0) {
      *error = static_cast<uint32_t>(code);
      return false;
    }
    return true;
  }

  // MSG_NOSIGNAL: a peer that has gone away is a failed send, not a SIGPIPE that ends the
  // process.
  int64_t send(Socket socket, const void* data, size_t length, int flags,
               std::chrono::milliseconds timeout, uint32_t* error) override {
    const int fd = static_cast<int>(socket);
    return Transfer(fd, POLLOUT, timeout, error,
                    [&] { return ::send(fd, data, length, flags | MSG_NOSIGNAL); });
  }

  int64_t receive(Socket socket, void* buffer, size_t length, int flags,
                  std::chrono::milliseconds timeout, uint32_t* error) override {
    const int fd = static_cast<int>(socket);
    return Transfer(fd, POLLIN, timeout, error, [&] { return ::recv(fd, buffer, length, flags); });
  }

  void shutdown(Socket socket, ShutdownHow how) override {
    const int mode = how == ShutdownHow::kReceive ? SHUT_RD
                     : how == ShutdownHow::kSend  ? SHUT_WR
                                                  : SHUT_RDWR;
    ::shutdown(static_cast<int>(socket), mode);
  }

  void close(Socket socket) override { ::close(static_cast<int>(socket)); }
};

}  // namespace

Sockets& SystemSockets() {
  static PosixSockets sockets;
  return sockets;
}

}  // namespace vessiko
