#include "update/ipv4_address.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/update/scripted_sockets.h"
#include "tests/update/test_http_server.h"
#include "update/tcp_connection.h"
#include "update/winsock_guard.h"

namespace vessiko {
namespace {

class Ipv4AddressTest : public ::testing::Test {
 protected:
  WinsockGuard winsock_;
  ScriptedSockets sockets_;
};

void ExpectLoopback(const Ipv4Address& address, uint16_t port) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(address.address());
  // SOCKADDR_IN: family, port high byte first, 127.0.0.1, eight zero bytes.
  const uint8_t expected[16] = {
      2, 0, static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port & 0xFF), 127, 0, 0, 1};
  EXPECT_EQ(std::memcmp(bytes, expected, 16), 0);
  EXPECT_EQ(kAddressLengths[address.kind()], 16);
}

TEST_F(Ipv4AddressTest, ADottedAddressIsTakenWithOrWithoutTheNameLookup) {
  ExpectLoopback(Ipv4Address("127.0.0.1", 8080, sockets_), 8080);
  sockets_.lookupFails = true;
  ExpectLoopback(Ipv4Address("127.0.0.1", 443, sockets_), 443);
}

TEST_F(Ipv4AddressTest, AnUnresolvableNameLeavesAnAddressNoConnectAccepts) {
  sockets_.lookupFails = true;
  const Ipv4Address address("no-such-host.invalid", 80, sockets_);
  const uint8_t zero[16] = {};
  EXPECT_EQ(std::memcmp(address.address(), zero, 16), 0);
  EXPECT_EQ(Connect(address, SocketTimeouts{}, sockets_), nullptr);
}

TEST_F(Ipv4AddressTest, ConnectReachesAListenerAndFailsWhereNoneIs) {
  TestHttpServer server([](TestHttpServer::Peer&) {});
  EXPECT_NE(Connect(Ipv4Address("127.0.0.1", server.port()), SocketTimeouts{}), nullptr);
  EXPECT_EQ(Connect(Ipv4Address("127.0.0.1", UnusedPort()), SocketTimeouts{}), nullptr);
}

TEST(TcpConnection, WithoutASocketEverythingFails) {
  TcpConnection connection(kInvalidSocket, SocketTimeouts{});
  char byte = 0;
  EXPECT_FALSE(connection.sendAll(&byte, 1, 0));
  EXPECT_FALSE(connection.receiveAll(&byte, 1, 0));
}

}  // namespace
}  // namespace vessiko
