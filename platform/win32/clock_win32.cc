#include <windows.h>

#include "platform/clock.h"

namespace vessiko {

namespace {

CalendarTime FromSystemTime(const SYSTEMTIME& st) {
  CalendarTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.milliseconds = st.wMilliseconds;
  return t;
}

uint64_t FromFileTime(const FILETIME& ft) {
  return static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

FILETIME ToFileTime(uint64_t v) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(v);
  ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
  return ft;
}

class Win32Clock final : public Clock {
 public:
  CalendarTime utcNow() override {
    SYSTEMTIME st;
    GetSystemTime(&st);
    return FromSystemTime(st);
  }

  CalendarTime localNow() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return FromSystemTime(st);
  }

  uint64_t fileTimeNow() override {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return FromFileTime(ft);
  }

  CalendarTime toLocal(uint64_t fileTime) override {
    const FILETIME utc = ToFileTime(fileTime);
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) {
      return FileTimeToCalendar(fileTime);
    }
    return FromSystemTime(st);
  }

  uint64_t fromLocal(const CalendarTime& t) override {
    SYSTEMTIME st = {};
    st.wYear = t.year;
    st.wMonth = t.month;
    st.wDay = t.day;
    st.wHour = t.hour;
    st.wMinute = t.minute;
    st.wSecond = t.second;
    st.wMilliseconds = t.milliseconds;
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) {
      return CalendarToFileTime(t);
    }
    return FromFileTime(utc);
  }
};

}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace vessiko
