#include "security/inherit_security.h"

#include <gtest/gtest.h>

#include "security/security_session.h"

namespace sproutsmith::security {
namespace {

using enum SecurityResult;

class InheritSecurityTest : public SecuritySession {
 protected:
  SecurityResult Inherit(long long n, long long parent, const std::string& item_library = "DEMO") {
    return InheritSecurity(
        context(), connection(),
        {.number = n, .library = item_library, .parent = parent, .parent_library = "DEMO"});
  }
  // Inherit() as Left() tells it.
  std::string Inherited(long long n, long long parent, const std::string& item_library = "DEMO") {
    return Left(Inherit(n, parent, item_library), n, item_library);
  }
  // A parent folder whose trustees hold the child's author USER1 with 63.
  long long SecuredParent() {
    const long long parent = Item("DMADMIN", "DMADMIN");
    Grant(parent, {{"USER3", 255}, {"LIT", 127}, {"DOCS_USERS", 63}});
    Grant(parent, {{"A_B", 5}, {"O'BRIEN", 31}, {"USER1", 63}});
    return parent;
  }
};

TEST_F(InheritSecurityTest, TheItemGetsExactlyTheParentsTrusteesAndItsAuthorAndTypistFullRights) {
  const long long parent = SecuredParent();
  const std::string parent_rows = Secured(parent);
  const long long child = Item("USER1", "USER2");
  // Rows of the child that the parent does not have are removed.
  Grant(child, {{"AXB", 255}, {"USER3", 1}});
  const int refreshes = Refreshes();

  const std::string inherited =
      "applied: A_B 5, DOCS_USERS 63, LIT 127, O'BRIEN 31, USER1 191, USER2 191, USER3 255 / 1 1 "
      "98";
  EXPECT_EQ(Inherited(child, parent), inherited) << Dump();
  EXPECT_EQ(Secured(parent), parent_rows);
  EXPECT_EQ(Refreshes(), refreshes + 1);
  EXPECT_EQ(Count("SQL Error"), 0);

  const std::string c = N(child), p = N(parent);
  EXPECT_TRUE(Once({"InheritSecurity: Setting security for document #" + c +
                        " to match security from folder #" + p,
                    "Inheriting security for item #" + c + " from folder #" + p,
                    "Removing existing trustees", "Adding security for author USER1",
                    "Adding security for typist USER2",
                    "Adding 6 folder trustee(s) to profiled document", "Enabling document security",
                    "Finished adding 6 folder trustees to profiled document"}));
  // Secured before any row is touched; full rights after the folder's rows.
  EXPECT_LT(LineOf("Enabling document security"), LineOf("Removing existing trustees"));
  EXPECT_LT(LineOf("Adding 6 folder trustee(s)"), LineOf("Adding security for author"));

  // Again, with the switch that leaves the client's views alone: the same set, no row twice.
  context().state.CommandLine = "/G /XR";
  EXPECT_EQ(Inherited(child, parent), inherited);
  EXPECT_EQ(Refreshes(), refreshes + 1);
}

TEST_F(InheritSecurityTest, AParentWithoutTrusteeRowsChangesNothing) {
  const long long parent = Item("DMADMIN", "DMADMIN");
  const long long child = Item("USER1", "USER2");
  Grant(child, {{"AXB", 255}});
  // A_B's row must not count for AXB's parent, nor the other way round.
  const long long axb = Item("DMADMIN", "DMADMIN");
  Grant(axb, {{"A_B", 63}});
  const int refreshes = Refreshes();

  EXPECT_EQ(Inherited(child, parent), "nothing to apply: AXB 255 / 0 0 ");
  EXPECT_TRUE(Once(
      {"No trustees found for parent folder - not setting security for document " + N(child)}));
  EXPECT_EQ(Refreshes(), refreshes);

  // Rows whose rights read empty are passed over: nothing to copy, and that is fine.
  Exec("DEMO",
       "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT SYSTEM_ID, 0, "
       "'' FROM PROFILE WHERE DOCNUMBER = " +
           N(parent));
  EXPECT_EQ(Inherited(child, parent), "nothing to apply: AXB 255 / 0 0 ");
  EXPECT_TRUE(Once({"No trustees found for parent folder #" + N(parent) +
                    " - not changing security for document " + N(child)}));
}

TEST_F(InheritSecurityTest, WithoutTheAuthorsPeopleRowTheTypistStandsForTheAuthor) {
  const long long parent = SecuredParent();
  const long long child = Item("USER1", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 8999999 WHERE DOCNUMBER = " + N(child));
  Grant(parent, {{"USER2", 7}});
  EXPECT_EQ(Inherited(child, parent),
            "applied: A_B 5, DOCS_USERS 63, LIT 127, O'BRIEN 31, USER1 63, USER2 191, USER3 255 / "
            "1 1 98")
      << Dump();
  EXPECT_EQ(Count("Adding security for typist"), 0);
}

TEST_F(InheritSecurityTest, BadCallsAndMissingProfilesAreRefused) {
  const long long parent = SecuredParent();
  EXPECT_EQ(Inherit(0, parent), kFailed);
  EXPECT_EQ(Inherited(parent, 0),
            "failed: A_B 5, DOCS_USERS 63, LIT 127, O'BRIEN 31, USER1 63, USER3 255 / 0 0 ");
  EXPECT_EQ(Count("No document number or parent folder id specified - cannot set security "
                  "inheritance"),
            1);  // the repeated line is logged once
  EXPECT_EQ(Inherit(987654321, parent), kFailed);
  EXPECT_EQ(Count("Unable to locate profile for document 987654321 - cannot set security"), 1);
  EXPECT_EQ(Scalar("DEMO",
                   "SELECT COUNT(*) FROM SECURITY WHERE THING NOT IN (SELECT SYSTEM_ID "
                   "FROM PROFILE)"),
            "0");
}

// The demo's mail room files a folder of library PLAIN under a client folder of DEMO. The
// people's SYSTEM_IDs differ between the two: PARALEGALS is 9100010 in DEMO, 9100020 in
// PLAIN, where 9100010 is DECOY; DEMO_ONLY exists in DEMO alone. PLAIN has no SEC_REASON and
// no SECURITY_LINK column: the short update.
TEST_F(InheritSecurityTest, AnItemInAnotherLibraryGetsTheFoldersTrusteesByTheirIds) {
  Exec("DEMO",
       "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME) VALUES (9100010, 'PARALEGALS', 'P'), "
       "(9100011, 'DEMO_ONLY', 'D')");
  Exec("PLAIN",
       "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME) VALUES (9100020, 'PARALEGALS', 'P'), "
       "(9100010, 'DECOY', 'D')");
  const long long parent = Item("DMADMIN", "DMADMIN", "DEMO");
  Grant(parent, {{"PARALEGALS", 63}, {"DEMO_ONLY", 255}, {"A_B", 16711680}, {"USER3", 5}});

  // PLAIN's own document with the folder's number, secured otherwise.
  const std::string p = N(parent);
  if (Scalar("PLAIN", "SELECT COUNT(*) FROM PROFILE WHERE DOCNUMBER = " + p) == "0") {
    Exec("PLAIN",
         "UPDATE PROFILE SET DOCNUMBER = " + p + " WHERE DOCNUMBER = " + N(Document("PLAIN")));
  }
  Grant(parent, {{"AXB", 255}, {"O'BRIEN", 191}}, "PLAIN");
  const std::string unrelated = Secured(parent, "PLAIN");

  for (const char* connected : {"DEMO", "PLAIN"}) {
    SCOPED_TRACE(std::string("connected: ") + connected);
    const long long item = MakeFolder("PLAIN", "Correspondence", parent, "DEMO");
    SetPeople(item, "USER1", "USER2", "PLAIN");
    const std::string same_number_in_demo = Secured(item);
    ASSERT_TRUE(connection().ConnectLibrary(connected));

    EXPECT_EQ(Inherited(item, parent, "PLAIN"),
              "applied: A_B 16711680, PARALEGALS 63, USER1 191, USER2 191, USER3 5 / 1 0 ")
        << Dump();
    EXPECT_EQ(connection().LibraryName(), connected);
    EXPECT_TRUE(Once({"Group DEMO_ONLY of folder #" + p +
                      " is not in library PLAIN - not added to document #" + N(item)}));
    EXPECT_EQ(Count("UPDATE DOCSADM.PROFILE SET DEFAULT_RIGHTS = 1 WHERE SYSTEM_ID = " +
                    Profile(item, "SYSTEM_ID", "PLAIN")),
              1);
    EXPECT_EQ(Secured(parent, "PLAIN"), unrelated);
    EXPECT_EQ(Secured(item), same_number_in_demo);
  }
}

class InheritSecurityFaultTest : public InheritSecurityTest {
 protected:
  void SetUp() override { StartWithFaults({{.name = "DEMO"}, {.name = "ARCHIVE"}}); }
};

TEST_F(InheritSecurityFaultTest, AFailedStatementLeavesTheItemClosedAndInheritingAgainCompletesIt) {
  const long long parent = Item("DMADMIN", "DMADMIN", "DEMO");
  Grant(parent, {{"LIT", 127}, {"A_B", 16711680}, {"USER3", 255}, {"DOCS_USERS", 63}});
  // The folder is in DEMO, which stays connected.
  for (const std::string item_library : {"DEMO", "ARCHIVE"}) {
    SCOPED_TRACE("item in " + item_library);
    auto inherit = [&](long long n) { return Inherit(n, parent, item_library); };
    // The first switch to a library learns its facts; the calls counted are a later one's.
    ASSERT_EQ(inherit(Item("USER1", "USER2", item_library)), kApplied);
    FailEachCallInTurn(inherit, item_library, [&](long long n) {
      return "for document #" + N(n) + " in library " + item_library;
    });
    EXPECT_EQ(finished_.size(), 6u);
  }
}

}  // namespace
}  // namespace sproutsmith::security
