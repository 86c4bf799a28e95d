// A Clock for tests: the time stands where the test puts it, and local time is UTC shifted by
// a fixed number of minutes (no daylight saving).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace vessiko {

class FixedClock : public Clock {
 public:
  explicit FixedClock(uint64_t fileTime = 0, int32_t utcOffsetMinutes = 0)
      : now_(fileTime), offset_(static_cast<int64_t>(utcOffsetMinutes) * 60 * 10000000LL) {}

  void set(uint64_t fileTime) { now_ = fileTime; }
  void set(const CalendarTime& utc) { now_ = CalendarToFileTime(utc); }

  CalendarTime utcNow() override { return FileTimeToCalendar(now_); }
  CalendarTime localNow() override { return toLocal(now_); }
  uint64_t fileTimeNow() override { return now_; }
  CalendarTime toLocal(uint64_t fileTime) override {
    return FileTimeToCalendar(static_cast<uint64_t>(static_cast<int64_t>(fileTime) + offset_));
  }
  uint64_t fromLocal(const CalendarTime& local) override {
    return static_cast<uint64_t>(static_cast<int64_t>(CalendarToFileTime(local)) - offset_);
  }

 private:
  std::atomic<uint64_t> now_;
  int64_t offset_;
};

}  // namespace vessiko
