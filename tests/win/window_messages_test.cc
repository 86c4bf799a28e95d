// The window's user messages from any thread: status texts reach the status bar through the
// posting route.
#include <thread>

#include "tests/win/main_window_fixture.h"

namespace vessiko::testing {
namespace {

TEST_F(MainWindowTest, StatusFromAWorkerReachesTheStatusBar) {
  std::thread([this] { ShowStatus(messages, -1, "正在扫描(%c)盘，请稍候...", 'C'); }).join();
  EXPECT_TRUE(pumpUntil([this] { return status() == "正在扫描(C)盘，请稍候..."; }));
  std::thread([this] { ShowStatus(messages, 0, "unused"); }).join();
  EXPECT_TRUE(pumpUntil([this] { return status() == "0 个结果!"; }));
}

}  // namespace
}  // namespace vessiko::testing
