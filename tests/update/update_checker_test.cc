#include "update/update_checker.h"

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/fakes/recording_messages.h"
#include "tests/update/scripted_sockets.h"
#include "tests/update/test_http_server.h"

namespace vessiko {
namespace {

using namespace std::chrono_literals;
using Peer = TestHttpServer::Peer;

class RecordingOpener final : public UrlOpener {
 public:
  void openUrl(const std::string& url) override {
    std::lock_guard lock(mutex_);
    urls_.push_back(url);
    thread_ = std::this_thread::get_id();
  }
  std::vector<std::string> urls() const {
    std::lock_guard lock(mutex_);
    return urls_;
  }
  std::thread::id thread() const {
    std::lock_guard lock(mutex_);
    return thread_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> urls_;
  std::thread::id thread_;
};

const std::string kPageUrl = "http://127.0.0.1/tova/";

class UpdateCheckerTest : public ::testing::Test {
 protected:
  // The version file's server answers with the body; the statistics server counts the ping.
  void serveVersion(std::string body) {
    product_.emplace([this, body](Peer& peer) {
      log("version", peer.readRequest());
      peer.send(TestHttpServer::ok(body));
    });
  }

  UpdateSite site() const {
    UpdateSite site;
    site.productHost = "127.0.0.1";
    site.productPort = product_ ? product_->port() : UnusedPort();
    site.statsHost = "127.0.0.1";
    site.statsPort = stats_.port();
    site.counterPath = "/4242.asp";
    return site;
  }

  HttpLimits limits() const {
    HttpLimits limits;
    limits.timeouts = {2000ms, 2000ms, 2000ms};
    limits.exchange = 4000ms;
    return limits;
  }

  void run() { UpdateChecker(site(), messages_, opener_, limits()).run(); }

  void log(const char* server, const std::string& request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::string(server) + " " + request);
  }
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  TestHttpServer stats_{[this](Peer& peer) {
    log("stats", peer.readRequest());
    peer.send(TestHttpServer::ok("1"));
  }};
  std::optional<TestHttpServer> product_;
  RecordingMessages messages_;
  RecordingOpener opener_;
};

TEST_F(UpdateCheckerTest, PingsThenAsksAboutANewerVersionAndYesOpensThePage) {
  serveVersion("101");
  messages_.queueAnswer(true);
  run();
  EXPECT_EQ(requests(),
            (std::vector<std::string>{
                "stats GET /4242.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Keep-Alive\r\n\r\n",
                "version GET /tova/version.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                "Connection: Keep-Alive\r\n\r\n"}));
  const auto questions = messages_.questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].caption, "新版本下载");
  EXPECT_EQ(questions[0].text, "Vessiko有新版本发布了.\n\n立即登陆" + kPageUrl + " 查看。");
  EXPECT_EQ(questions[0].icon, MessageIcon::kWarning);
  EXPECT_FALSE(questions[0].owned);  // the main window stays usable while it waits
  EXPECT_EQ(opener_.urls(), std::vector<std::string>{kPageUrl});
}

TEST_F(UpdateCheckerTest, AnsweringNoOpensNothing) {
  serveVersion("101");
  messages_.queueAnswer(false);
  run();
  EXPECT_EQ(messages_.questions().size(), 1u);
  EXPECT_TRUE(opener_.urls().empty());
}

TEST_F(UpdateCheckerTest, OnlyANumberAboveTheCurrentVersionAsks) {
  const struct {
    std::string body;
    bool asks;
  } cases[] = {
      {"100", false},
      {"101", true},
      {"101\r\n", true},
      {"102\n", true},
      {" 250 ", true},
      {"99", false},
      {"-200", false},
      {"v101", false},
      {"", false},
      {"\n", false},
      {std::string("\000101", 4), false},
      {"99999999999999999999", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.body));
    serveVersion(c.body);
    messages_.clear();
    messages_.setDefaultAnswer(false);
    run();
    EXPECT_EQ(messages_.questions().size(), c.asks ? 1u : 0u);
    EXPECT_TRUE(opener_.urls().empty());
  }
}

TEST_F(UpdateCheckerTest, AFailedPingDoesNotStopTheVersionCheck) {
  serveVersion("101");
  UpdateSite site = this->site();
  site.statsPort = UnusedPort();
  UpdateChecker(site, messages_, opener_, limits()).run();
  EXPECT_EQ(messages_.questions().size(), 1u);
}

TEST_F(UpdateCheckerTest, WithoutAVersionFileItEndsSilently) {
  run();  // nothing listens for the product web site
  product_.emplace([](Peer& peer) {
    peer.readRequest();
    peer.send("HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\n101");
  });
  run();
  EXPECT_TRUE(messages_.questions().empty());
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_TRUE(messages_.statuses().empty());
  EXPECT_TRUE(opener_.urls().empty());
}

TEST_F(UpdateCheckerTest, WithoutAHostNoSocketIsTouched) {
  ScriptedSockets sockets;
  UpdateChecker(UpdateSite{}, messages_, opener_, limits(), sockets).run();
  UpdateSite pingWithoutPage;
  pingWithoutPage.statsHost = "127.0.0.1";
  UpdateChecker(pingWithoutPage, messages_, opener_, limits(), sockets).run();
  EXPECT_EQ(sockets.calls(), 0);
  EXPECT_TRUE(requests().empty());
  EXPECT_TRUE(messages_.questions().empty());
}

TEST_F(UpdateCheckerTest, StartUpdateCheckRunsOnAThreadOfItsOwn) {
  serveVersion("101");
  messages_.queueAnswer(true);
  std::thread check = StartUpdateCheck(UpdateChecker(site(), messages_, opener_, limits()));
  ASSERT_TRUE(check.joinable());
  const std::thread::id id = check.get_id();
  check.join();
  EXPECT_EQ(opener_.urls(), std::vector<std::string>{kPageUrl});
  EXPECT_EQ(opener_.thread(), id);
}

}  // namespace
}  // namespace vessiko
