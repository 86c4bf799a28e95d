// Calendar time. Times on NTFS are FILETIMEs: 100-nanosecond ticks since 1601-01-01 UTC.
#pragma once

#include <cstdint>

namespace vessiko {

// The fields of a Win32 SYSTEMTIME, without the day of the week.
struct CalendarTime {
  uint16_t year = 0;
  uint16_t month = 0;  // 1-12
  uint16_t day = 0;    // 1-31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

// FILETIME ticks at 1970-01-01 UTC.
constexpr uint64_t kUnixEpochFileTime = 116444736000000000ULL;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000ULL;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual CalendarTime utcNow() = 0;
  virtual CalendarTime localNow() = 0;
  virtual uint64_t fileTimeNow() = 0;
  // A UTC FILETIME as local calendar time (FileTimeToLocalFileTime, FileTimeToSystemTime).
  virtual CalendarTime toLocal(uint64_t fileTime) = 0;
  // A local calendar time as a UTC FILETIME (SystemTimeToFileTime, LocalFileTimeToFileTime).
  virtual uint64_t fromLocal(const CalendarTime& local) = 0;
};

Clock& SystemClock();

// Conversions between FILETIME and calendar time in UTC, shared by every implementation.
CalendarTime FileTimeToCalendar(uint64_t fileTime);
uint64_t CalendarToFileTime(const CalendarTime& time);

}  // namespace vessiko
