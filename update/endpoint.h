// Endpoint: where a connection goes. The kind selects the length of the address from
// kAddressLengths, as connect needs it.
#pragma once

#include <array>

namespace vessiko {

// Indexed by Endpoint::kind(); kind 0 is IPv4 (a SOCKADDR_IN).
inline constexpr std::array<int, 1> kAddressLengths = {16};

class Endpoint {
 public:
  virtual ~Endpoint() = default;
  virtual int kind() const = 0;
  // The socket address to pass to connect.
  virtual const void* address() const = 0;
};

}  // namespace vessiko
