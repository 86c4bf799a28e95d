#include "update/winsock_guard.h"

#include <gtest/gtest.h>

#include "tests/update/scripted_sockets.h"

namespace vessiko {
namespace {

TEST(WinsockGuard, AStartedGuardCleansUpOnce) {
  ScriptedSockets sockets;
  {
    WinsockGuard guard(sockets);
    EXPECT_TRUE(guard.started());
    EXPECT_EQ(sockets.cleanups(), 0);
  }
  EXPECT_EQ(sockets.cleanups(), 1);
}

// A cleanup without a start would end the Winsock use of another part of the process.
TEST(WinsockGuard, AFailedStartIsToldAndNeverCleanedUp) {
  ScriptedSockets sockets;
  sockets.startupResult = 10091;  // WSASYSNOTREADY
  testing::internal::CaptureStdout();
  {
    WinsockGuard guard(sockets);
    EXPECT_FALSE(guard.started());
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "WSAStartup(2, 2) Error.\n");
  EXPECT_EQ(sockets.cleanups(), 0);
}

}  // namespace
}  // namespace vessiko
