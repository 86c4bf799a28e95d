#include <winsock2.h>

#include <climits>
#include <cstddef>
#include <cstring>

#include "platform/sockets.h"

namespace vessiko {

namespace {

static_assert(sizeof(SOCKADDR_IN) == sizeof(SocketAddressIn));
static_assert(offsetof(SOCKADDR_IN, sin_port) == offsetof(SocketAddressIn, port));
static_assert(offsetof(SOCKADDR_IN, sin_addr) == offsetof(SocketAddressIn, address));
static_assert(AF_INET == kAfInet);
static_assert(INVALID_SOCKET == kInvalidSocket);

using Clock = std::chrono::steady_clock;

enum class Wait { kRead, kWrite, kConnect };

// Waits until the socket is ready or the deadline passes. 1 when ready (for kConnect: when
// the connection is made or has failed), 0 at the deadline, -1 on an error.
int WaitUntil(SOCKET s, Wait wait, Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(s, &ready);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(s, &failed);
  timeval limit{static_cast<long>(left / 1000000), static_cast<long>(left % 1000000)};
  const int r =
      ::select(0, wait == Wait::kRead ? &ready : nullptr, wait == Wait::kRead ? nullptr : &ready,
               wait == Wait::kConnect ? &failed : nullptr, &limit);
  if (r == SOCKET_ERROR) return -1;
  return r > 0 ? 1 : 0;
}

// The socket is non-blocking; each call tries first and waits for readiness only when the
// system would have blocked.
template <typename Call>
int64_t Transfer(SOCKET s, Wait wait, std::chrono::milliseconds timeout, uint32_t* error,
                 Call call) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const int r = call();
    if (r != SOCKET_ERROR) return r;
    if (WSAGetLastError() != WSAEWOULDBLOCK) break;
    const int ready = WaitUntil(s, wait, deadline);
    if (ready == 0) WSASetLastError(WSAETIMEDOUT);
    if (ready <= 0) break;
  }
  *error = static_cast<uint32_t>(WSAGetLastError());
  return -1;
}

int Chunk(size_t length) {
  return static_cast<int>(length > INT_MAX ? INT_MAX : length);
}

class Win32Sockets final : public Sockets {
 public:
  int startup(uint8_t major, uint8_t minor) override {
    WSADATA data;
    return WSAStartup(MAKEWORD(major, minor), &data);
  }

  void cleanup() override { WSACleanup(); }

  bool hostByName(const std::string& name, uint32_t* address) override {
    // The result lives in storage of the calling thread, read at once.
    const hostent* host = ::gethostbyname(name.c_str());
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4 ||
        host->h_addr_list[0] == nullptr) {
      return false;
    }
    std::memcpy(address, host->h_addr_list[0], 4);
    return true;
  }

  uint32_t inetAddress(const std::string& text) override { return ::inet_addr(text.c_str()); }

  Socket openTcp(uint32_t* error) override {
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
      *error = static_cast<uint32_t>(WSAGetLastError());
      return kInvalidSocket;
    }
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
      *error = static_cast<uint32_t>(WSAGetLastError());
      ::closesocket(s);
      return kInvalidSocket;
    }
    return s;
  }

  bool connect(Socket socket, const void* address, int length, std::chrono::milliseconds timeout,
               uint32_t* error) override {
    const SOCKET s = socket;
    const auto* target = static_cast<const sockaddr*>(address);
    // Winsock refuses any family but AF_INET on this socket; Wine would hand AF_UNSPEC on to
    // Linux, which takes it as "dissolve the association" and reports success.
    if (target->sa_family != AF_INET) {
      *error = WSAEAFNOSUPPORT;
      return false;
    }
    if (::connect(s, target, length) == 0) return true;
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
      *error = static_cast<uint32_t>(WSAGetLastError());
      return false;
    }
    const int ready = WaitUntil(s, Wait::kConnect, Clock::now() + timeout);
    if (ready <= 0) {
      *error = ready == 0 ? WSAETIMEDOUT : static_cast<uint32_t>(WSAGetLastError());
      return false;
    }
    int code = 0;
    int size = sizeof code;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size) != 0) {
      code = WSAGetLastError();
    }
    if (code != 0) {
      *error = static_cast<uint32_t>(code);
      return false;
    }
    return true;
  }

  int64_t send(Socket socket, const void* data, size_t length, int flags,
               std::chrono::milliseconds timeout, uint32_t* error) override {
    const SOCKET s = socket;
    return Transfer(s, Wait::kWrite, timeout, error, [&] {
      return ::send(s, static_cast<const char*>(data), Chunk(length), flags);
    });
  }

  int64_t receive(Socket socket, void* buffer, size_t length, int flags,
                  std::chrono::milliseconds timeout, uint32_t* error) override {
    const SOCKET s = socket;
    return Transfer(s, Wait::kRead, timeout, error,
                    [&] { return ::recv(s, static_cast<char*>(buffer), Chunk(length), flags); });
  }

  void shutdown(Socket socket, ShutdownHow how) override {
    const int mode = how == ShutdownHow::kReceive ? SD_RECEIVE
                     : how == ShutdownHow::kSend  ? SD_SEND
                                                  : SD_BOTH;
    ::shutdown(socket, mode);
  }

  void close(Socket socket) override { ::closesocket(socket); }
};

}  // namespace

Sockets& SystemSockets() {
  static Win32Sockets sockets;
  return sockets;
}

}  // namespace vessiko
