#include "text/datetime.h"

namespace sproutsmith::text {
namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (Howard Hinnant's algorithm).
long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

constexpr long kSerialEpochFromUnix = 25569;  // 1899-12-30 .. 1970-01-01

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[(month - 1) % 12];
}

long DateTime::SerialDay() const { return DaysFromCivil(year, month, day) + kSerialEpochFromUnix; }

DateTime DateTime::FromSerialDay(long serial) {
  DateTime dt;
  CivilFromDays(serial - kSerialEpochFromUnix, dt.year, dt.month, dt.day);
  return dt;
}

int DateTime::Weekday() const {
  const long days = DaysFromCivil(year, month, day);  // 1970-01-01 was a Thursday
  return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

double DateTime::SecondsSinceMidnight() const {
  return hour * 3600.0 + minute * 60.0 + second + millisecond / 1000.0;
}

std::int64_t DateTime::ToEpochSeconds() const {
  return static_cast<std::int64_t>(DaysFromCivil(year, month, day)) * 86400 + hour * 3600 +
         minute * 60 + second;
}

DateTime DateTime::FromEpochSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  DateTime dt;
  CivilFromDays(static_cast<long>(days), dt.year, dt.month, dt.day);
  dt.hour = static_cast<int>(rest / 3600);
  dt.minute = static_cast<int>(rest % 3600 / 60);
  dt.second = static_cast<int>(rest % 60);
  return dt;
}

DateTime DateTime::AddDays(long days) const {
  return AddSeconds(static_cast<std::int64_t>(days) * 86400);
}

DateTime DateTime::AddSeconds(std::int64_t seconds) const {
  DateTime dt = FromEpochSeconds(ToEpochSeconds() + seconds);
  dt.millisecond = millisecond;
  return dt;
}

}  // namespace sproutsmith::text
