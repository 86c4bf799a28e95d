#include "platform/clock.h"

namespace vessiko {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

constexpr int64_t kDaysFrom1601To1970 = 134774;

}  // namespace

CalendarTime FileTimeToCalendar(uint64_t fileTime) {
  const uint64_t totalMs = fileTime / 10000;
  const auto days = static_cast<int64_t>(totalMs / 86400000);
  const uint64_t msOfDay = totalMs % 86400000;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days - kDaysFrom1601To1970, &y, &m, &d);
  CalendarTime t;
  t.year = static_cast<uint16_t>(y);
  t.month = static_cast<uint16_t>(m);
  t.day = static_cast<uint16_t>(d);
  t.hour = static_cast<uint16_t>(msOfDay / 3600000);
  t.minute = static_cast<uint16_t>(msOfDay / 60000 % 60);
  t.second = static_cast<uint16_t>(msOfDay / 1000 % 60);
  t.milliseconds = static_cast<uint16_t>(msOfDay % 1000);
  return t;
}

uint64_t CalendarToFileTime(const CalendarTime& t) {
  const int64_t days = DaysFromCivil(t.year, t.month, t.day) + kDaysFrom1601To1970;
  const int64_t ms =
      ((days * 24 + t.hour) * 60 + t.minute) * 60000 + t.second * 1000 + t.milliseconds;
  return ms < 0 ? 0 : static_cast<uint64_t>(ms) * 10000;
}

}  // namespace vessiko
