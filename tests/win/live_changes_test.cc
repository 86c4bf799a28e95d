// Changes on the simulated volumes while the window is open: the journal monitors apply them
// and the visible results follow.
#include "tests/win/main_window_fixture.h"
#include "ui/resource_ids.h"

namespace vessiko::testing {
namespace {

TEST_F(MainWindowTest, AFileCreatedAndDeletedWhileShownComesAndGoes) {
  search("新建报告");
  EXPECT_EQ(rows(), 0);

  SimVolume& volume = machine.volume('C');
  const uint64_t created = volume.create(SimEntry{probeFolder, u"新建报告.docx", 0, 2048});
  ASSERT_NE(created, 0u);
  ASSERT_TRUE(pumpUntil([this] { return rows() == 1; }));
  EXPECT_EQ(cell(0, 0), "新建报告");
  EXPECT_EQ(cell(0, 1), "docx");
  EXPECT_EQ(cell(0, 2), "C:\\测试\\");
  EXPECT_EQ(cell(0, 3), "2.00 KB");
  EXPECT_EQ(status(), "1 个结果!");

  ASSERT_TRUE(volume.remove(created));
  EXPECT_TRUE(pumpUntil([this] { return rows() == 0; }));
  EXPECT_EQ(status(), "0 个结果!");
}

TEST_F(MainWindowTest, ARenameOutOfTheQueryLeavesTheList) {
  search("qzx");
  ASSERT_EQ(rows(), 2);
  ASSERT_TRUE(machine.volume('C').rename(plainFileProbe, probeFolder, u"renamed"));
  ASSERT_TRUE(pumpUntil([this] { return rows() == 1; }));
  EXPECT_EQ(cell(0, 0), "qzx");
}

}  // namespace
}  // namespace vessiko::testing
