// A blocking TCP client over the platform's sockets (Winsock 2 on Windows, BSD sockets on
// Linux), call for call, except that connect, send and receive each end by a time-out instead
// of waiting forever. Errors are the system's own codes (WSAGetLastError on Windows, errno on
// Linux), taken once, here. Every operation may be called from any thread.
#pragma once

#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vessiko {

// A SOCKET on Windows, a descriptor on Linux.
using Socket = uintptr_t;
inline constexpr Socket kInvalidSocket = ~Socket{0};

// SOCKADDR_IN byte for byte, the same on both systems.
struct SocketAddressIn {
  uint16_t family;   // kAfInet, or 0 when unresolved
  uint16_t port;     // network byte order
  uint32_t address;  // network byte order
  uint8_t zero[8];
};
static_assert(sizeof(SocketAddressIn) == 16);

inline constexpr uint16_t kAfInet = 2;
inline constexpr uint32_t kInaddrNone = 0xFFFFFFFF;

// htons.
constexpr uint16_t HostToNetwork(uint16_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<uint16_t>((value >> 8) | (value << 8));
  }
  return value;
}

// SD_RECEIVE, SD_SEND, SD_BOTH.
enum class ShutdownHow { kReceive, kSend, kBoth };

// How long one call may wait before it fails with the system's time-out error.
struct SocketTimeouts {
  std::chrono::milliseconds connect{5000};
  std::chrono::milliseconds send{5000};
  std::chrono::milliseconds receive{5000};
};

class Sockets {
 public:
  virtual ~Sockets() = default;
  // WSAStartup for version major.minor: 0, or the error it returned. Linux needs nothing.
  virtual int startup(uint8_t major, uint8_t minor) = 0;
  // WSACleanup, once for each startup that returned 0.
  virtual void cleanup() = 0;
  // gethostbyname: the name's first IPv4 address, in network byte order; false when none.
  virtual bool hostByName(const std::string& name, uint32_t* address) = 0;
  // inet_addr: a dotted address in network byte order, kInaddrNone when the text is not one.
  virtual uint32_t inetAddress(const std::string& text) = 0;
  // socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); kInvalidSocket with the error.
  virtual Socket openTcp(uint32_t* error) = 0;
  // connect; false with the error, a time-out included.
  virtual bool connect(Socket socket, const void* address, int length,
                       std::chrono::milliseconds timeout, uint32_t* error) = 0;
  // send: the count of bytes sent (at least 1), or -1 with the error, a time-out included.
  virtual int64_t send(Socket socket, const void* data, size_t length, int flags,
                       std::chrono::milliseconds timeout, uint32_t* error) = 0;
  // recv: the count of bytes received, 0 when the peer has closed, or -1 with the error, a
  // time-out included.
  virtual int64_t receive(Socket socket, void* buffer, size_t length, int flags,
                          std::chrono::milliseconds timeout, uint32_t* error) = 0;
  virtual void shutdown(Socket socket, ShutdownHow how) = 0;
  // closesocket.
  virtual void close(Socket socket) = 0;
};

Sockets& SystemSockets();

}  // namespace vessiko
