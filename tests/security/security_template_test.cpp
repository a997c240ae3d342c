#include "security/security_template.h"

#include <gtest/gtest.h>

namespace sproutsmith::security {
namespace {

using S = TrusteeSource;
using Entries = std::vector<TemplateEntry>;

struct ParseCase {
  const char* text;
  Entries expected;
};

TEST(SecurityTemplateTest, EntriesAreAcceptedOnlyInTheirDocumentedForms) {
  const ParseCase cases[] = {
      {"%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; GROUP:DOCS_SUPERVISORS = "
       "255; GROUP:DOCS_USERS = 63",
       {{S::kAuthorGroup, "", 127},
        {S::kTypistGroup, "", 127},
        {S::kGroup, "DOCS_SUPERVISORS", 255},
        {S::kGroup, "DOCS_USERS", 63}}},
      // Both separators, leading separators and blanks, letter case of prefixes and names.
      {" ;, groups : a_b=7 , users:o'brien = 8;PEOPLE:x=1;Person:y=2",
       {{S::kGroup, "A_B", 7}, {S::kUser, "O'BRIEN", 8}, {S::kUser, "X", 1}, {S::kUser, "Y", 2}}},
      {"%author%=1;%Author.User_Id%=2;%TYPIST%=3;%TYPIST.USER_ID%=4;"
       "%AUTHOR.PRIMARY_GROUP.GROUP_ID%=5;%typist.primary_group.group_id%=6",
       {{S::kAuthor, "", 1},
        {S::kAuthor, "", 2},
        {S::kTypist, "", 3},
        {S::kTypist, "", 4},
        {S::kAuthorGroup, "", 5},
        {S::kTypistGroup, "", 6}}},
      // No "=", "=" first, no prefix, an unknown prefix or token, an empty name: skipped.
      {"GROUP:X; = 5; DOCS_USERS = 63; PEOPLEX:A = 1; MEMBER:B = 2; %NOBODY% = 3; GROUP: = 4; "
       ":C = 5; %% = 6",
       {}},
      // Rights: the leading number, rounded; text without a number is 0.
      {"GROUP:A = 12.6; GROUP:B = abc; GROUP:C =; GROUP:D = -5; GROUP:E = 63 extra",
       {{S::kGroup, "A", 13},
        {S::kGroup, "B", 0},
        {S::kGroup, "C", 0},
        {S::kGroup, "D", -5},
        {S::kGroup, "E", 63}}},
      {"", {}},
  };
  for (const ParseCase& c : cases) {
    EXPECT_EQ(ParseSecurityTemplate(c.text), c.expected) << c.text;
  }
}

TEST(SecurityTemplateTest, EntriesResolveAgainstTheProfilesPeople) {
  const ProfilePeople people{"USER1", "USER2", "LIT", ""};
  EXPECT_EQ(Resolve({S::kAuthor, "", 5}, people), (Trustee{"USER1", "", 5}));
  EXPECT_EQ(Resolve({S::kTypist, "", 5}, people), (Trustee{"USER2", "", 5}));
  EXPECT_EQ(Resolve({S::kAuthorGroup, "", 5}, people), (Trustee{"", "LIT", 5}));
  EXPECT_EQ(Resolve({S::kUser, "X", 5}, people), (Trustee{"X", "", 5}));
  EXPECT_EQ(Resolve({S::kGroup, "G", 5}, people), (Trustee{"", "G", 5}));
  // The typist has no primary group: the entry names nobody.
  EXPECT_EQ(Resolve({S::kTypistGroup, "", 5}, people), std::nullopt);
  EXPECT_EQ(Resolve({S::kAuthor, "", 5}, ProfilePeople{}), std::nullopt);
}

TEST(SecurityTemplateTest, ZeroRightsAreWrittenAsNoAccess) {
  EXPECT_EQ(WrittenRights(0), "16711680");
  EXPECT_EQ(WrittenRights(63), "63");
  EXPECT_EQ(WrittenRights(-5), "-5");
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
