#pragma once
// The text helpers the engine's algorithms are written in. Positions are 1-based, as in
// the product's own descriptions (Mid("ABC", 2, 1) == "B", InStr finds at 1 or returns 0).
// Pure functions: no I/O, no locale.

#include <concepts>
#include <string>
#include <string_view>
#include <vector>

#include "text/datetime.h"

namespace sproutsmith::text {

// Removes leading and trailing blanks (spaces only; tabs and line breaks stay).
std::string Trim(std::string_view s);
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);
std::string UCase(std::string_view s);
std::string LCase(std::string_view s);

// Left/Right clamp n to [0, length]. Mid counts from 1; a start past the end gives "".
std::string Left(std::string_view s, long n);
std::string Right(std::string_view s, long n);
std::string Mid(std::string_view s, long start);
std::string Mid(std::string_view s, long start, long length);

// 1-based position of needle in haystack at or after start; 0 when absent.
// An empty needle is found at start (when start is within the text).
long InStr(std::string_view haystack, std::string_view needle);
long InStr(long start, std::string_view haystack, std::string_view needle);
// Case-insensitive (ASCII) variant.
long InStrNoCase(std::string_view haystack, std::string_view needle);
// 1-based position of the last occurrence; 0 when absent.
long InStrRev(std::string_view haystack, std::string_view needle);

// Every occurrence of `from`, scanning left to right; an empty `from` changes nothing.
std::string Replace(std::string_view s, std::string_view from, std::string_view to);
// The same, matching `from` without regard to ASCII letter case.
std::string ReplaceNoCase(std::string_view s, std::string_view from, std::string_view to);

// The leading number of the text (blanks before and inside the digits are skipped);
// 0 when the text does not begin with a number.
double Val(std::string_view s);
// Whether the whole trimmed text is a number (sign, digits, one decimal point, exponent).
bool IsNumeric(std::string_view s);

bool StartsWith(std::string_view s, std::string_view prefix);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EndsWith(std::string_view s, std::string_view suffix);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Characters of a UTF-8 text (continuation bytes do not count).
long CharacterCount(std::string_view s);

// Splits at every occurrence of the separator (no trimming, empty pieces kept).
std::vector<std::string> Split(std::string_view s, std::string_view separator);

// A line of 70 "-": closes every section of the log.
inline constexpr std::string_view kSeparator =
    "----------------------------------------------------------------------";
inline constexpr std::string_view kCrLf = "\r\n";

// Number formats: "#0", "0", "00", "#0.00" and the like: digits after the decimal point
// as many as its zeros, at least as many integer digits as the zeros before it,
// rounding half away from zero.
std::string Format(double value, std::string_view format);
std::string Format(long long value, std::string_view format);
inline std::string Format(int value, std::string_view format) {
  return Format(static_cast<long long>(value), format);
}
inline std::string Format(long value, std::string_view format) {
  return Format(static_cast<long long>(value), format);
}

// Date and time formats, letter case ignored as the product writes them: "YYYY", "YY",
// "MMMM", "MMM", "MM", "M", "DDDD", "DDD", "DD", "D", "HH", "H", "NN" / "MM" after an hour
// (minutes), "SS", "AMPM" (12-hour clock with AM/PM), and the named formats "LONG DATE",
// "LONG TIME", "SHORT DATE". Other characters are copied.
std::string Format(const DateTime& value, std::string_view format);
// `s` in double quotes, as the log names a folder, a workspace or an item.
inline std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }
// A whole number as the log and the SQL write it: Format(value, "#0").
template <std::integral T>
std::string Number(T value) {
  return Format(static_cast<long long>(value), "#0");
}
// "Sunday, December 6, 2026".
std::string LongDate(const DateTime& value);
// "9:04:29 AM".
std::string LongTime(const DateTime& value);

// Parses "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]", "HH:MM[:SS]" (time only: date 1899-12-30)
// and "M/D/YYYY [H:MM[:SS] [AM|PM]]". Returns false when the text is not such a value.
bool ParseDateTime(std::string_view text, DateTime& out);

}  // namespace sproutsmith::text
