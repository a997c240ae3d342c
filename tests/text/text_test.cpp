#include "text/text.h"

#include <gtest/gtest.h>

namespace sproutsmith::text {
namespace {

TEST(TextTest, PositionsAreOneBased) {
  EXPECT_EQ(Mid("ABCDE", 2, 3), "BCD");
  EXPECT_EQ(Mid("ABCDE", 4), "DE");
  EXPECT_EQ(Mid("ABC", 9, 1), "");
  EXPECT_EQ(Left("ABC", 5), "ABC");
  EXPECT_EQ(Right("ABC", 2), "BC");
  EXPECT_EQ(Left("ABC", -1), "");
  EXPECT_EQ(InStr("A.B.C", "."), 2);
  EXPECT_EQ(InStr(3, "A.B.C", "."), 4);
  EXPECT_EQ(InStr("ABC", "X"), 0);
  EXPECT_EQ(InStr(9, "ABC", "A"), 0);
  EXPECT_EQ(InStrRev("A.B.C", "."), 4);
  EXPECT_EQ(InStrNoCase("Client.System_Id", ".SYSTEM_ID"), 7);
}

TEST(TextTest, TrimTouchesBlanksOnly) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(UCase("abc-Z"), "ABC-Z");
}

TEST(TextTest, ValReadsTheLeadingNumber) {
  EXPECT_EQ(Val("42abc"), 42);
  EXPECT_EQ(Val("  -30"), -30);
  EXPECT_EQ(Val("1 2 3"), 123);
  EXPECT_EQ(Val("3.5e2x"), 350);
  EXPECT_EQ(Val("abc"), 0);
  EXPECT_EQ(Val(""), 0);
  EXPECT_EQ(Val("12:00"), 12);
  EXPECT_TRUE(IsNumeric(" 12.5 "));
  EXPECT_FALSE(IsNumeric("12a"));
  EXPECT_FALSE(IsNumeric(""));
}

TEST(TextTest, ReplaceScansLeftToRight) {
  EXPECT_EQ(Replace("aaa", "aa", "b"), "ba");
  EXPECT_EQ(Replace("x", "", "y"), "x");
  EXPECT_EQ(ReplaceNoCase("From [owner].T, [OWNER].U", "[OWNER]", "DOCSADM"),
            "From DOCSADM.T, DOCSADM.U");
  EXPECT_EQ(Split("a::b:", ":"), (std::vector<std::string>{"a", "", "b", ""}));
}

TEST(TextTest, NumberFormats) {
  EXPECT_EQ(Format(42, "#0"), "42");
  EXPECT_EQ(Format(-30, "#0"), "-30");
  EXPECT_EQ(Format(0, "#0"), "0");
  EXPECT_EQ(Format(7, "00"), "07");
  EXPECT_EQ(Format(2.5, "#0"), "3");
  EXPECT_EQ(Format(-2.5, "#0"), "-3");
  EXPECT_EQ(Format(34567.891, "#0.00"), "34567.89");
  EXPECT_EQ(Format(0.5, "#0.00"), "0.50");
  EXPECT_EQ(Format(123456789012LL, "#0"), "123456789012");
  EXPECT_EQ(Format(0, "#"), "");
}

TEST(TextTest, DateFormatsOnAFixedDate) {
  const DateTime d{2020, 11, 14, 21, 5, 9, 340};  // a Saturday evening
  const std::pair<const char*, const char*> cases[] = {
      {"YYYY-MM-DD", "2020-11-14"},
      {"YYYYMMDD", "20201114"},
      {"YYYY/MM/DD", "2020/11/14"},
      {"YYYY-MM-DD HH:MM:SS", "2020-11-14 21:05:09"},
      {"HH:MM", "21:05"},
      {"HH:MM:SS", "21:05:09"},
      {"hh:mm:ss ampm", "09:05:09 PM"},
      {"HH:MM ampm", "09:05 PM"},
      {"MMM D, YYYY", "Nov 14, 2020"},
      {"DD-MMM-YY", "14-Nov-20"},
      {"MMMM", "November"},
      {"DDDD", "Saturday"},
      {"LONG DATE", "Saturday, November 14, 2020"},
  };
  for (const auto& [format, expected] : cases) EXPECT_EQ(Format(d, format), expected) << format;
  EXPECT_EQ(LongTime(d), "9:05:09 PM");
  EXPECT_EQ(LongTime(DateTime{2020, 1, 1, 0, 0, 0}), "12:00:00 AM");
  EXPECT_EQ(Format(DateTime{2020, 1, 2, 12, 30, 0}, "hh:mm:ss ampm"), "12:30:00 PM");
}

TEST(TextTest, SerialDaysCountFrom1899) {
  EXPECT_EQ((DateTime{1899, 12, 30}.SerialDay()), 0);
  EXPECT_EQ((DateTime{2020, 11, 14}.SerialDay()), 44149);
  EXPECT_EQ(DateTime::FromSerialDay(44149), (DateTime{2020, 11, 14}));
  EXPECT_EQ((DateTime{2026, 12, 6}.Weekday()), 0);  // Sunday
  EXPECT_EQ((DateTime{2020, 12, 31, 23, 59, 59}.AddSeconds(2)), (DateTime{2021, 1, 1, 0, 0, 1}));
  EXPECT_EQ((DateTime{2020, 3, 1}.AddDays(-1)), (DateTime{2020, 2, 29}));
}

TEST(TextTest, ParsesDatesAndTimes) {
  DateTime d;
  ASSERT_TRUE(ParseDateTime("2020-11-14 21:05:09", d));
  EXPECT_EQ(d, (DateTime{2020, 11, 14, 21, 5, 9}));
  ASSERT_TRUE(ParseDateTime("12:30", d));
  EXPECT_EQ(Format(d, "HH:MM"), "12:30");
  ASSERT_TRUE(ParseDateTime("1:15 PM", d));
  EXPECT_EQ(Format(d, "HH:MM"), "13:15");
  EXPECT_FALSE(ParseDateTime("25:00", d));
  EXPECT_FALSE(ParseDateTime("soon", d));
}

}  // namespace
}  // namespace sproutsmith::text
