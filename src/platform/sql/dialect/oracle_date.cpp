// Oracle TO_DATE of a literal, for back ends that keep dates as 'YYYY-MM-DD' text.

#include <cctype>
#include <string_view>

#include "platform/sql/dialect/rewrites.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

constexpr std::string_view kMonths[] = {"JANUARY",   "FEBRUARY", "MARCH",    "APRIL",
                                        "MAY",       "JUNE",     "JULY",     "AUGUST",
                                        "SEPTEMBER", "OCTOBER",  "NOVEMBER", "DECEMBER"};

bool IsAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}
  bool done() const { return pos_ >= s_.size(); }
  // Up to `max` digits (at least one).
  bool Number(int max, int* out) {
    int digits = 0;
    int value = 0;
    while (pos_ < s_.size() && digits < max && s_[pos_] >= '0' && s_[pos_] <= '9') {
      value = value * 10 + (s_[pos_] - '0');
      ++pos_;
      ++digits;
    }
    *out = value;
    return digits > 0;
  }
  bool MonthName(int* out) {
    size_t end = pos_;
    while (end < s_.size() && std::isalpha(static_cast<unsigned char>(s_[end]))) ++end;
    const std::string word = text::UCase(s_.substr(pos_, end - pos_));
    for (int m = 0; m < 12; ++m) {
      if (word.size() >= 3 && kMonths[m].substr(0, word.size()) == word &&
          (word.size() == 3 || word == kMonths[m])) {
        *out = m + 1;
        pos_ = end;
        return true;
      }
    }
    return false;
  }
  bool Meridian(bool* pm) {
    const std::string rest = text::UCase(s_.substr(pos_, 4));
    for (std::string_view m : {"A.M.", "P.M.", "AM", "PM"}) {
      if (rest.compare(0, m.size(), m) == 0) {
        *pm = m[0] == 'P';
        pos_ += m.size();
        return true;
      }
    }
    return false;
  }
  void SkipSeparators() {
    while (pos_ < s_.size() && !IsAlnum(s_[pos_])) ++pos_;
  }

 private:
  std::string_view s_;
  size_t pos_ = 0;
};

}  // namespace

bool OracleDateToText(const std::string& value, const std::string& format, std::string* out) {
  const std::string f = text::UCase(format);
  const std::string trimmed = text::Trim(value);
  Reader in(trimmed);
  int year = -1, month = -1, day = -1, hour = 0, minute = 0, second = 0;
  bool has_time = false, twelve_hour = false, pm = false, two_digit_year = false;
  size_t i = 0;
  auto element = [&](std::string_view name) {
    if (f.compare(i, name.size(), name) != 0) return false;
    i += name.size();
    return true;
  };
  while (i < f.size()) {
    bool ok = true;
    if (!IsAlnum(f[i]) && f[i] != '.') {
      ++i;
      in.SkipSeparators();
      continue;
    }
    if (element("YYYY") || element("RRRR")) {
      ok = in.Number(4, &year);
    } else if (element("YY") || element("RR")) {
      ok = in.Number(2, &year);
      two_digit_year = true;
    } else if (element("MONTH") || element("MON")) {
      ok = in.MonthName(&month);
    } else if (element("MM")) {
      ok = in.Number(2, &month);
    } else if (element("DD")) {
      ok = in.Number(2, &day);
    } else if (element("HH24")) {
      ok = in.Number(2, &hour);
      has_time = true;
    } else if (element("HH12") || element("HH")) {
      ok = in.Number(2, &hour);
      has_time = twelve_hour = true;
    } else if (element("MI")) {
      ok = in.Number(2, &minute);
      has_time = true;
    } else if (element("SS")) {
      ok = in.Number(2, &second);
      has_time = true;
    } else if (element("A.M.") || element("P.M.") || element("AM") || element("PM")) {
      ok = in.Meridian(&pm);
    } else {
      return false;  // a format element we do not know
    }
    if (!ok) return false;
  }
  in.SkipSeparators();
  if (!in.done() || year < 0 || month < 1 || month > 12 || day < 1) return false;
  // RR: 00-49 this century, 50-99 the last one (right for years 2000 to 2049).
  if (two_digit_year) year += year < 50 ? 2000 : 1900;
  if (day > text::DaysInMonth(year, month)) return false;
  if (twelve_hour) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (pm ? 12 : 0);
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  const text::DateTime dt{year, month, day, hour, minute, second, 0};
  *out = text::Format(dt, has_time ? "YYYY-MM-DD HH:NN:SS" : "YYYY-MM-DD");
  return true;
}

// TO_DATE('14-NOV-20', 'DD-MON-RR') → '2020-11-14'; TO_DATE(NULL, ...) → NULL.
void RewriteToDateLiteral(const Tokens& tokens, Editor& editor, size_t word, size_t open) {
  const size_t close = MatchingParen(tokens, open);
  if (close == kNone) return;
  const std::vector<Range> args = SplitAtCommas(tokens, {open + 1, close});
  if (args.size() != 2 || args[0].end - args[0].begin != 1 || args[1].end - args[1].begin != 1 ||
      tokens[args[1].begin].kind != TokenKind::kString) {
    return;
  }
  const Token& value = tokens[args[0].begin];
  if (IsWord(value, "NULL") || (value.kind == TokenKind::kString && StringValue(value).empty())) {
    editor.Replace(word, close + 1, "NULL");  // Oracle reads '' as NULL too
    return;
  }
  std::string date;
  if (value.kind == TokenKind::kString &&
      OracleDateToText(StringValue(value), StringValue(tokens[args[1].begin]), &date)) {
    editor.Replace(word, close + 1, QuoteString(date));
  }
}

}  // namespace sproutsmith::sql::dialect
