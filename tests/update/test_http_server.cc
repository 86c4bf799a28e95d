#include "tests/update/test_http_server.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <stdexcept>

namespace vessiko {

namespace {

#ifdef _WIN32
using Native = SOCKET;
using AddressLength = int;
constexpr int kSendFlags = 0;
void CloseNative(Native s) {
  ::closesocket(s);
}
#else
using Native = int;
using AddressLength = socklen_t;
constexpr int kSendFlags = MSG_NOSIGNAL;
void CloseNative(Native s) {
  ::close(s);
}
#endif

constexpr auto kPeerPatience = std::chrono::seconds(5);

Native ToNative(uintptr_t s) {
  return static_cast<Native>(s);
}

void SetPatience(Native s) {
#ifdef _WIN32
  const DWORD ms = static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(kPeerPatience).count());
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
#else
  const timeval time{static_cast<time_t>(kPeerPatience.count()), 0};
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &time, sizeof time);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &time, sizeof time);
#endif
}

// Waits up to the time for the listener to have a connection waiting.
bool Readable(Native s, std::chrono::milliseconds time) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval limit{0, static_cast<long>(time.count() * 1000)};
  return ::select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &limit) > 0;
}

}  // namespace

std::string TestHttpServer::Peer::readRequest() {
  std::string request;
  while (request.size() < 4 || request.compare(request.size() - 4, 4, "\r\n\r\n") != 0) {
    char c;
    if (::recv(ToNative(socket_), &c, 1, 0) != 1) return {};
    request.push_back(c);
  }
  std::lock_guard lock(server_.mutex_);
  server_.requests_.push_back(request);
  return request;
}

bool TestHttpServer::Peer::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const auto sent =
        ::send(ToNative(socket_), bytes.data(), static_cast<int>(bytes.size()), kSendFlags);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

bool TestHttpServer::Peer::pause(std::chrono::milliseconds time) {
  std::unique_lock lock(server_.mutex_);
  return !server_.changed_.wait_for(lock, time, [&] { return server_.stopping_.load(); });
}

bool TestHttpServer::Peer::waitForClose() {
  char c;
  while (!server_.stopping_) {
    const auto got = ::recv(ToNative(socket_), &c, 1, 0);
    if (got == 0) return true;
    if (got < 0) return false;
  }
  return false;
}

void TestHttpServer::Peer::reset() {
  const linger abort{1, 0};
  ::setsockopt(ToNative(socket_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
               sizeof abort);
  CloseNative(ToNative(socket_));
  open_ = false;
}

TestHttpServer::TestHttpServer(std::vector<Handler> script) : script_(std::move(script)) {
  const Native s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  AddressLength size = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, 8) != 0 || ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    CloseNative(s);
    throw std::runtime_error("the test server cannot listen on 127.0.0.1");
  }
  listener_ = static_cast<uintptr_t>(s);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

TestHttpServer::~TestHttpServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  CloseNative(ToNative(listener_));
}

void TestHttpServer::serve() {
  while (!stopping_) {
    if (!Readable(ToNative(listener_), std::chrono::milliseconds(20))) continue;
    const Native s = ::accept(ToNative(listener_), nullptr, nullptr);
#ifdef _WIN32
    if (s == INVALID_SOCKET) continue;
#else
    if (s < 0) continue;
#endif
    SetPatience(s);
    size_t n;
    {
      std::lock_guard lock(mutex_);
      n = static_cast<size_t>(connections_++);
    }
    Peer peer(*this, static_cast<uintptr_t>(s));
    script_[n < script_.size() ? n : script_.size() - 1](peer);
    if (peer.open_) CloseNative(s);
    {
      std::lock_guard lock(mutex_);
      ++handled_;
    }
    changed_.notify_all();
  }
}

int TestHttpServer::connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

std::vector<std::string> TestHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool TestHttpServer::waitForHandled(int n) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kPeerPatience, [&] { return handled_ >= n; });
}

std::string TestHttpServer::ok(std::string_view body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
         std::string(body);
}

uint16_t UnusedPort() {
  TestHttpServer server([](TestHttpServer::Peer&) {});
  return server.port();
}

}  // namespace vessiko
