#include "security/add_security.h"

#include <gtest/gtest.h>

#include "security/security_session.h"

namespace sproutsmith::security {
namespace {

using enum SecurityResult;

class AddSecurityTest : public SecuritySession {
 protected:
  SecurityResult Add(long long n, const std::string& security_template, bool append = false,
                     const std::string& doc_type = "F", const std::string& item_library = "DEMO") {
    return AddSecurity(context(), connection(), {.number = n, .library = item_library},
                       Rule(append, security_template), doc_type);
  }
  std::string DefaultTemplate() {
    return Scalar("DEMO",
                  "SELECT CHAR_VAL FROM QUIL_SETTINGS WHERE SECTION_KEY = 'RULE_SECURITY' "
                  "LIMIT 1");
  }
};

TEST_F(AddSecurityTest, TheDefaultTemplateGivesGroupsTheirRightsAndAuthorAndTypistFullRights) {
  const std::string security_template = DefaultTemplate();
  ASSERT_EQ(security_template,
            "%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; "
            "GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63");
  const long long n = Item("USER1", "USER2");
  const std::string status = "Before";
  context().options.LabelStatus = status;
  const int refreshes = Refreshes();

  EXPECT_EQ(Add(n, security_template), kApplied);
  EXPECT_EQ(Trustees(n), (Rows{{"A_B", "127"},
                               {"DOCS_SUPERVISORS", "255"},
                               {"DOCS_USERS", "63"},
                               {"LIT", "127"},
                               {"USER1", "191"},
                               {"USER2", "191"}}))
      << Dump();
  const std::string system_id =
      Scalar("DEMO", "SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = " + std::to_string(n));
  EXPECT_EQ(Secured(n), (Rows{{"1", "1", "98"}}));
  EXPECT_EQ(Refreshes(), refreshes + 1);
  EXPECT_EQ(context().options.LabelStatus, status);
  EXPECT_EQ(connection().LibraryName(), "DEMO");

  const std::string d = std::to_string(n);
  for (const std::string& line :
       {"AddSecurity: Assigning security for document #" + d + " using template \"" +
            security_template + "\"",
        std::string("Adding trustee LIT with rights 127"),
        std::string("Adding trustee A_B with rights 127"),
        std::string("4 trustee(s) identified for this document"),
        "Removing existing trustees from document #" + d,
        std::string("Adding security for author USER1"),
        std::string("Adding security for typist USER2"),
        std::string("Posting 4 folder trustees to profiled document"),
        "Enabling document security for document #" + d + " in library DEMO",
        "Finished adding 4 template trustees to profiled document #" + d,
        "UPDATE DOCSADM.PROFILE SET DEFAULT_RIGHTS = 1, SECURITY_LINK = SYSTEM_ID, "
        "SEC_REASON_LINK = 98 WHERE SYSTEM_ID = " +
            system_id}) {
    EXPECT_EQ(Count(line), 1) << line << "\n" << Dump();
  }
  // Secured before any trustee row is touched; full rights after the template's rows.
  EXPECT_LT(LineOf("Enabling document security"), LineOf("Removing existing trustees"));
  EXPECT_LT(LineOf("Posting 4 folder"), LineOf("Adding security for author"));
  EXPECT_EQ(Count("Adding DOCS_USERS security"), 0);
  EXPECT_EQ(Count("SQL Error"), 0);
}

struct TemplateCase {
  const char* security_template;
  const char* author;
  const char* typist;
  std::vector<std::vector<std::string>> trustees;
};

TEST_F(AddSecurityTest, EachTrusteeFormReachesExactlyTheNamedUserOrGroup) {
  const TemplateCase cases[] = {
      // Prefixes and names in any case; a name with an apostrophe; "A_B" is not "AXB".
      {"users:user3 = 255, PEOPLE:o'brien = 5; Person:User2 = 6; groups:a_b = 7",
       "USER1",
       "USER1",
       {{"A_B", "7"}, {"O'BRIEN", "5"}, {"USER1", "191"}, {"USER2", "6"}, {"USER3", "255"}}},
      {"GROUP:O'HARA = 63", "O'BRIEN", "O'BRIEN", {{"O'BRIEN", "191"}, {"O'HARA", "63"}}},
      // Named in the template: the author gets those rights, not full rights as well.
      {"%AUTHOR% = 255; %TYPIST.USER_ID% = 63",
       "USER1",
       "USER2",
       {{"USER1", "255"}, {"USER2", "63"}}},
      // One primary group for both: listed once, with the larger rights.
      {"%AUTHOR.PRIMARY_GROUP% = 63; %TYPIST.PRIMARY_GROUP% = 127",
       "USER1",
       "USER3",
       {{"LIT", "127"}, {"USER1", "191"}, {"USER3", "191"}}},
      {"GROUP:A_B = 255; GROUP:a_b = 63", "USER1", "USER1", {{"A_B", "255"}, {"USER1", "191"}}},
      // Rights 0 deny: written as 16711680, and everyone else keeps full rights.
      {"GROUP:A_B = 0",
       "USER1",
       "USER1",
       {{"A_B", "16711680"}, {"DOCS_USERS", "191"}, {"USER1", "191"}}},
      // Entries without "=", without a prefix or with an unknown one are skipped.
      {"GROUP:LIT; DOCS_USERS = 63; MEMBER:USER2 = 5; %NOBODY% = 5; GROUP:AXB = 9",
       "USER1",
       "USER1",
       {{"AXB", "9"}, {"USER1", "191"}}},
      // A group or user the library does not know gets no row.
      {"GROUP:NO_SUCH = 63; USER:NOBODY = 63; GROUP:LIT = 5",
       "USER1",
       "USER1",
       {{"LIT", "5"}, {"USER1", "191"}}},
  };
  for (const TemplateCase& c : cases) {
    const long long n = Item(c.author, c.typist);
    EXPECT_EQ(Add(n, c.security_template), kApplied) << c.security_template;
    EXPECT_EQ(Trustees(n), c.trustees) << c.security_template << "\n" << Dump();
    EXPECT_EQ(Secured(n)[0][0], "1") << c.security_template;
  }
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

struct NobodyCase {
  const char* security_template;
  const char* people;  // author and typist, or "" for neither
  bool append;
  int default_rights;  // before and after
};

TEST_F(AddSecurityTest, ATemplateThatReachesNobodyLeavesTheItemAsItWas) {
  const NobodyCase cases[] = {
      {"GROUP:LIT; USER:X; %AUTHOR.PRIMARY_GROUP.X% = 5", "USER1", false, 0},
      // Neither author nor typist: their tokens name nobody.
      {"%AUTHOR% = 255; %TYPIST.PRIMARY_GROUP% = 5", "", false, 0},
      // Entries that the library does not know: the profile was secured while the rows were
      // written, then given back its default rights since no row came of it.
      {"GROUP:NO_SUCH = 63", "", true, 0},
      {"GROUP:NO_SUCH = 63", "USER1", true, 0},
      {"GROUP:NO_SUCH = 63; %AUTHOR.PRIMARY_GROUP.X% = 5", "USER1", true, 1},
  };
  for (const NobodyCase& c : cases) {
    SCOPED_TRACE(c.security_template);
    const long long n = Item(c.people, c.people);
    Grant(n, "GROUPS WHERE GROUP_ID = 'AXB'", 255);
    Grant(n, "PEOPLE WHERE USER_ID = 'USER1'", 191);
    Exec("DEMO", "UPDATE PROFILE SET DEFAULT_RIGHTS = " + std::to_string(c.default_rights) +
                     " WHERE DOCNUMBER = " + std::to_string(n));
    EXPECT_EQ(Add(n, c.security_template, c.append), kNothingToApply) << Dump();
    EXPECT_EQ(Trustees(n), (Rows{{"AXB", "255"}, {"USER1", "191"}}));
    EXPECT_EQ(Secured(n)[0][0], std::to_string(c.default_rights));
  }
  EXPECT_EQ(Count("No trustees identified for this template"), 2);
  EXPECT_EQ(Count("Note: No trustee row was written to document #"), 3) << Dump();
  EXPECT_EQ(Count("Error: "), 0);
}

TEST_F(AddSecurityTest, AppendModeUpdatesTheItemsRowsAndReplaceModeRewritesThem) {
  const std::string security_template = "GROUP:DOCS_USERS = 127; GROUP:LIT = 63; USER:USER3 = 5";
  for (const bool append : {true, false}) {
    SCOPED_TRACE(append ? "append" : "replace");
    const long long n = Item("USER1", "USER2");
    Grant(n, "GROUPS WHERE GROUP_ID = 'AXB'", 255);
    Grant(n, "GROUPS WHERE GROUP_ID = 'DOCS_USERS'", 63);
    Grant(n, "PEOPLE WHERE USER_ID = 'USER1'", 191);
    Grant(n, "PEOPLE WHERE USER_ID = 'USER3'", 255);
    const int authors = Count("Adding security for author USER1");

    EXPECT_EQ(Add(n, security_template, append), kApplied);
    Rows expected = {
        {"DOCS_USERS", "127"}, {"LIT", "63"}, {"USER1", "191"}, {"USER2", "191"}, {"USER3", "5"}};
    if (append) expected.insert(expected.begin(), {"AXB", "255"});
    EXPECT_EQ(Trustees(n), expected) << Dump();
    // The author already had a row: append mode leaves it alone.
    EXPECT_EQ(Count("Adding security for author USER1"), authors + (append ? 0 : 1));

    // Again: the same set, no row twice.
    EXPECT_EQ(Add(n, security_template, append), kApplied);
    EXPECT_EQ(Trustees(n), expected);
  }
  EXPECT_EQ(Count("Retrieving existing trustees from document #"), 2);
  EXPECT_EQ(Count("Removing existing trustees from document #"), 2);
  EXPECT_GE(Count("UPDATE DOCSADM.SECURITY SET ACCESSRIGHTS = 127 WHERE THING = "), 2);
}

TEST_F(AddSecurityTest, ADocumentIsSecuredOnlyWhenTheRuleAppendsTrustees) {
  const long long document = Document();
  SetPeople(document, "USER1", "USER1");
  const Rows before = Trustees(document);

  EXPECT_EQ(Add(document, "GROUP:LIT = 63", false, "D"), kNothingToApply);
  EXPECT_EQ(Count("NOT adding security for document #" + std::to_string(document)), 1);
  EXPECT_EQ(Trustees(document), before);
  EXPECT_EQ(Secured(document)[0][0], "0");

  EXPECT_EQ(Add(document, "GROUP:LIT = 63", true, "D"), kApplied);
  EXPECT_EQ(Trustees(document), (Rows{{"LIT", "63"}, {"USER1", "191"}}));
  EXPECT_EQ(Secured(document)[0][0], "1");
}

TEST_F(AddSecurityTest, WithoutAuthorTheTypistStandsIn) {
  // Author 0: repaired to the typist before anything else.
  const long long zero = Item("", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 0 WHERE DOCNUMBER = " + std::to_string(zero));
  EXPECT_EQ(Add(zero, "%AUTHOR.PRIMARY_GROUP% = 63"), kApplied);
  EXPECT_EQ(Scalar("DEMO",
                   "SELECT AUTHOR = TYPIST FROM PROFILE WHERE DOCNUMBER = " + std::to_string(zero)),
            "1");
  EXPECT_EQ(Trustees(zero), (Rows{{"A_B", "63"}, {"USER2", "191"}}));

  // An author that is not in PEOPLE: the typist's facts are used.
  const long long missing = Item("USER1", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 8999999 WHERE DOCNUMBER = " + std::to_string(missing));
  EXPECT_EQ(Add(missing, "%AUTHOR.PRIMARY_GROUP% = 63; %TYPIST% = 5"), kApplied);
  EXPECT_EQ(Count("Fetching Typist ID and Primary Group because no Author information is found "
                  "for document #" +
                  std::to_string(missing)),
            1);
  EXPECT_EQ(Trustees(missing), (Rows{{"A_B", "63"}, {"USER2", "5"}}));
}

TEST_F(AddSecurityTest, WithoutAuthorAndTypistTheTemplatesNamedTrusteesStillApply) {
  struct Case {
    const char* security_template;
    Rows trustees;
  };
  const Case cases[] = {
      // DOCS_USERS named with 63 stays 63: never everyone with full rights.
      {"%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; "
       "GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63",
       {{"DOCS_SUPERVISORS", "255"}, {"DOCS_USERS", "63"}}},
      // A template that keeps DOCS_USERS out keeps them out.
      {"GROUP:DOCS_USERS = 0; GROUP:LIT = 127", {{"DOCS_USERS", "16711680"}, {"LIT", "127"}}},
      // Only a deny: everyone else keeps full rights, as for any item.
      {"GROUP:A_B = 0; %AUTHOR% = 255", {{"A_B", "16711680"}, {"DOCS_USERS", "191"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.security_template);
    const long long n = Item("", "");
    Grant(n, "GROUPS WHERE GROUP_ID = 'AXB'", 255);
    const int refreshes = Refreshes();
    EXPECT_EQ(Add(n, c.security_template), kApplied);
    EXPECT_EQ(Count("Notice: Unable to access profile author and typist information for "
                    "document #" +
                    std::to_string(n) +
                    " (most likely this is because one or more of these values are not yet set)"),
              1)
        << Dump();
    EXPECT_EQ(Trustees(n), c.trustees);
    EXPECT_EQ(Secured(n), (Rows{{"1", "1", "98"}}));
    EXPECT_EQ(Refreshes(), refreshes + 1);
  }
  EXPECT_EQ(Count("SELECT 0, 191, SYSTEM_ID"), 0);
  EXPECT_EQ(Count("DEFAULT_RIGHTS = 0"), 0);
}

TEST_F(AddSecurityTest, BadCallsAndMissingProfilesAreRefused) {
  const long long n = Item("USER1", "USER1");
  EXPECT_EQ(Add(n, "  "), kFailed);
  EXPECT_EQ(Add(0, "GROUP:LIT = 5"), kFailed);
  EXPECT_EQ(Count("Cannot add security for document #" + std::to_string(n)), 1);
  EXPECT_EQ(Count("Cannot add security for document #0"), 1);

  EXPECT_EQ(Add(987654321, "GROUP:LIT = 5"), kFailed);
  EXPECT_EQ(Count("Unable to locate profile for document 987654321 - cannot set security"), 1)
      << Dump();
  EXPECT_EQ(Scalar("DEMO", "SELECT COUNT(*) FROM SECURITY WHERE PERSONORGROUP = 9100001"), "0");
  EXPECT_TRUE(Trustees(n).empty());
  EXPECT_EQ(connection().LibraryName(), "DEMO");
}

TEST_F(AddSecurityTest, TheItemsLibraryIsSecuredAndTheConnectedOneRestored) {
  const long long n = Item("USER1", "USER1", "PLAIN");
  // The same number in the connected library must not be touched.
  const int refreshes = Refreshes();
  EXPECT_EQ(Add(n, "GROUP:A_B = 63", false, "F", "PLAIN"), kApplied);
  EXPECT_EQ(connection().LibraryName(), "DEMO");
  EXPECT_EQ(Trustees(n, "PLAIN"), (Rows{{"A_B", "63"}, {"USER1", "191"}}));
  EXPECT_EQ(Scalar("DEMO",
                   "SELECT COUNT(*) FROM SECURITY S, PROFILE P WHERE P.SYSTEM_ID = "
                   "S.THING AND P.DOCNUMBER = " +
                       std::to_string(n)),
            "0");
  // PLAIN has no SEC_REASON and no SECURITY_LINK column: the short update.
  EXPECT_EQ(Secured(n, "PLAIN"), (Rows{{"1", "0", ""}}));
  EXPECT_EQ(Count("UPDATE DOCSADM.PROFILE SET DEFAULT_RIGHTS = 1 WHERE SYSTEM_ID = "), 1) << Dump();
  EXPECT_EQ(Refreshes(), refreshes + 1);

  EXPECT_EQ(Add(n, "GROUP:A_B = 63", false, "F", "NOWHERE"), kFailed);
  EXPECT_EQ(Count("Unable to connect to library NOWHERE"), 1);
  EXPECT_EQ(connection().LibraryName(), "DEMO");
}

TEST_F(AddSecurityTest, TheXrSwitchLeavesTheClientsViewsAlone) {
  context().state.CommandLine = "/G /XR";
  const long long n = Item("USER1", "USER2");
  const int refreshes = Refreshes();
  EXPECT_EQ(Add(n, DefaultTemplate()), kApplied);
  EXPECT_EQ(Secured(n)[0][0], "1");
  EXPECT_EQ(Refreshes(), refreshes);
}

class AddSecurityFaultTest : public SecuritySession {
 protected:
  void SetUp() override {
    StartWithFaults();
    // The client's view refresh may fail without failing the operation: leave it out.
    context().state.CommandLine = "/XR";
  }
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
  sql::FaultInjectingDatabase* fault = faults_.at("DEMO");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.security_template) + (c.append ? " (append)" : " (replace)"));
    auto apply = [&](long long n) {
      return AddSecurity(context(), connection(), {.number = n, .library = "DEMO"},
                         Rule(c.append, c.security_template), "F");
    };
    const long long clean = Item("USER1", "USER2");
    const std::vector<std::string> calls =
        CallsOf([&] { ASSERT_EQ(apply(clean), kApplied); }).at("DEMO");
    const Rows finished = Trustees(clean);
    const long secure = CallNumber(calls, "SET DEFAULT_RIGHTS = 1");
    ASSERT_GT(secure, 0);

    // Every statement of a clean application, failed in turn.
    for (long k = 1; k <= static_cast<long>(calls.size()); ++k) {
      SCOPED_TRACE(calls[k - 1]);
      const long long n = Item("USER1", "USER2");
      fault->FailCall(k);
      EXPECT_EQ(apply(n), kFailed);
      EXPECT_EQ(fault->failures(), 1);
      fault->Disarm();
      EXPECT_EQ(Count("Unable to set security for document #" + std::to_string(n) +
                      " in library DEMO - "),
                1);
      if (k <= secure) {
        EXPECT_EQ(Secured(n)[0][0], "0");
        EXPECT_TRUE(Trustees(n).empty());
      } else {
        EXPECT_EQ(Secured(n)[0][0], "1");
        EXPECT_TRUE(NoMoreOpenThan(Trustees(n), finished)) << ::testing::PrintToString(Trustees(n));
      }
      EXPECT_EQ(apply(n), kApplied);
      EXPECT_EQ(Trustees(n), finished);
      EXPECT_EQ(Secured(n)[0][0], "1");
    }
  }
}

}  // namespace
}  // namespace sproutsmith::security
