// Sockets that pass every call to the system's, except where a test scripts a failure, and
// that count what was called.
#pragma once

#include <atomic>

#include "platform/sockets.h"

namespace vessiko {

class ScriptedSockets final : public Sockets {
 public:
  int startupResult = 0;     // what startup returns instead of starting anything
  bool lookupFails = false;  // hostByName finds nothing

  int calls() const { return calls_; }
  int cleanups() const { return cleanups_; }

  int startup(uint8_t, uint8_t) override {
    ++calls_;
    return startupResult;
  }
  void cleanup() override {
    ++calls_;
    ++cleanups_;
  }
  bool hostByName(const std::string& name, uint32_t* address) override {
    ++calls_;
    return !lookupFails && system_.hostByName(name, address);
  }
  uint32_t inetAddress(const std::string& text) override {
    ++calls_;
    return system_.inetAddress(text);
  }
  Socket openTcp(uint32_t* error) override {
    ++calls_;
    return system_.openTcp(error);
  }
  bool connect(Socket socket, const void* address, int length, std::chrono::milliseconds timeout,
               uint32_t* error) override {
    ++calls_;
    return system_.connect(socket, address, length, timeout, error);
  }
  int64_t send(Socket socket, const void* data, size_t length, int flags,
               std::chrono::milliseconds timeout, uint32_t* error) override {
    ++calls_;
    return system_.send(socket, data, length, flags, timeout, error);
  }
  int64_t receive(Socket socket, void* buffer, size_t length, int flags,
                  std::chrono::milliseconds timeout, uint32_t* error) override {
    ++calls_;
    return system_.receive(socket, buffer, length, flags, timeout, error);
  }
  void shutdown(Socket socket, ShutdownHow how) override {
    ++calls_;
    system_.shutdown(socket, how);
  }
  void close(Socket socket) override {
    ++calls_;
    system_.close(socket);
  }

 private:
  Sockets& system_ = SystemSockets();
  std::atomic<int> calls_{0};
  std::atomic<int> cleanups_{0};
};

}  // namespace vessiko
