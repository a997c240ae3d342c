#include "security/add_security.h"

#include <gtest/gtest.h>

#include "security/security_session.h"
#include "security/security_template.h"

namespace sproutsmith::security {
namespace {

using enum SecurityResult;

// The demo's template for its rules.
const char* const kDefaultTemplate =
    "%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; GROUP:DOCS_SUPERVISORS = 255; "
    "GROUP:DOCS_USERS = 63";

class AddSecurityTest : public SecuritySession {
 protected:
  SecurityResult Add(long long n, const std::string& security_template, bool append = false,
                     const std::string& doc_type = "F", const std::string& item_library = "DEMO") {
    return AddSecurity(context(), connection(), {.number = n, .library = item_library},
                       Rule(append, security_template), doc_type);
  }
  // Add() as Left() tells it.
  std::string Added(long long n, const std::string& security_template, bool append = false,
                    const std::string& doc_type = "F", const std::string& item_library = "DEMO") {
    return Left(Add(n, security_template, append, doc_type, item_library), n, item_library);
  }
};

TEST_F(AddSecurityTest, TheDefaultTemplateGivesGroupsTheirRightsAndAuthorAndTypistFullRights) {
  const std::string security_template = kDefaultTemplate;
  const long long n = Item("USER1", "USER2");
  context().options.LabelStatus = "Before";
  const int refreshes = Refreshes();

  const std::string applied =
      "applied: A_B 127, DOCS_SUPERVISORS 255, DOCS_USERS 63, LIT 127, USER1 191, USER2 191 / 1 1 "
      "98";
  EXPECT_EQ(Added(n, security_template), applied) << Dump();
  EXPECT_EQ(Refreshes(), refreshes + 1);
  EXPECT_EQ(context().options.LabelStatus, "Before");
  EXPECT_EQ(connection().LibraryName(), "DEMO");

  const std::string d = N(n);
  EXPECT_TRUE(
      Once({"AddSecurity: Assigning security for document #" + d + " using template \"" +
                security_template + "\"",
            "Adding trustee LIT with rights 127", "Adding trustee A_B with rights 127",
            "4 trustee(s) identified for this document",
            "Removing existing trustees from document #" + d, "Adding security for author USER1",
            "Adding security for typist USER2", "Posting 4 folder trustees to profiled document",
            "Enabling document security for document #" + d + " in library DEMO",
            "Finished adding 4 template trustees to profiled document #" + d,
            "UPDATE DOCSADM.PROFILE SET DEFAULT_RIGHTS = 1, SECURITY_LINK = SYSTEM_ID, "
            "SEC_REASON_LINK = 98 WHERE SYSTEM_ID = " +
                Profile(n, "SYSTEM_ID")}));
  // Secured before any trustee row is touched; full rights after the template's rows.
  EXPECT_LT(LineOf("Enabling document security"), LineOf("Removing existing trustees"));
  EXPECT_LT(LineOf("Posting 4 folder"), LineOf("Adding security for author"));
  EXPECT_EQ(Count("Adding DOCS_USERS security"), 0);
  EXPECT_EQ(Count("SQL Error"), 0);

  // The /XR switch leaves the client's views alone.
  context().state.CommandLine = "/G /XR";
  EXPECT_EQ(Added(n, security_template), applied);
  EXPECT_EQ(Refreshes(), refreshes + 1);
}

TEST_F(AddSecurityTest, EachTrusteeFormReachesExactlyTheNamedUserOrGroup) {
  struct Case {
    const char* security_template;
    const char* author;
    const char* typist;
    const char* trustees;
  };
  const Case cases[] = {
      // Prefixes and names in any case; a name with an apostrophe; "A_B" is not "AXB".
      {"users:user3 = 255, PEOPLE:o'brien = 5; Person:User2 = 6; groups:a_b = 7", "USER1", "USER1",
       "A_B 7, O'BRIEN 5, USER1 191, USER2 6, USER3 255"},
      {"GROUP:O'HARA = 63", "O'BRIEN", "O'BRIEN", "O'BRIEN 191, O'HARA 63"},
      // Named in the template: the author gets those rights, not full rights as well.
      {"%AUTHOR% = 255; %TYPIST.USER_ID% = 63", "USER1", "USER2", "USER1 255, USER2 63"},
      // One primary group for both: listed once, with the larger rights.
      {"%AUTHOR.PRIMARY_GROUP% = 63; %TYPIST.PRIMARY_GROUP% = 127", "USER1", "USER3",
       "LIT 127, USER1 191, USER3 191"},
      {"GROUP:A_B = 255; GROUP:a_b = 63", "USER1", "USER1", "A_B 255, USER1 191"},
      // Rights 0 deny: written as 16711680, and everyone else keeps full rights.
      {"GROUP:A_B = 0", "USER1", "USER1", "A_B 16711680, DOCS_USERS 191, USER1 191"},
      // A group or user the library does not know gets no row.
      {"GROUP:NO_SUCH = 63; USER:NOBODY = 63; GROUP:LIT = 5", "USER1", "USER1", "LIT 5, USER1 191"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.security_template);
    const long long n = Item(c.author, c.typist);
    EXPECT_EQ(Added(n, c.security_template), "applied: " + std::string(c.trustees) + " / 1 1 98")
        << Dump();
  }
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

TEST_F(AddSecurityTest, ATemplateThatReachesNobodyLeavesTheItemAsItWas) {
  struct Case {
    const char* security_template;
    const char* people;  // author and typist, or "" for neither
    bool append;
    int default_rights;  // before and after
  };
  const Case cases[] = {
      // Neither author nor typist: their tokens name nobody.
      {"%AUTHOR% = 255; %TYPIST.PRIMARY_GROUP% = 5", "", false, 0},
      // Entries that the library does not know: the profile was secured while the rows were
      // written, then given back its default rights since no row came of it.
      {"GROUP:NO_SUCH = 63", "", true, 0},
      {"GROUP:NO_SUCH = 63", "USER1", true, 0},
      {"GROUP:NO_SUCH = 63; %AUTHOR.PRIMARY_GROUP.X% = 5", "USER1", true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.security_template);
    const long long n = Item(c.people, c.people);
    Grant(n, {{"AXB", 255}, {"USER1", 191}});
    Exec("DEMO", "UPDATE PROFILE SET DEFAULT_RIGHTS = " + N(c.default_rights) +
                     " WHERE DOCNUMBER = " + N(n));
    EXPECT_EQ(Add(n, c.security_template, c.append), kNothingToApply) << Dump();
    EXPECT_EQ(Trustees(n) + " / " + Profile(n, "DEFAULT_RIGHTS"),
              "AXB 255, USER1 191 / " + N(c.default_rights));
  }
  EXPECT_EQ(Count("No trustees identified for this template"), 1);
  EXPECT_EQ(Count("Note: No trustee row was written to document #"), 3) << Dump();
  EXPECT_EQ(Count("Error: "), 0);
}

TEST_F(AddSecurityTest, AppendModeUpdatesTheItemsRowsAndReplaceModeRewritesThem) {
  const std::string security_template = "GROUP:DOCS_USERS = 127; GROUP:LIT = 63; USER:USER3 = 5";
  for (const bool append : {true, false}) {
    SCOPED_TRACE(append ? "append" : "replace");
    const long long n = Item("USER1", "USER2");
    Grant(n, {{"AXB", 255}, {"DOCS_USERS", 63}, {"USER1", 191}, {"USER3", 255}});
    const int authors = Count("Adding security for author USER1");

    const std::string expected = std::string("applied: ") + (append ? "AXB 255, " : "") +
                                 "DOCS_USERS 127, LIT 63, USER1 191, USER2 191, USER3 5 / 1 1 98";
    EXPECT_EQ(Added(n, security_template, append), expected) << Dump();
    // The author already had a row: append mode leaves it alone.
    EXPECT_EQ(Count("Adding security for author USER1"), authors + (append ? 0 : 1));
    // Again: the same set, no row twice.
    EXPECT_EQ(Added(n, security_template, append), expected);
  }
  EXPECT_EQ(Count("Retrieving existing trustees from document #"), 2);
  EXPECT_EQ(Count("Removing existing trustees from document #"), 2);
  EXPECT_GE(Count("UPDATE DOCSADM.SECURITY SET ACCESSRIGHTS = 127 WHERE THING = "), 2);
}

TEST_F(AddSecurityTest, ADocumentIsSecuredOnlyWhenTheRuleAppendsTrustees) {
  const long long document = Document();
  SetPeople(document, "USER1", "USER1");
  const std::string before = Secured(document);

  EXPECT_EQ(Added(document, "GROUP:LIT = 63", false, "D"), "nothing to apply: " + before);
  EXPECT_TRUE(Once({"NOT adding security for document #" + N(document)}));
  EXPECT_EQ(Added(document, "GROUP:LIT = 63", true, "D"), "applied: LIT 63, USER1 191 / 1 1 98");
}

TEST_F(AddSecurityTest, WithoutAuthorTheTypistStandsIn) {
  // Author 0: repaired to the typist before anything else.
  const long long zero = Item("", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 0 WHERE DOCNUMBER = " + N(zero));
  EXPECT_EQ(Added(zero, "%AUTHOR.PRIMARY_GROUP% = 63"), "applied: A_B 63, USER2 191 / 1 1 98");
  EXPECT_EQ(Profile(zero, "AUTHOR = TYPIST"), "1");

  // An author that is not in PEOPLE: the typist's facts are used.
  const long long missing = Item("USER1", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 8999999 WHERE DOCNUMBER = " + N(missing));
  EXPECT_EQ(Added(missing, "%AUTHOR.PRIMARY_GROUP% = 63; %TYPIST% = 5"),
            "applied: A_B 63, USER2 5 / 1 1 98");
  EXPECT_TRUE(
      Once({"Fetching Typist ID and Primary Group because no Author information is "
            "found for document #" +
            N(missing)}));
}

TEST_F(AddSecurityTest, WithoutAuthorAndTypistTheTemplatesNamedTrusteesStillApply) {
  struct Case {
    const char* security_template;
    const char* trustees;
  };
  const Case cases[] = {
      // DOCS_USERS named with 63 stays 63: never everyone with full rights.
      {kDefaultTemplate, "DOCS_SUPERVISORS 255, DOCS_USERS 63"},
      // A template that keeps DOCS_USERS out keeps them out.
      {"GROUP:DOCS_USERS = 0; GROUP:LIT = 127", "DOCS_USERS 16711680, LIT 127"},
      // Only a deny: everyone else keeps full rights, as for any item.
      {"GROUP:A_B = 0; %AUTHOR% = 255", "A_B 16711680, DOCS_USERS 191"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.security_template);
    const long long n = Item("", "");
    Grant(n, {{"AXB", 255}});
    const int refreshes = Refreshes();
    EXPECT_EQ(Added(n, c.security_template), "applied: " + std::string(c.trustees) + " / 1 1 98");
    EXPECT_TRUE(
        Once({"Notice: Unable to access profile author and typist information for "
              "document #" +
              N(n) +
              " (most likely this is because one or more of these values are not yet "
              "set)"}));
    EXPECT_EQ(Refreshes(), refreshes + 1);
  }
  EXPECT_EQ(Count("SELECT 0, 191, SYSTEM_ID"), 0);
  EXPECT_EQ(Count("DEFAULT_RIGHTS = 0"), 0);
}

TEST_F(AddSecurityTest, BadCallsAndMissingProfilesAreRefused) {
  const long long n = Item("USER1", "USER1");
  EXPECT_EQ(Added(n, "  "), "failed:  / 0 0 ");
  EXPECT_EQ(Add(0, "GROUP:LIT = 5"), kFailed);
  EXPECT_TRUE(
      Once({"Cannot add security for document #" + N(n), "Cannot add security for document #0"}));

  EXPECT_EQ(Add(987654321, "GROUP:LIT = 5"), kFailed);
  EXPECT_EQ(Count("Unable to locate profile for document 987654321 - cannot set security"), 1)
      << Dump();
  EXPECT_EQ(Scalar("DEMO", "SELECT COUNT(*) FROM SECURITY WHERE PERSONORGROUP = 9100001"), "0");
  EXPECT_EQ(connection().LibraryName(), "DEMO");
}

TEST_F(AddSecurityTest, TheItemsLibraryIsSecuredAndTheConnectedOneRestored) {
  const long long n = Item("USER1", "USER1", "PLAIN");
  const int refreshes = Refreshes("DEMO") + Refreshes("PLAIN");
  // PLAIN has no SEC_REASON and no SECURITY_LINK column: the short update.
  EXPECT_EQ(Added(n, "GROUP:A_B = 63", false, "F", "PLAIN"), "applied: A_B 63, USER1 191 / 1 0 ");
  EXPECT_EQ(connection().LibraryName(), "DEMO");
  EXPECT_EQ(Trustees(n), "");  // the same number in the connected library is not touched
  EXPECT_EQ(Refreshes("DEMO") + Refreshes("PLAIN"), refreshes + 1);

  EXPECT_EQ(Add(n, "GROUP:A_B = 63", false, "F", "NOWHERE"), kFailed);
  EXPECT_EQ(Count("Unable to connect to library NOWHERE"), 1);
  EXPECT_EQ(connection().LibraryName(), "DEMO");
}

class AddSecurityFaultTest : public AddSecurityTest {
 protected:
  void SetUp() override { StartWithFaults(); }
};

TEST_F(AddSecurityFaultTest, AFailedStatementLeavesTheItemClosedAndApplyingAgainCompletesIt) {
  struct Case {
    const char* security_template;
    bool append;
  };
  const Case cases[] = {
      {"GROUP:LIT = 127; GROUP:A_B = 0; USER:USER3 = 5", false},
      {"GROUP:LIT = 127; GROUP:A_B = 0; USER:USER3 = 5", true},
      // Only denies: DOCS_USERS gets full rights, but never before the denies are written.
      {"GROUP:A_B = 0; GROUP:AXB = 0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.security_template) + (c.append ? " (append)" : " (replace)"));
    FailEachCallInTurn([&](long long n) { return Add(n, c.security_template, c.append); }, "DEMO",
                       [&](long long n) {
                         return "Unable to set security for document #" + N(n) +
                                " in library DEMO - ";
                       });
  }
}

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
