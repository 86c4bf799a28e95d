// The service end to end: every mode answers through it exactly as it answers alone, changes
// reach its clients at once, it saves on SIGTERM and loses nothing to kill -9, processes started
// together share one owner, and what crosses the socket is bounded both ways.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "cli/index_owner.h"
#include "cli/service_listener.h"
#include "cli/service_protocol.h"
#include "tests/cli/vessiko_process.h"
#include "tests/mirror/temp_tree.h"

namespace vessiko::testing {
namespace {

using std::chrono::steady_clock;

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Names a shell makes hard: a tab, a line feed, a byte that is not UTF-8, CJK, a space; and
    // an extension in capitals, which the index keeps lowered but a path must not.
    tree.makeDirectory("docs");
    tree.makeDirectory("docs/深");
    tree.makeDirectory(".hidden");
    for (const char* name :
         {"docs/report.txt", "docs/Report final.pdf", "docs/深/报告.doc", "docs/rep\tort\nodd.txt",
          "docs/bad\xFE.rep", ".hidden/rep.cfg", "notes.md"}) {
      tree.writeFile(name, 100);
    }
  }
  std::vector<std::string> with(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--drive", "C=" + tree.root(), "--db-dir", database.root()});
    return args;
  }
  // Every path of the tree, as --paths prints them (the root too), sorted.
  std::vector<std::string> treePaths() const {
    std::vector<std::string> paths{tree.root()};
    for (const std::string& entry : tree.walk())
      paths.push_back(tree.path(entry.substr(2)));
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  static std::vector<std::string> Split(const std::string& out, char end) {
    std::vector<std::string> items;
    for (size_t start = 0, stop; (stop = out.find(end, start)) != out.npos; start = stop + 1)
      items.push_back(out.substr(start, stop - start));
    std::sort(items.begin(), items.end());
    return items;
  }

  TempTree tree;
  TempTree database;
};

TEST_F(ServiceTest, EveryModeAnswersThroughTheServiceAsItDoesAlone) {
  const std::vector<std::vector<std::string>> commands = {
      {"rep"},
      {"-0", "?*"},
      {"--paths", "rep"},
      {"--count", "?*"},
      {"--limit", "3", "--paths", "?*"},
      {"--case", "Rep"},
      {"--no-folders", "?*"},
      {"--no-files", "?*"},
      {"--scope", tree.path("docs"), "?*"},
      {"--scope-top", tree.root(), "--paths", "?*"},
      {"--size", "gt,50,B", "--paths", "?*"},
      {"--attr", "hidden", "?*"},
      {"--date", "modified,after,2000-01-01", "--paths", "?*"},
      {"rep", "txt pdf"},
      {"--scope", "/", "x"},  // outside every tree: the window's refusal
  };
  std::vector<Outcome> alone;
  for (const auto& command : commands)
    alone.push_back(RunVessiko(with(command)));
  ServiceVessiko service(with({}));
  ASSERT_TRUE(service.serving()) << service.err();
  for (size_t i = 0; i < commands.size(); ++i) {
    const Outcome through = RunVessiko(with(commands[i]));
    EXPECT_EQ(through.status, alone[i].status) << i << ": " << through.err;
    EXPECT_EQ(through.out, alone[i].out) << i;
    // Nothing was opened: the start-up's status texts are the service's alone.
    EXPECT_EQ(through.err.find("正在更新数据库..."), std::string::npos) << i;
  }
  EXPECT_EQ(Split(RunVessiko(with({"-0", "?*"})).out, '\0'), treePaths());

  // Piped queries through the service, and a client that names no drive gets the service's.
  const std::vector<std::string> rows = Split(alone[0].out, '\n');
  PipedVessiko piped(with({}));
  std::vector<std::string> answered = piped.query("rep");
  std::sort(answered.begin(), answered.end());
  EXPECT_EQ(answered, rows);
  EXPECT_EQ(piped.finish(), 0);
  EXPECT_EQ(RunVessiko({"--db-dir", database.root(), "rep"}).out, alone[0].out);

  const Outcome other =
      RunVessiko({"--drive", "D=" + tree.root(), "--db-dir", database.root(), "x"});
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("owned by a process serving C=" + tree.root()), std::string::npos)
      << other.err;
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

TEST_F(ServiceTest, ChangesReachClientsAtOnceAndSigtermSavesForTheNextStart) {
  ServiceVessiko service(with({"--save-interval", "3600"}));
  ASSERT_TRUE(service.serving()) << service.err();
  const auto seenWithin = [&](const std::string& query, const std::string& expected) {
    const auto start = steady_clock::now();
    while (RunVessiko(with({"--paths", query})).out != expected) {
      if (steady_clock::now() - start > std::chrono::seconds(2)) return false;
    }
    return true;
  };
  tree.writeFile("docs/fresh.txt");
  EXPECT_TRUE(seenWithin("fresh", tree.path("docs/fresh.txt") + "\n"));
  tree.rename("docs", "papers");
  EXPECT_TRUE(seenWithin("fresh", tree.path("papers/fresh.txt") + "\n"));
  tree.remove("papers/fresh.txt");
  EXPECT_TRUE(seenWithin("fresh", ""));

  EXPECT_EQ(service.stop(SIGTERM), 0);
  tree.writeFile("late.txt");
  const Outcome next = RunVessiko(with({"-0", "?*"}));
  EXPECT_EQ(Split(next.out, '\0'), treePaths());
  // The saved index and mirror state were a pair: loaded and caught up, not built again.
  EXPECT_NE(next.err.find("正在更新数据库..."), std::string::npos) << next.err;
  EXPECT_EQ(next.err.find("正在扫描"), std::string::npos) << next.err;
}

TEST_F(ServiceTest, KillNineLosesNothingAndThePeriodicSaveIsAPair) {
  {
    ServiceVessiko service(with({"--save-interval", "1"}));
    ASSERT_TRUE(service.serving()) << service.err();
    tree.writeFile("docs/before.txt");
    const auto start = steady_clock::now();
    while (RunVessiko(with({"--count", "before"})).out != "1\n" &&
           steady_clock::now() - start < std::chrono::seconds(5)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // a save or two
    tree.writeFile("docs/unsaved.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(service.stop(SIGKILL), -1);
  }
  tree.rename("docs/report.txt", "docs/report2.txt");
  ServiceVessiko again(with({}));
  ASSERT_TRUE(again.serving()) << again.err();
  EXPECT_EQ(Split(RunVessiko(with({"-0", "?*"})).out, '\0'), treePaths());
  EXPECT_NE(again.err().find("正在更新数据库..."), std::string::npos) << again.err();
  EXPECT_EQ(again.err().find("正在扫描"), std::string::npos) << again.err();
}

TEST_F(ServiceTest, ProcessesStartedTogetherShareOneOwner) {
  // Five processes on a folder with no index yet: one owns it, the others wait and ask it (a
  // piped session answers them while it runs).
  std::vector<Outcome> outcomes(5);
  std::vector<std::thread> runs;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    runs.emplace_back([&, i] {
      outcomes[i] = i == 0 ? RunVessiko(with({"-0"}), "?*\n") : RunVessiko(with({"-0", "?*"}));
    });
  }
  for (std::thread& run : runs)
    run.join();
  for (const Outcome& outcome : outcomes) {
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::vector<std::string> paths = Split(outcome.out, '\0');
    paths.erase(std::remove(paths.begin(), paths.end(), ""), paths.end());
    EXPECT_EQ(paths, treePaths());
  }
  // The index was built once, by whichever process owned it first.
  int builds = 0;
  for (const Outcome& outcome : outcomes)
    builds += outcome.err.find("正在扫描") != std::string::npos;
  EXPECT_EQ(builds, 1);
  // What they left is one owner's pair: the next start catches up.
  tree.writeFile("after.txt");
  const Outcome next = RunVessiko(with({"-0", "?*"}));
  EXPECT_EQ(Split(next.out, '\0'), treePaths());
  EXPECT_EQ(next.err.find("正在扫描"), std::string::npos) << next.err;
}

// Sends bytes to the service and reads its answer's kind (0: none, or the connection closed).
uint8_t Ask(const std::string& folder, const std::string& bytes) {
  const int fd = ConnectToOwner(folder);
  if (fd < 0) return 0;
  WriteAll(fd, bytes);
  std::string body;
  pollfd ready{fd, POLLIN, 0};
  uint8_t kind = 0;
  if (poll(&ready, 1, 2000) > 0 && ReadFrame(fd, kMaxAnswerBytes, &body) == FrameRead::kFrame &&
      !body.empty()) {
    kind = static_cast<uint8_t>(body[0]);
  }
  close(fd);
  return kind;
}

TEST_F(ServiceTest, MalformedAndHugeRequestsGetAnErrorAndHarmNothing) {
  ServiceVessiko service(with({}));
  ASSERT_TRUE(service.serving()) << service.err();
  const std::string folder = database.root();
  const auto error = static_cast<uint8_t>(MessageKind::kError);
  EXPECT_EQ(Ask(folder, std::string("\xF0\xFF\xFF\x7F", 4)), error);      // 2 GiB announced
  EXPECT_EQ(Ask(folder, std::string("\x01\x00\x00\x00\x02", 5)), error);  // a search unopened
  FrameWriter open(MessageKind::kOpen);
  open.u32(kProtocolVersion);
  open.u32(0xFFFFFFFF);  // drives: more than the frame holds
  EXPECT_EQ(Ask(folder, open.finish()), error);

  // Random frames, each after a valid opening half of the time.
  CommandLine line;
  FrameWriter valid(MessageKind::kOpen);
  EncodeOptions(line, valid);
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    std::string bytes = i % 2 == 0 ? valid.finish() : std::string();
    std::string body(std::uniform_int_distribution<size_t>(0, 40)(random), '\0');
    for (char& c : body)
      c = static_cast<char>(random());
    if (!body.empty() && i % 3 == 0) body[0] = static_cast<char>(1 + random() % 6);
    const auto length = static_cast<uint32_t>(body.size());
    bytes += std::string{static_cast<char>(length), 0, 0, 0} + body;
    Ask(folder, bytes);
  }
  EXPECT_EQ(kill(service.pid(), 0), 0);
  EXPECT_EQ(RunVessiko(with({"--paths", "notes"})).out, tree.path("notes.md") + "\n");
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

// The test plays an owner that ends after the first part of a long answer.
TEST_F(ServiceTest, AnOwnerThatDiesMidAnswerIsAnErrorNotAShortList) {
  FolderLock lock(database.root());
  std::string error;
  ASSERT_TRUE(lock.tryLock(&error)) << error;
  const SocketAddress address(database.root());
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(listener, address.address(), address.length()), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  Outcome outcome;
  std::thread client([&] { outcome = RunVessiko(with({"--paths", "?*"})); });
  const int fd = accept(listener, nullptr, nullptr);
  std::string body;
  ASSERT_EQ(ReadFrame(fd, kMaxRequestBytes, &body), FrameRead::kFrame);
  FrameWriter opened(MessageKind::kOpened);
  WriteAll(fd, opened.finish());
  ASSERT_EQ(ReadFrame(fd, kMaxRequestBytes, &body), FrameRead::kFrame);
  FrameWriter searched(MessageKind::kSearched);
  searched.u8(1);
  searched.u32(1000);
  searched.bytes("");
  searched.u32(0);
  WriteAll(fd, searched.finish());
  ASSERT_EQ(ReadFrame(fd, kMaxRequestBytes, &body), FrameRead::kFrame);
  FrameWriter part(MessageKind::kRowsPart);
  part.u32(1);
  part.bytes(std::string("/first\n"));
  WriteAll(fd, part.finish());
  close(fd);
  client.join();
  close(listener);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("has gone"), std::string::npos) << outcome.err;
}

TEST(ServicePeer, OnlyTheSameUserIsServed) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  EXPECT_TRUE(PeerIsUser(pair[0], geteuid()));
  EXPECT_FALSE(PeerIsUser(pair[0], geteuid() + 1));
  close(pair[0]);
  close(pair[1]);
}

}  // namespace
}  // namespace vessiko::testing
