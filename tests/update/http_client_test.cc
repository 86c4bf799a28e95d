#include "update/http_client.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "tests/update/test_http_server.h"
#include "update/winsock_guard.h"

namespace vessiko {
namespace {

using namespace std::chrono_literals;
using Peer = TestHttpServer::Peer;

const std::string kRequest =
    "GET /tova/version.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Keep-Alive\r\n\r\n";

std::vector<uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

// Answers one request with the bytes and closes.
TestHttpServer::Handler Answer(std::string response) {
  return [response](Peer& peer) {
    peer.readRequest();
    peer.send(response);
  };
}

// Short enough that a test of a stalling peer ends quickly.
HttpLimits QuickLimits() {
  HttpLimits limits;
  limits.timeouts = {2000ms, 2000ms, 1000ms};
  limits.exchange = 4000ms;
  return limits;
}

class HttpClientTest : public ::testing::Test {
 protected:
  WinsockGuard winsock_;
};

TEST_F(HttpClientTest, SendsTheRequestAndTakesExactlyTheAnnouncedBody) {
  // The server keeps the connection open after the extra bytes: a client that read on
  // past the announced length would wait there and fail.
  TestHttpServer server([](Peer& peer) {
    peer.readRequest();
    peer.send("HTTP/1.1 200 OK\r\nServer: test\r\nContent-Length: 3\r\n\r\nabcEXTRA");
    peer.pause(10s);
  });
  HttpClient client("127.0.0.1", server.port(), QuickLimits());
  std::vector<uint8_t> body = Bytes("previous content");
  ASSERT_TRUE(client.get("/tova/version.txt", body));
  EXPECT_EQ(body, Bytes("abc"));
  EXPECT_EQ(server.requests(), std::vector<std::string>{kRequest});
  EXPECT_TRUE(client.connected());
}

TEST_F(HttpClientTest, AnswersWithoutAUsableBodyFailAndLeaveTheBodyAsItWas) {
  const struct {
    const char* why;
    std::string response;
  } cases[] = {
      {"404", "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nabc"},
      {"no length", "HTTP/1.1 200 OK\r\nServer: test\r\n\r\nabc"},
      {"zero length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nabc"},
      {"field spelled otherwise", "HTTP/1.1 200 OK\r\nContent-length: 3\r\n\r\nabc"},
      {"field in lower case", "HTTP/1.1 200 OK\r\ncontent-length: 3\r\n\r\nabc"},
      {"another field ending so", "HTTP/1.1 200 OK\r\nX-Content-Length: 3\r\n\r\nabc"},
      {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nabc"},
      {"length beyond an int",
       "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nabc"},
      {"length beyond the body bound", "HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\nabc"},
      {"closed inside the header", "HTTP/1.1 200 OK\r\nContent-Len"},
      {"header without a status", "\r\n\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TestHttpServer server(Answer(c.response));
    HttpClient client("127.0.0.1", server.port(), QuickLimits());
    std::vector<uint8_t> body = Bytes("kept");
    const size_t capacity = body.capacity();
    EXPECT_FALSE(client.get("/tova/version.txt", body));
    EXPECT_EQ(body, Bytes("kept"));
    EXPECT_EQ(body.capacity(), capacity);
  }
}

TEST_F(HttpClientTest, ABodyCutShortFails) {
  TestHttpServer server(Answer("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabc"));
  HttpClient client("127.0.0.1", server.port(), QuickLimits());
  std::vector<uint8_t> body;
  EXPECT_FALSE(client.get("/", body));
}

TEST_F(HttpClientTest, HeaderAndBodyMayReachTheirBoundsButNotPassThem) {
  HttpLimits limits = QuickLimits();
  limits.maxHeaderBytes = 200;
  limits.maxBodyBytes = 100;
  // Padded so that the header, its empty line included, is exactly this long.
  const auto response = [](size_t headerBytes, size_t bodyBytes) {
    const std::string start =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bodyBytes) + "\r\nX-Pad: ";
    return start + std::string(headerBytes - start.size() - 4, 'p') + "\r\n\r\n" +
           std::string(bodyBytes, 'b');
  };
  const struct {
    size_t header, body;
    bool ok;
  } cases[] = {{200, 100, true}, {201, 100, false}, {200, 101, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.header << " " << c.body);
    TestHttpServer server(Answer(response(c.header, c.body)));
    HttpClient client("127.0.0.1", server.port(), limits);
    std::vector<uint8_t> body;
    EXPECT_EQ(client.get("/", body), c.ok);
    if (c.ok) {
      EXPECT_EQ(body, std::vector<uint8_t>(c.body, 'b'));
    }
  }
}

TEST_F(HttpClientTest, TwoGetsShareOneKeptConnection) {
  TestHttpServer server([](Peer& peer) {
    peer.readRequest();
    peer.send(TestHttpServer::ok("one"));
    peer.readRequest();
    peer.send(TestHttpServer::ok("second"));
  });
  HttpClient client("127.0.0.1", server.port(), QuickLimits());
  std::vector<uint8_t> body;
  ASSERT_TRUE(client.get("/tova/version.txt", body));
  EXPECT_EQ(body, Bytes("one"));
  ASSERT_TRUE(client.get("/tova/version.txt", body));
  EXPECT_EQ(body, Bytes("second"));
  EXPECT_EQ(server.connections(), 1);
  EXPECT_EQ(server.requests(), (std::vector<std::string>{kRequest, kRequest}));
}

TEST_F(HttpClientTest, ASendOnAConnectionTheServerDroppedIsMadeAgainOnANewOne) {
  // The reset waits until the client has its answer, which a reset could otherwise discard.
  std::promise<void> answered;
  const std::future<void> clientHasAnswer = answered.get_future();
  TestHttpServer server({[&clientHasAnswer](Peer& peer) {
                           peer.readRequest();
                           peer.send(TestHttpServer::ok("one"));
                           clientHasAnswer.wait_for(5s);
                           peer.reset();
                         },
                         Answer(TestHttpServer::ok("two"))});
  HttpClient client("127.0.0.1", server.port(), QuickLimits());
  std::vector<uint8_t> body;
  ASSERT_TRUE(client.get("/tova/version.txt", body));
  answered.set_value();
  ASSERT_TRUE(server.waitForHandled(1));
  ASSERT_TRUE(client.get("/tova/version.txt", body));
  EXPECT_EQ(body, Bytes("two"));
  EXPECT_EQ(server.connections(), 2);
  EXPECT_EQ(server.requests(), (std::vector<std::string>{kRequest, kRequest}));
}

// The failed answer's body is still on the old connection; read as the next answer's
// header it would stand in for the real answer.
TEST_F(HttpClientTest, AFailedGetLeavesTheNextOneAFreshConnection) {
  TestHttpServer server({[](Peer& peer) {
                           peer.readRequest();
                           peer.send(
                               "HTTP/1.1 404 Not Found\r\nContent-Length: 43\r\n\r\n"
                               "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nstale");
                           peer.waitForClose();
                         },
                         Answer(TestHttpServer::ok("fresh"))});
  HttpClient client("127.0.0.1", server.port(), QuickLimits());
  std::vector<uint8_t> body;
  EXPECT_FALSE(client.get("/tova/version.txt", body));
  EXPECT_FALSE(client.connected());
  ASSERT_TRUE(client.get("/tova/version.txt", body));
  EXPECT_EQ(body, Bytes("fresh"));
  EXPECT_EQ(server.connections(), 2);
}

TEST_F(HttpClientTest, WithNobodyListeningEveryGetFails) {
  HttpClient client("127.0.0.1", UnusedPort(), QuickLimits());
  EXPECT_FALSE(client.connected());
  std::vector<uint8_t> body = Bytes("kept");
  EXPECT_FALSE(client.get("/", body));
  EXPECT_FALSE(client.get("/", body));
  EXPECT_EQ(body, Bytes("kept"));
}

// Peers that stall, trickle or never end. Each one, if the client is still there, finally
// completes a valid answer: a client missing one of its bounds would take that answer after
// a long wait (or a large allocation) instead of failing.
TEST_F(HttpClientTest, HostilePeersEndInAFailedGet) {
  const std::string finish = "\r\nContent-Length: 1\r\n\r\nx";
  const struct {
    const char* why;
    std::chrono::milliseconds receiveTimeout;
    TestHttpServer::Handler handler;
  } cases[] = {
      {"a header longer than its bound", 1500ms,
       [&](Peer& peer) {
         peer.readRequest();
         std::string header = "HTTP/1.1 200 OK\r\nX-Pad: ";
         header.append(256 * 1024, 'p');
         if (peer.send(header)) peer.send(finish);
       }},
      {"a huge Content-Length", 1500ms,
       [](Peer& peer) {
         peer.readRequest();
         peer.send("HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\n");
         const std::string chunk(64 * 1024, 'b');
         while (peer.send(chunk) && peer.pause(0ms)) {
         }
       }},
      {"silence after the accept", 300ms,
       [](Peer& peer) {
         if (peer.pause(5s)) {
           peer.readRequest();
           peer.send(TestHttpServer::ok("x"));
         }
       }},
      {"silence inside the body", 300ms,
       [](Peer& peer) {
         peer.readRequest();
         peer.send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nabc");
         if (peer.pause(5s)) peer.send("d");
       }},
      // Every single receive is well within its time-out; only the bound of the whole
      // exchange ends it.
      {"a byte a second", 1500ms,
       [&](Peer& peer) {
         peer.readRequest();
         if (!peer.send("HTTP/1.1 200 OK\r\nX-Slow: ")) return;
         for (int i = 0; i < 5; ++i) {
           if (!peer.pause(1s) || !peer.send("s")) return;
         }
         peer.send(finish);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    HttpLimits limits;
    limits.timeouts = {1000ms, 1000ms, c.receiveTimeout};
    limits.exchange = 2500ms;
    TestHttpServer server(c.handler);
    HttpClient client("127.0.0.1", server.port(), limits);
    std::vector<uint8_t> body;
    EXPECT_FALSE(client.get("/tova/version.txt", body));
    EXPECT_LE(body.capacity(), limits.maxBodyBytes);
  }
}

}  // namespace
}  // namespace vessiko
