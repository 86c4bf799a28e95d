#include <time.h>

#include "platform/clock.h"

namespace vessiko {

namespace {

CalendarTime FromTm(const struct tm& tm, long nanoseconds) {
  CalendarTime t;
  t.year = static_cast<uint16_t>(tm.tm_year + 1900);
  t.month = static_cast<uint16_t>(tm.tm_mon + 1);
  t.day = static_cast<uint16_t>(tm.tm_mday);
  t.hour = static_cast<uint16_t>(tm.tm_hour);
  t.minute = static_cast<uint16_t>(tm.tm_min);
  t.second = static_cast<uint16_t>(tm.tm_sec);
  t.milliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
  return t;
}

uint64_t FileTimeOf(const struct timespec& ts) {
  return kUnixEpochFileTime + static_cast<uint64_t>(ts.tv_sec) * kFileTimeTicksPerSecond +
         static_cast<uint64_t>(ts.tv_nsec) / 100;
}

class PosixClock final : public Clock {
 public:
  CalendarTime utcNow() override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    gmtime_r(&ts.tv_sec, &tm);
    return FromTm(tm, ts.tv_nsec);
  }

  CalendarTime localNow() override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    localtime_r(&ts.tv_sec, &tm);
    return FromTm(tm, ts.tv_nsec);
  }

  uint64_t fileTimeNow() override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return FileTimeOf(ts);
  }

  CalendarTime toLocal(uint64_t fileTime) override {
    if (fileTime < kUnixEpochFileTime) return FileTimeToCalendar(fileTime);
    const uint64_t ticks = fileTime - kUnixEpochFileTime;
    const auto seconds = static_cast<time_t>(ticks / kFileTimeTicksPerSecond);
    struct tm tm;
    if (localtime_r(&seconds, &tm) == nullptr) return FileTimeToCalendar(fileTime);
    return FromTm(tm, static_cast<long>(ticks % kFileTimeTicksPerSecond) * 100);
  }

  uint64_t fromLocal(const CalendarTime& local) override {
    struct tm tm = {};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    const time_t seconds = mktime(&tm);
    if (seconds < 0) return CalendarToFileTime(local);
    return kUnixEpochFileTime + static_cast<uint64_t>(seconds) * kFileTimeTicksPerSecond +
           static_cast<uint64_t>(local.milliseconds) * 10000;
  }
};

}  // namespace

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}

}  // namespace vessiko
