#pragma once
// A calendar date and time of day, as the engine's clock reports it (local time).
// Serial days count from 30 December 1899, the epoch of the product's build number.

#include <cstdint>

namespace sproutsmith::text {

struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  // Days since 30 December 1899 (the date part only).
  long SerialDay() const;
  static DateTime FromSerialDay(long serial);
  // 0 = Sunday ... 6 = Saturday.
  int Weekday() const;
  // Seconds since midnight with the fraction, like a Timer counter.
  double SecondsSinceMidnight() const;
  // Whole-second ordering and difference (the later minus the earlier, may be negative).
  std::int64_t ToEpochSeconds() const;
  static DateTime FromEpochSeconds(std::int64_t seconds);
  DateTime AddDays(long days) const;
  DateTime AddSeconds(std::int64_t seconds) const;

  friend bool operator==(const DateTime&, const DateTime&) = default;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

}  // namespace sproutsmith::text
