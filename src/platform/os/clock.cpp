#include "platform/os/clock.h"

#include <sys/time.h>

#include <ctime>

namespace sproutsmith::os {
namespace {

text::DateTime FromTm(const std::tm& tm, long micros) {
  return {tm.tm_year + 1900,
          tm.tm_mon + 1,
          tm.tm_mday,
          tm.tm_hour,
          tm.tm_min,
          tm.tm_sec,
          static_cast<int>(micros / 1000)};
}

}  // namespace

text::DateTime SystemClock::Now() const {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm tm{};
  localtime_r(&tv.tv_sec, &tm);
  return FromTm(tm, tv.tv_usec);
}

text::DateTime SystemClock::UtcNow() const {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm tm{};
  gmtime_r(&tv.tv_sec, &tm);
  return FromTm(tm, tv.tv_usec);
}

}  // namespace sproutsmith::os
