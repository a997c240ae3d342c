#include "security/inherit_security.h"

#include <gtest/gtest.h>

#include "security/security_session.h"

namespace sproutsmith::security {
namespace {

class InheritSecurityTest : public SecuritySession {
 protected:
  bool Inherit(long long n, long long parent) {
    return InheritSecurity(context(), connection(), n, parent, "DEMO");
  }
  // A parent folder holding USER3 255, LIT 127, DOCS_USERS 63, A_B 5, O'BRIEN 31 and the
  // child's author USER1 with 63.
  long long SecuredParent(const std::string& library = "DEMO") {
    const long long parent = Item("DMADMIN", "DMADMIN", library);
    Grant(parent, "PEOPLE WHERE USER_ID = 'USER3'", 255, library);
    Grant(parent, "GROUPS WHERE GROUP_ID = 'LIT'", 127, library);
    Grant(parent, "GROUPS WHERE GROUP_ID = 'DOCS_USERS'", 63, library);
    Grant(parent, "GROUPS WHERE GROUP_ID = 'A_B'", 5, library);
    Grant(parent, "PEOPLE WHERE USER_ID = 'O''BRIEN'", 31, library);
    Grant(parent, "PEOPLE WHERE USER_ID = 'USER1'", 63, library);
    return parent;
  }
};

TEST_F(InheritSecurityTest, TheItemGetsExactlyTheParentsTrusteesAndItsAuthorAndTypistFullRights) {
  const long long parent = SecuredParent();
  const Rows parent_rows = Trustees(parent);
  const long long child = Item("USER1", "USER2");
  // Rows of the child that the parent does not have are removed.
  Grant(child, "GROUPS WHERE GROUP_ID = 'AXB'", 255);
  Grant(child, "PEOPLE WHERE USER_ID = 'USER3'", 1);
  const int refreshes = Refreshes();

  EXPECT_TRUE(Inherit(child, parent));
  EXPECT_EQ(Trustees(child), (Rows{{"A_B", "5"},
                                   {"DOCS_USERS", "63"},
                                   {"LIT", "127"},
                                   {"O'BRIEN", "31"},
                                   {"USER1", "191"},
                                   {"USER2", "191"},
                                   {"USER3", "255"}}))
      << Dump();
  EXPECT_EQ(Trustees(parent), parent_rows);
  EXPECT_EQ(Secured(child), (Rows{{"1", "1", "98"}}));
  EXPECT_EQ(Refreshes(), refreshes + 1);
  EXPECT_EQ(Count("SQL Error"), 0);

  const std::string c = std::to_string(child), p = std::to_string(parent);
  for (const std::string& line :
       {"InheritSecurity: Setting security for document #" + c +
            " to match security from folder #" + p,
        "Inheriting security for item #" + c + " from folder #" + p,
        std::string("Removing existing trustees"), std::string("Adding security for author USER1"),
        std::string("Adding security for typist USER2"),
        std::string("Adding 6 folder trustee(s) to profiled document"),
        std::string("Enabling document security"),
        std::string("Finished adding 6 folder trustees to profiled document")}) {
    EXPECT_EQ(Count(line), 1) << line << "\n" << Dump();
  }
  // Secured only once the rows are there.
  EXPECT_LT(LineOf("Adding 6 folder trustee(s)"), LineOf("Enabling document security"));

  // Again: the same set.
  EXPECT_TRUE(Inherit(child, parent));
  EXPECT_EQ(Trustees(child).size(), 7u);
}

TEST_F(InheritSecurityTest, AParentWithoutTrusteeRowsChangesNothing) {
  const long long parent = Item("DMADMIN", "DMADMIN");
  const long long child = Item("USER1", "USER2");
  Grant(child, "GROUPS WHERE GROUP_ID = 'AXB'", 255);
  // A_B's row must not count for AXB's parent, nor the other way round.
  const long long axb = Item("DMADMIN", "DMADMIN");
  Grant(axb, "GROUPS WHERE GROUP_ID = 'A_B'", 63);
  const int refreshes = Refreshes();

  EXPECT_FALSE(Inherit(child, parent));
  EXPECT_EQ(Count("No trustees found for parent folder - not setting security for document " +
                  std::to_string(child)),
            1);
  EXPECT_EQ(Trustees(child), (Rows{{"AXB", "255"}}));
  EXPECT_EQ(Secured(child)[0][0], "0");
  EXPECT_EQ(Refreshes(), refreshes);

  // Rows whose rights read empty are passed over: nothing to copy, and that is fine.
  Exec("DEMO",
       "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT SYSTEM_ID, 0, "
       "'' FROM PROFILE WHERE DOCNUMBER = " +
           std::to_string(parent));
  EXPECT_TRUE(Inherit(child, parent));
  EXPECT_EQ(Count("No trustees found for parent folder #" + std::to_string(parent) +
                  " - not changing security for document " + std::to_string(child)),
            1);
  EXPECT_EQ(Trustees(child), (Rows{{"AXB", "255"}}));
  EXPECT_EQ(Secured(child)[0][0], "0");
}

TEST_F(InheritSecurityTest, WithoutTheAuthorsPeopleRowTheTypistStandsForTheAuthor) {
  const long long parent = SecuredParent();
  const long long child = Item("USER1", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 8999999 WHERE DOCNUMBER = " + std::to_string(child));
  Grant(parent, "PEOPLE WHERE USER_ID = 'USER2'", 7);
  EXPECT_TRUE(Inherit(child, parent));
  EXPECT_EQ(Trustees(child), (Rows{{"A_B", "5"},
                                   {"DOCS_USERS", "63"},
                                   {"LIT", "127"},
                                   {"O'BRIEN", "31"},
                                   {"USER1", "63"},
                                   {"USER2", "191"},
                                   {"USER3", "255"}}))
      << Dump();
  EXPECT_EQ(Count("Adding security for typist"), 0);
}

TEST_F(InheritSecurityTest, BadCallsAndMissingProfilesAreRefused) {
  const long long parent = SecuredParent();
  EXPECT_FALSE(Inherit(0, parent));
  EXPECT_FALSE(Inherit(parent, 0));
  EXPECT_EQ(Count("No document number or parent folder id specified - cannot set security "
                  "inheritance"),
            1);  // the repeated line is logged once
  EXPECT_EQ(Secured(parent)[0][0], "0");
  EXPECT_FALSE(Inherit(987654321, parent));
  EXPECT_EQ(Count("Unable to locate profile for document 987654321 - cannot set security"), 1);
  EXPECT_EQ(Scalar("DEMO",
                   "SELECT COUNT(*) FROM SECURITY WHERE THING NOT IN (SELECT SYSTEM_ID "
                   "FROM PROFILE)"),
            "0");
}

TEST_F(InheritSecurityTest, ALibraryWithoutTheSecurityLinkGetsTheShortUpdate) {
  ASSERT_TRUE(connection().ConnectLibrary("PLAIN"));
  const long long parent = SecuredParent("PLAIN");
  const long long child = Item("USER1", "USER1", "PLAIN");
  EXPECT_TRUE(InheritSecurity(context(), connection(), child, parent, "PLAIN"));
  EXPECT_EQ(Trustees(child, "PLAIN").size(), 6u);
  EXPECT_EQ(Secured(child, "PLAIN"), (Rows{{"1", "0", ""}}));
  const std::string system_id =
      Scalar("PLAIN", "SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = " + std::to_string(child));
  EXPECT_EQ(Count("UPDATE DOCSADM.PROFILE SET DEFAULT_RIGHTS = 1 WHERE SYSTEM_ID = " + system_id),
            1)
      << Dump();
}

TEST_F(InheritSecurityTest, TheXrSwitchLeavesTheClientsViewsAlone) {
  context().state.CommandLine = "/G /XR";
  const long long parent = SecuredParent();
  const long long child = Item("USER1", "USER2");
  const int refreshes = Refreshes();
  EXPECT_TRUE(Inherit(child, parent));
  EXPECT_EQ(Secured(child)[0][0], "1");
  EXPECT_EQ(Refreshes(), refreshes);
}

class InheritSecurityFaultTest : public SecuritySession {
 protected:
  void SetUp() override { StartWithFaults(); }
};

TEST_F(InheritSecurityFaultTest, AFailedWriteLeavesTheItemUnmarkedAndTheNextCallRepairsIt) {
  const long long parent = Item("DMADMIN", "DMADMIN");
  Grant(parent, "GROUPS WHERE GROUP_ID = 'LIT'", 127);
  Grant(parent, "GROUPS WHERE GROUP_ID = 'A_B'", 63);
  Grant(parent, "PEOPLE WHERE USER_ID = 'USER3'", 255);
  const long long child = Item("USER1", "USER2");
  sql::FaultInjectingDatabase* fault = faults_.at("DEMO");

  // Every write from the group A_B's insert on fails, as a library that went away.
  fault->Disarm();
  ASSERT_TRUE(InheritSecurity(context(), connection(), child, parent, "DEMO"));
  const Rows complete = Trustees(child);
  long target = 0;
  for (size_t i = 0; i < fault->call_log().size() && target == 0; ++i) {
    const std::string& call = fault->call_log()[i];
    if (call.find("INSERT INTO") != std::string::npos && call.find("'A_B'") != std::string::npos) {
      target = static_cast<long>(i) + 1;
    }
  }
  ASSERT_GT(target, 0);
  Exec("DEMO", "UPDATE PROFILE SET DEFAULT_RIGHTS = 0 WHERE DOCNUMBER = " + std::to_string(child));

  fault->FailCall(target, true);
  EXPECT_FALSE(InheritSecurity(context(), connection(), child, parent, "DEMO"));
  EXPECT_GE(fault->failures(), 1);
  EXPECT_EQ(Secured(child)[0][0], "0");
  EXPECT_LT(Trustees(child).size(), complete.size());
  EXPECT_EQ(Count("document security was not enabled"), 1) << Dump();

  fault->Disarm();
  EXPECT_TRUE(InheritSecurity(context(), connection(), child, parent, "DEMO"));
  EXPECT_EQ(Trustees(child), complete);
  EXPECT_EQ(Secured(child)[0][0], "1");
}

}  // namespace
}  // namespace sproutsmith::security
