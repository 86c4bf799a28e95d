#include "platform/user_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/fakes/recording_messages.h"

namespace vessiko {
namespace {

TEST(ShowStatus, CountOrFormat) {
  RecordingMessages messages;
  ShowStatus(messages, 0, "unused");
  EXPECT_EQ(messages.lastStatus(), "0 个结果!");
  ShowStatus(messages, 12345, nullptr);
  EXPECT_EQ(messages.lastStatus(), "12345 个结果!");
  ShowStatus(messages, -1, "正在扫描(%c)盘，请稍候...", 'C');
  EXPECT_EQ(messages.lastStatus(), "正在扫描(C)盘，请稍候...");
}

TEST(ShowStatus, LongTextIsCutAtACharacter) {
  RecordingMessages messages;
  std::string chinese;
  for (int i = 0; i < 400; ++i)
    chinese += "中";  // 1200 bytes
  ShowStatus(messages, -1, "x%s", chinese.c_str());
  const std::string shown = messages.lastStatus();
  EXPECT_LT(shown.size(), kStatusTextBytes);
  EXPECT_EQ((shown.size() - 1) % 3, 0u);
  EXPECT_EQ(shown.substr(shown.size() - 3), "中");
}

TEST(ShowError, ErrorBoxFromAnyThread) {
  RecordingMessages messages;
  std::thread worker([&] { ShowError(messages, "创建卷%c失败 代码%d", 'D', 5); });
  worker.join();
  const auto all = messages.messages();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].caption, "错误");
  EXPECT_EQ(all[0].text, "创建卷D失败 代码5");
  EXPECT_EQ(all[0].icon, MessageIcon::kError);
}

}  // namespace
}  // namespace vessiko
