// Ipv4Address: an IPv4 endpoint resolved from a host name or a dotted address.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sockets.h"
#include "update/endpoint.h"

namespace vessiko {

class Ipv4Address final : public Endpoint {
 public:
  // Tries the name lookup first and the dotted form second. When neither gives an address the
  // socket address stays all zero (family 0), which every connect refuses.
  Ipv4Address(const std::string& host, uint16_t port, Sockets& sockets = SystemSockets());

  int kind() const override { return 0; }
  const void* address() const override { return &address_; }

 private:
  SocketAddressIn address_{};
};

}  // namespace vessiko
