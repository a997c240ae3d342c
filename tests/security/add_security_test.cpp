#include "security/add_security.h"

#include <gtest/gtest.h>

#include "security/security_session.h"

namespace sproutsmith::security {
namespace {

class AddSecurityTest : public SecuritySession {
 protected:
  bool Add(long long n, const std::string& security_template, bool append = false,
           const std::string& doc_type = "F", const std::string& item_library = "DEMO") {
    return AddSecurity(context(), connection(), n, security_template, Rule(append), doc_type,
                       "DEMO", item_library);
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

  EXPECT_TRUE(Add(n, security_template));
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
  EXPECT_LT(LineOf("Posting 4 folder"), LineOf("Enabling document security"));
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
    EXPECT_TRUE(Add(n, c.security_template)) << c.security_template;
    EXPECT_EQ(Trustees(n), c.trustees) << c.security_template << "\n" << Dump();
    EXPECT_EQ(Secured(n)[0][0], "1") << c.security_template;
  }
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

TEST_F(AddSecurityTest, ATemplateThatNamesNobodyChangesNothing) {
  const long long n = Item("USER1", "USER2");
  Grant(n, "GROUPS WHERE GROUP_ID = 'AXB'", 255);
  const int refreshes = Refreshes();
  EXPECT_TRUE(Add(n, "GROUP:LIT; USER:X; %AUTHOR.PRIMARY_GROUP.X% = 5"));
  EXPECT_EQ(Count("No trustees identified for this template"), 1);
  EXPECT_EQ(Trustees(n), (Rows{{"AXB", "255"}}));
  EXPECT_EQ(Secured(n)[0][0], "0");
  EXPECT_EQ(Refreshes(), refreshes);
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

    EXPECT_TRUE(Add(n, security_template, append));
    Rows expected = {
        {"DOCS_USERS", "127"}, {"LIT", "63"}, {"USER1", "191"}, {"USER2", "191"}, {"USER3", "5"}};
    if (append) expected.insert(expected.begin(), {"AXB", "255"});
    EXPECT_EQ(Trustees(n), expected) << Dump();
    // The author already had a row: append mode leaves it alone.
    EXPECT_EQ(Count("Adding security for author USER1"), authors + (append ? 0 : 1));

    // Again: the same set, no row twice.
    EXPECT_TRUE(Add(n, security_template, append));
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

  EXPECT_FALSE(Add(document, "GROUP:LIT = 63", false, "D"));
  EXPECT_EQ(Count("NOT adding security for document #" + std::to_string(document)), 1);
  EXPECT_EQ(Trustees(document), before);
  EXPECT_EQ(Secured(document)[0][0], "0");

  EXPECT_TRUE(Add(document, "GROUP:LIT = 63", true, "D"));
  EXPECT_EQ(Trustees(document), (Rows{{"LIT", "63"}, {"USER1", "191"}}));
  EXPECT_EQ(Secured(document)[0][0], "1");
}

TEST_F(AddSecurityTest, WithoutAuthorTheTypistStandsInAndWithoutEitherTheItemIsOpenToAll) {
  // Author 0: repaired to the typist before anything else.
  const long long zero = Item("", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 0 WHERE DOCNUMBER = " + std::to_string(zero));
  EXPECT_TRUE(Add(zero, "%AUTHOR.PRIMARY_GROUP% = 63"));
  EXPECT_EQ(Scalar("DEMO",
                   "SELECT AUTHOR = TYPIST FROM PROFILE WHERE DOCNUMBER = " + std::to_string(zero)),
            "1");
  EXPECT_EQ(Trustees(zero), (Rows{{"A_B", "63"}, {"USER2", "191"}}));

  // An author that is not in PEOPLE: the typist's facts are used.
  const long long missing = Item("USER1", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 8999999 WHERE DOCNUMBER = " + std::to_string(missing));
  EXPECT_TRUE(Add(missing, "%AUTHOR.PRIMARY_GROUP% = 63; %TYPIST% = 5"));
  EXPECT_EQ(Count("Fetching Typist ID and Primary Group because no Author information is found "
                  "for document #" +
                  std::to_string(missing)),
            1);
  EXPECT_EQ(Trustees(missing), (Rows{{"A_B", "63"}, {"USER2", "5"}}));

  // Neither: everyone gets full rights and the item is not secured.
  const long long nobody = Item("", "");
  Exec("DEMO", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = " + std::to_string(nobody));
  Grant(nobody, "GROUPS WHERE GROUP_ID = 'DOCS_USERS'", 63);
  Grant(nobody, "GROUPS WHERE GROUP_ID = 'LIT'", 127);
  const int refreshes = Refreshes();
  EXPECT_TRUE(Add(nobody, DefaultTemplate()));
  EXPECT_EQ(Count("Notice: Unable to access profile author and typist information for document #" +
                  std::to_string(nobody) +
                  " (most likely this is because one or more of these values are not yet set)"),
            1)
      << Dump();
  EXPECT_EQ(Trustees(nobody), (Rows{{"DOCS_USERS", "191"}, {"LIT", "127"}}));
  EXPECT_EQ(Secured(nobody), (Rows{{"0", "1", "98"}}));
  EXPECT_EQ(Refreshes(), refreshes + 1);
}

TEST_F(AddSecurityTest, BadCallsAndMissingProfilesAreRefused) {
  const long long n = Item("USER1", "USER1");
  EXPECT_FALSE(Add(n, "  "));
  EXPECT_FALSE(Add(0, "GROUP:LIT = 5"));
  EXPECT_EQ(Count("Cannot add security for document #" + std::to_string(n)), 1);
  EXPECT_EQ(Count("Cannot add security for document #0"), 1);

  EXPECT_FALSE(Add(987654321, "GROUP:LIT = 5"));
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
  EXPECT_TRUE(Add(n, "GROUP:A_B = 63", false, "F", "PLAIN"));
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

  EXPECT_FALSE(Add(n, "GROUP:A_B = 63", false, "F", "NOWHERE"));
  EXPECT_EQ(Count("Unable to connect to library NOWHERE"), 1);
  EXPECT_EQ(connection().LibraryName(), "DEMO");
}

TEST_F(AddSecurityTest, TheXrSwitchLeavesTheClientsViewsAlone) {
  context().state.CommandLine = "/G /XR";
  const long long n = Item("USER1", "USER2");
  const int refreshes = Refreshes();
  EXPECT_TRUE(Add(n, DefaultTemplate()));
  EXPECT_EQ(Secured(n)[0][0], "1");
  EXPECT_EQ(Refreshes(), refreshes);
}

class AddSecurityFaultTest : public SecuritySession {
 protected:
  void SetUp() override { StartWithFaults(); }
};

TEST_F(AddSecurityFaultTest, AFailedTrusteeWriteLeavesTheItemUnmarkedAndTheNextCallRepairsIt) {
  const long long n = Item("USER1", "USER2");
  const std::string security_template =
      "GROUP:LIT = 127; GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63";
  sql::FaultInjectingDatabase* fault = faults_.at("DEMO");

  // Find the call that writes the supervisors' row, then fail exactly that one.
  fault->Disarm();
  ASSERT_TRUE(
      AddSecurity(context(), connection(), n, security_template, Rule(false), "F", "DEMO", "DEMO"));
  const Rows complete = Trustees(n);
  long target = 0;
  for (size_t i = 0; i < fault->call_log().size(); ++i) {
    const std::string& call = fault->call_log()[i];
    if (call.find("INSERT INTO") != std::string::npos &&
        call.find("DOCS_SUPERVISORS") != std::string::npos) {
      target = static_cast<long>(i) + 1;
    }
  }
  ASSERT_GT(target, 0);
  Exec("DEMO", "UPDATE PROFILE SET DEFAULT_RIGHTS = 0 WHERE DOCNUMBER = " + std::to_string(n));
  Exec("DEMO", "DELETE FROM SECURITY");

  fault->FailCall(target);
  EXPECT_FALSE(
      AddSecurity(context(), connection(), n, security_template, Rule(false), "F", "DEMO", "DEMO"));
  EXPECT_EQ(fault->failures(), 1);
  EXPECT_EQ(Secured(n)[0][0], "0");
  EXPECT_EQ(Trustees(n).size(), complete.size() - 1);
  EXPECT_EQ(Count("document security was not enabled"), 1) << Dump();

  fault->Disarm();
  EXPECT_TRUE(
      AddSecurity(context(), connection(), n, security_template, Rule(false), "F", "DEMO", "DEMO"));
  EXPECT_EQ(Trustees(n), complete);
  EXPECT_EQ(Secured(n)[0][0], "1");
}

}  // namespace
}  // namespace sproutsmith::security
