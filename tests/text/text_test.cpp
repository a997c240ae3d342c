#include "text/text.h"

#include <gtest/gtest.h>

#include <tuple>

#include "text/json.h"
#include "text/json_reader.h"

namespace sproutsmith::text {
namespace {

using Texts = std::vector<std::string>;

TEST(TextTest, PositionsAreOneBased) {
  EXPECT_EQ((Texts{Mid("ABCDE", 2, 3), Mid("ABCDE", 4), Mid("ABC", 9, 1), Left("ABC", 5),
                   Right("ABC", 2), Left("ABC", -1)}),
            (Texts{"BCD", "DE", "", "ABC", "BC", ""}));
  EXPECT_EQ((std::vector<long>{InStr("A.B.C", "."), InStr(3, "A.B.C", "."), InStr("ABC", "X"),
                               InStr(9, "ABC", "A"), InStrRev("A.B.C", "."),
                               InStrNoCase("Client.System_Id", ".SYSTEM_ID")}),
            (std::vector<long>{2, 4, 0, 0, 4, 7}));
}

TEST(TextTest, TrimTouchesBlanksOnlyAndReplaceScansLeftToRight) {
  EXPECT_EQ((Texts{Trim("  a b  "), Trim("\ta\t"), Trim("   "), UCase("abc-Z"),
                   Replace("aaa", "aa", "b"), Replace("x", "", "y"),
                   ReplaceNoCase("From [owner].T, [OWNER].U", "[OWNER]", "DOCSADM")}),
            (Texts{"a b", "\ta\t", "", "ABC-Z", "ba", "x", "From DOCSADM.T, DOCSADM.U"}));
  EXPECT_EQ(Split("a::b:", ":"), (Texts{"a", "", "b", ""}));
}

TEST(TextTest, ValReadsTheLeadingNumber) {
  EXPECT_EQ((std::vector<double>{Val("42abc"), Val("  -30"), Val("1 2 3"), Val("3.5e2x"),
                                 Val("abc"), Val(""), Val("12:00")}),
            (std::vector<double>{42, -30, 123, 350, 0, 0, 12}));
  EXPECT_EQ((std::vector<bool>{IsNumeric(" 12.5 "), IsNumeric("12a"), IsNumeric("")}),
            (std::vector<bool>{true, false, false}));
}

TEST(TextTest, NumberFormats) {
  EXPECT_EQ((Texts{Format(42, "#0"), Format(-30, "#0"), Format(0, "#0"), Format(7, "00"),
                   Format(2.5, "#0"), Format(-2.5, "#0"), Format(34567.891, "#0.00"),
                   Format(0.5, "#0.00"), Format(123456789012LL, "#0"), Format(0, "#")}),
            (Texts{"42", "-30", "0", "07", "3", "-3", "34567.89", "0.50", "123456789012", ""}));
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
      {"MMM D, YYYY", "Nov 14, 2020"},
      {"DD-MMM-YY", "14-Nov-20"},
      {"MMMM", "November"},
      {"DDDD", "Saturday"},
      {"LONG DATE", "Saturday, November 14, 2020"}};
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
  ASSERT_TRUE(ParseDateTime("1:15 PM", d));
  EXPECT_EQ(Format(d, "HH:MM"), "13:15");
  EXPECT_FALSE(ParseDateTime("soon", d));
}

// What the JSON writer writes reads back as it was; what is not JSON is refused.
TEST(JsonReaderTest, WhatTheWriterWritesReadsBack) {
  // clang-format off
  const std::string texts[] = {"plain", "QUOTE \"A\" \\ B", "TAB\tNEW\nLINE\r", "\x01\x1f",
                               "caf\xc3\xa9 \xe2\x84\xa2 \xf0\x9f\x93\x81", ""};
  // clang-format on
  for (const std::string& t : texts) {
    JsonWriter json;
    json.BeginObject();
    json.Key("text").String(t);
    json.Key("n").Number(-12.5);
    json.Key("flag").Bool(true);
    json.Key("list").BeginArray();
    json.String(t);
    json.Number(3.0);
    json.EndArray();
    json.Key("empty").BeginArray().EndArray();
    json.EndObject();
    std::string error;
    const std::optional<JsonValue> read = ParseJson(json.Text(), &error);
    ASSERT_TRUE(read) << error << "\n" << json.Text();
    const JsonValue& v = *read;
    const std::vector<JsonValue>& list = v["list"].Items();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(std::tuple(v["text"].Text(), v["n"].Number(), v["flag"].Bool(), list[0].Text(),
                         list[1].Number(), v["empty"].Items().size(), v["absent"].kind(),
                         v["absent"]["deeper"].Text()),
              std::tuple(t, -12.5, true, t, 3.0, 0u, JsonValue::Kind::kNull, ""));
  }
  // A byte outside UTF-8 was written as its code point; a surrogate pair is one character.
  EXPECT_EQ(ParseJson(R"("\u0099\ud83d\udcc1")")->Text(), "\xc2\x99\xf0\x9f\x93\x81");
}

TEST(JsonReaderTest, WhatIsNotJsonIsRefused) {
  for (const char* bad : {"", "{", "[1,", "{\"a\" 1}", "{\"a\":}", "\"open", "tru", "1 2",
                          "{\"a\":1,}", "[1 2]", "\"\\u12\"", "-"}) {
    std::string error;
    EXPECT_FALSE(ParseJson(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  std::string deep(100, '[');
  EXPECT_FALSE(ParseJson(deep + std::string(100, ']')));
}

}  // namespace
}  // namespace sproutsmith::text
