#include <cctype>
#include <cmath>
#include <cstdio>

#include "text/text.h"

namespace sproutsmith::text {
namespace {

const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

std::string Pad2(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

// Rounds half away from zero to the given number of decimals.
double RoundAway(double v, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(v * scale) / scale;
}

}  // namespace

std::string Format(double value, std::string_view format) {
  const std::string f(format);
  const size_t point = f.find('.');
  const std::string intPart = point == std::string::npos ? f : f.substr(0, point);
  int minInt = 0;
  for (char c : intPart) minInt += c == '0';
  int decimals = 0;
  if (point != std::string::npos) {
    for (size_t i = point + 1; i < f.size(); ++i) decimals += f[i] == '0' || f[i] == '#';
  }
  double rounded = RoundAway(value, decimals);
  if (rounded == 0) rounded = 0;  // no "-0"
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(rounded));
  std::string digits(buf);
  std::string whole = digits.substr(0, digits.find('.'));
  std::string frac = decimals > 0 ? digits.substr(digits.find('.')) : "";
  if (whole == "0" && minInt == 0) whole.clear();
  while (static_cast<int>(whole.size()) < minInt) whole.insert(whole.begin(), '0');
  return std::string(rounded < 0 ? "-" : "") + whole + frac;
}

std::string Format(long long value, std::string_view format) {
  if (format.find('.') == std::string_view::npos) {
    int minInt = 0;
    for (char c : format) minInt += c == '0';
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits == "0" && minInt == 0) digits.clear();
    while (static_cast<int>(digits.size()) < minInt) digits.insert(digits.begin(), '0');
    return (value < 0 ? "-" : "") + digits;
  }
  return Format(static_cast<double>(value), format);
}

std::string LongDate(const DateTime& v) {
  return std::string(kDayNames[v.Weekday()]) + ", " + kMonthNames[v.month - 1] + " " +
         std::to_string(v.day) + ", " + std::to_string(v.year);
}

std::string LongTime(const DateTime& v) {
  const int h12 = v.hour % 12 == 0 ? 12 : v.hour % 12;
  return std::to_string(h12) + ":" + Pad2(v.minute) + ":" + Pad2(v.second) +
         (v.hour < 12 ? " AM" : " PM");
}

std::string Format(const DateTime& v, std::string_view format) {
  const std::string named = UCase(Trim(format));
  if (named == "LONG DATE") return LongDate(v);
  if (named == "LONG TIME") return LongTime(v);
  if (named == "SHORT DATE") {
    return std::to_string(v.month) + "/" + std::to_string(v.day) + "/" + std::to_string(v.year);
  }
  const std::string f = UCase(format);
  const bool twelveHour =
      f.find("AMPM") != std::string::npos || f.find("AM/PM") != std::string::npos;
  std::string out;
  bool afterHour = false;  // an M right after an hour token means minutes
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < f.size() && f[i + n] == c) ++n;
    return n;
  };
  while (i < f.size()) {
    const char c = f[i];
    if (f.compare(i, 5, "AM/PM") == 0) {
      out += v.hour < 12 ? "AM" : "PM";
      i += 5;
      continue;
    }
    if (f.compare(i, 4, "AMPM") == 0) {
      out += v.hour < 12 ? "AM" : "PM";
      i += 4;
      continue;
    }
    const size_t n = run(c);
    switch (c) {
      case 'Y':
        out += n >= 3 ? std::to_string(v.year) : Pad2(v.year % 100);
        afterHour = false;
        break;
      case 'M': {
        // Minutes when it follows an hour or is followed by seconds.
        size_t k = i + n;
        while (k < f.size() && !std::isalpha(static_cast<unsigned char>(f[k]))) ++k;
        const bool beforeSeconds = k < f.size() && f[k] == 'S';
        if ((afterHour || beforeSeconds) && n <= 2) {
          out += n == 2 ? Pad2(v.minute) : std::to_string(v.minute);
        } else if (n >= 4) {
          out += kMonthNames[v.month - 1];
        } else if (n == 3) {
          out += std::string(kMonthNames[v.month - 1]).substr(0, 3);
        } else {
          out += n == 2 ? Pad2(v.month) : std::to_string(v.month);
        }
        afterHour = false;
        break;
      }
      case 'N':
        out += n >= 2 ? Pad2(v.minute) : std::to_string(v.minute);
        afterHour = false;
        break;
      case 'D':
        if (n >= 4) {
          out += kDayNames[v.Weekday()];
        } else if (n == 3) {
          out += std::string(kDayNames[v.Weekday()]).substr(0, 3);
        } else {
          out += n == 2 ? Pad2(v.day) : std::to_string(v.day);
        }
        afterHour = false;
        break;
      case 'H': {
        int h = v.hour;
        if (twelveHour) h = h % 12 == 0 ? 12 : h % 12;
        out += n >= 2 ? Pad2(h) : std::to_string(h);
        afterHour = true;
        break;
      }
      case 'S':
        out += n >= 2 ? Pad2(v.second) : std::to_string(v.second);
        afterHour = false;
        break;
      default:
        // Separators keep the "after an hour" state so that "HH:MM" reads minutes.
        out.append(format.substr(i, n));
        if (std::isalpha(static_cast<unsigned char>(c))) afterHour = false;
        break;
    }
    i += n;
  }
  return out;
}

bool ParseDateTime(std::string_view text, DateTime& out) {
  const std::string t = Trim(text);
  DateTime dt;
  int a = 0, b = 0, c = 0, h = 0, mi = 0, s = 0;
  char ampm[3] = {0};
  int consumed = 0;
  if (std::sscanf(t.c_str(), "%d-%d-%d%n", &a, &b, &c, &consumed) == 3 && a > 31) {
    dt.year = a, dt.month = b, dt.day = c;
  } else if (std::sscanf(t.c_str(), "%d/%d/%d%n", &a, &b, &c, &consumed) == 3) {
    dt.month = a, dt.day = b, dt.year = c < 100 ? c + (c < 30 ? 2000 : 1900) : c;
  } else {
    consumed = 0;
  }
  std::string rest = Trim(t.substr(static_cast<size_t>(consumed)));
  if (!rest.empty()) {
    int used = 0;
    const int got = std::sscanf(rest.c_str(), "%d:%d%n", &h, &mi, &used);
    if (got != 2) return false;
    int used2 = 0;
    if (std::sscanf(rest.c_str() + used, ":%d%n", &s, &used2) == 1) used += used2;
    const std::string tail = UCase(Trim(rest.substr(static_cast<size_t>(used))));
    if (tail == "PM" && h < 12) h += 12;
    if (tail == "AM" && h == 12) h = 0;
    if (!tail.empty() && tail != "AM" && tail != "PM") return false;
    (void)ampm;
  } else if (consumed == 0) {
    return false;
  }
  if (dt.month < 1 || dt.month > 12 || dt.day < 1 || dt.day > DaysInMonth(dt.year, dt.month) ||
      h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) {
    return false;
  }
  dt.hour = h, dt.minute = mi, dt.second = s;
  out = dt;
  return true;
}

}  // namespace sproutsmith::text
