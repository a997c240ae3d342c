#include "security/security_template.h"

#include <gtest/gtest.h>

namespace sproutsmith::security {
namespace {

// The accepted entries as "source:NAME=rights", joined by ", ".
std::string Parsed(const char* text) {
  static const char* const kSources[] = {"group",  "user",         "author",
                                         "typist", "author-group", "typist-group"};
  std::string parsed;
  for (const TemplateEntry& e : ParseSecurityTemplate(text)) {
    parsed += (parsed.empty() ? "" : ", ") + std::string(kSources[static_cast<int>(e.source)]) +
              (e.name.empty() ? "" : ":" + e.name) + "=" + ::testing::PrintToString(e.rights);
  }
  return parsed;
}

TEST(SecurityTemplateTest, EntriesAreAcceptedOnlyInTheirDocumentedForms) {
  const std::pair<const char*, const char*> cases[] = {
      // Both separators, leading separators and blanks, letter case of prefixes and names.
      {" ;, groups : a_b=7 , users:o'brien = 8;PEOPLE:x=1;Person:y=2",
       "group:A_B=7, user:O'BRIEN=8, user:X=1, user:Y=2"},
      {"%author%=1;%Author.User_Id%=2;%TYPIST%=3;%TYPIST.USER_ID%=4;"
       "%AUTHOR.PRIMARY_GROUP.GROUP_ID%=5;%typist.primary_group.group_id%=6",
       "author=1, author=2, typist=3, typist=4, author-group=5, typist-group=6"},
      // No "=", "=" first, no prefix, an unknown prefix or token, an empty name: skipped.
      {"GROUP:X; = 5; DOCS_USERS = 63; PEOPLEX:A = 1; MEMBER:B = 2; %NOBODY% = 3; GROUP: = 4; "
       ":C = 5; %% = 6",
       ""},
      // Rights: the leading number, rounded; text without a number is 0.
      {"GROUP:A = 12.6; GROUP:B = abc; GROUP:C =; GROUP:D = -5; GROUP:E = 63 extra",
       "group:A=13, group:B=0, group:C=0, group:D=-5, group:E=63"},
      {"", ""},
  };
  for (const auto& [text, parsed] : cases) EXPECT_EQ(Parsed(text), parsed) << text;
}

TEST(SecurityTemplateTest, ATrusteeNamedTwiceIsListedOnceWithTheLargerRights) {
  TrusteeList list;
  EXPECT_TRUE(list.Add({"", "LIT", 63}));
  EXPECT_TRUE(list.Add({"LIT", "", 5}));  // a user of the same name is another trustee
  EXPECT_FALSE(list.Add({"", "LIT", 127}));
  EXPECT_FALSE(list.Add({"", "LIT", 0}));
  EXPECT_TRUE(list.Add({"", "A_B", 0}));
  EXPECT_EQ(list.entries(),
            (std::vector<Trustee>{{"", "LIT", 127}, {"LIT", "", 5}, {"", "A_B", 0}}));
  EXPECT_TRUE(list.NamesGroup("A_B"));
  EXPECT_FALSE(list.NamesGroup("AXB"));
  EXPECT_FALSE(list.NamesGroup(""));
  EXPECT_TRUE(list.NamesUser("LIT"));
  EXPECT_FALSE(list.NamesUser("lit"));
  EXPECT_TRUE(list.AnyPositiveRights());

  list.MarkPresent("", "A_B");
  list.MarkPresent("NOBODY", "");
  list.MarkPresent("", "");
  EXPECT_EQ(list.entries(),
            (std::vector<Trustee>{{"", "LIT", 127}, {"LIT", "", 5}, {"", "A_B", 0, true}}));

  TrusteeList denials;
  denials.Add({"", "A_B", 0});
  denials.Add({"X", "", -1});
  EXPECT_FALSE(denials.AnyPositiveRights());
}

}  // namespace
}  // namespace sproutsmith::security
