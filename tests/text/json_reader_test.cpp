// What the JSON writer writes reads back as it was; what is not JSON is refused.

#include "text/json_reader.h"

#include <gtest/gtest.h>

#include "text/json.h"

namespace sproutsmith::text {
namespace {

TEST(JsonReaderTest, WhatTheWriterWritesReadsBack) {
  const std::string texts[] = {"plain", "QUOTE \"A\" \\ B", "TAB\tNEW\nLINE\r", "\x01\x1f",
                               "caf\xc3\xa9 \xe2\x84\xa2 \xf0\x9f\x93\x81", ""};
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
    EXPECT_EQ((*read)["text"].Text(), t);
    EXPECT_EQ((*read)["n"].Number(), -12.5);
    EXPECT_TRUE((*read)["flag"].Bool());
    ASSERT_EQ((*read)["list"].Items().size(), 2u);
    EXPECT_EQ((*read)["list"].Items()[0].Text(), t);
    EXPECT_EQ((*read)["list"].Items()[1].Number(), 3.0);
    EXPECT_TRUE((*read)["empty"].Items().empty());
    EXPECT_EQ((*read)["absent"].kind(), JsonValue::Kind::kNull);
    EXPECT_EQ((*read)["absent"]["deeper"].Text(), "");
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
