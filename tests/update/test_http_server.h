// A scripted HTTP server on 127.0.0.1 for the update tests: it listens on a port the system
// picks and serves one connection at a time on a thread of its own, each by the next handler
// of its script.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "update/winsock_guard.h"

namespace vessiko {

class TestHttpServer {
 public:
  // One accepted connection, as a handler sees it. Every call gives up after a few seconds,
  // so a test that goes wrong fails instead of hanging.
  class Peer {
   public:
    // The next request, up to and including its empty line; empty when the client closed.
    std::string readRequest();
    // False once the client has gone.
    bool send(std::string_view bytes);
    // Waits; false, early, when the server is stopping.
    bool pause(std::chrono::milliseconds time);
    // True when the client closes its side before the server stops.
    bool waitForClose();
    // Ends the connection with a reset instead of an orderly close.
    void reset();

   private:
    friend class TestHttpServer;
    Peer(TestHttpServer& server, uintptr_t socket) : server_(server), socket_(socket) {}
    TestHttpServer& server_;
    uintptr_t socket_;
    bool open_ = true;
  };
  using Handler = std::function<void(Peer&)>;

  // Connection n goes to handler n; past the last, to the last. When a handler returns, its
  // connection is closed.
  explicit TestHttpServer(std::vector<Handler> script);
  explicit TestHttpServer(Handler handler) : TestHttpServer(std::vector<Handler>{handler}) {}
  // Stops the server, wakes any pausing handler, and joins the thread.
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  uint16_t port() const { return port_; }
  int connections() const;
  // Every request read, in order.
  std::vector<std::string> requests() const;
  // Waits until n connections have been handled and closed; false after a few seconds.
  bool waitForHandled(int n);

  // A 200 response announcing exactly the body.
  static std::string ok(std::string_view body);

 private:
  void serve();

  WinsockGuard winsock_;
  std::vector<Handler> script_;
  uintptr_t listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int connections_ = 0;
  int handled_ = 0;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens: one the system just handed out and took back.
uint16_t UnusedPort();

}  // namespace vessiko
