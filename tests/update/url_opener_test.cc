#include "platform/url_opener.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace vessiko {
namespace {

// A stand-in xdg-open first on PATH writes down the arguments it was given; no browser is
// started and nothing leaves the machine.
TEST(UrlOpener, TheAddressReachesXdgOpenAsOneArgumentUntouchedByAShell) {
  char folder[] = "/tmp/vessiko_opener_XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string dir = folder;
  {
    std::ofstream script(dir + "/xdg-open");
    script << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"" << dir << "/args.tmp\"\n"
           << "mv \"" << dir << "/args.tmp\" \"" << dir << "/args\"\n";
  }
  ASSERT_EQ(::chmod((dir + "/xdg-open").c_str(), 0755), 0);
  const std::string oldPath = ::getenv("PATH") != nullptr ? ::getenv("PATH") : "/usr/bin:/bin";
  ::setenv("PATH", (dir + ":" + oldPath).c_str(), 1);

  const std::string url = "http://127.0.0.1/tova/?a=1&b='x' $(touch " + dir + "/pwned);y";
  SystemUrlOpener().openUrl(url);
  ::setenv("PATH", oldPath.c_str(), 1);

  // The opener runs detached; give it time to write.
  std::string args;
  for (int i = 0; i < 500 && args.empty(); ++i) {
    std::ifstream in(dir + "/args");
    std::stringstream text;
    text << in.rdbuf();
    args = text.str();
    if (args.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(args, "1\n" + url + "\n");
  EXPECT_NE(::access((dir + "/pwned").c_str(), F_OK), 0);

  ::unlink((dir + "/args").c_str());
  ::unlink((dir + "/xdg-open").c_str());
  ::rmdir(folder);
}

}  // namespace
}  // namespace vessiko
