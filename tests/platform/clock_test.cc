#include "platform/clock.h"
#include "platform/fakes/fixed_clock.h"

#include <gtest/gtest.h>

namespace vessiko {
namespace {

TEST(Clock, FileTimeAndCalendarAgree) {
  const CalendarTime epoch = FileTimeToCalendar(kUnixEpochFileTime);
  EXPECT_EQ(epoch.year, 1970);
  EXPECT_EQ(epoch.month, 1);
  EXPECT_EQ(epoch.day, 1);
  EXPECT_EQ(epoch.hour, 0);
  // 2024-02-29 13:45:07.250 UTC, a leap day.
  CalendarTime leap{2024, 2, 29, 13, 45, 7, 250};
  const uint64_t ft = CalendarToFileTime(leap);
  EXPECT_EQ(ft, kUnixEpochFileTime + 1709214307250ULL * 10000);
  const CalendarTime back = FileTimeToCalendar(ft);
  EXPECT_EQ(back.year, 2024);
  EXPECT_EQ(back.month, 2);
  EXPECT_EQ(back.day, 29);
  EXPECT_EQ(back.hour, 13);
  EXPECT_EQ(back.minute, 45);
  EXPECT_EQ(back.second, 7);
  EXPECT_EQ(back.milliseconds, 250);
  EXPECT_EQ(FileTimeToCalendar(0).year, 1601);
}

TEST(Clock, LocalConversionsRoundTrip) {
  Clock& clock = SystemClock();
  const uint64_t now = clock.fileTimeNow();
  const CalendarTime local = clock.toLocal(now);
  const uint64_t back = clock.fromLocal(local);
  EXPECT_LT(now > back ? now - back : back - now, 10000u);  // within the dropped sub-millisecond
  const CalendarTime utc = clock.utcNow();
  EXPECT_GE(utc.year, 2024);
}

TEST(FixedClock, LocalTimeIsShiftedUtcAcrossMidnight) {
  const uint64_t utc = CalendarToFileTime({2026, 12, 7, 20, 30, 0, 0});
  FixedClock clock(utc, 8 * 60);
  const CalendarTime local = clock.localNow();
  EXPECT_EQ(local.day, 8);
  EXPECT_EQ(local.hour, 4);
  EXPECT_EQ(local.minute, 30);
  EXPECT_EQ(clock.fromLocal(local), utc);
  EXPECT_EQ(clock.utcNow().hour, 20);
}

}  // namespace
}  // namespace vessiko
