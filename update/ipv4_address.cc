#include "update/ipv4_address.h"

namespace vessiko {

Ipv4Address::Ipv4Address(const std::string& host, uint16_t port, Sockets& sockets) {
  uint32_t address = 0;
  if (!sockets.hostByName(host, &address)) {
    address = sockets.inetAddress(host);
    if (address == kInaddrNone) return;
  }
  address_.family = kAfInet;
  address_.address = address;
  address_.port = HostToNetwork(port);
}

}  // namespace vessiko
