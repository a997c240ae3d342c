// Linking items into folders over real libraries: the checks that refuse a link, the link
// rows written, the refresh switches and the repair of a remote item's link row.

#include "folders/folder_membership.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/engine_session.h"

namespace sproutsmith::folders {
namespace {

using std::to_string;

class FolderMembershipTest : public testing::EngineSession {
 protected:
  void SetUp() override { Start({{.name = "LIB"}, {.name = "OTHER"}}, user_); }

  bool Link(long long doc, long long parent, const std::string& folder_library = "LIB",
            const std::string& document_library = "LIB", const std::string& type = "F") {
    return AddFolderItem(context(), connection(),
                         {.number = doc,
                          .library = document_library,
                          .parent = parent,
                          .parent_library = folder_library},
                         type, rule_);
  }
  long long Links(const std::string& library, long long parent, long long doc) {
    return std::stoll(
        Scalar(library, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = " + to_string(parent) +
                            " AND DOCNUMBER = " + to_string(doc)));
  }
  long long AllLinks(const std::string& library) {
    return std::stoll(Scalar(library, "SELECT COUNT(*) FROM FOLDER_ITEM"));
  }
  long long Refreshes(const std::string& library) {
    return std::stoll(Scalar(library,
                             "SELECT COUNT(*) FROM STANDIN_EVENTS WHERE EVENT_NAME = "
                             "'DOCSOPEN.RefreshAllViews'"));
  }
  // The logged-on user as an SQL literal.
  std::string UserLiteral() const { return "'" + testing::QuotesDoubled(user_) + "'"; }
  std::string Me() {
    return Scalar("LIB", "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = " + UserLiteral());
  }
  // The logged-on user leaves DOCS_SUPERVISORS for a group of universal access 127 that
  // holds no trustee entry anywhere, and whose name needs quoting; its SYSTEM_ID.
  std::string LeaveSupervisors() {
    const std::string me = Me();
    const std::string group =
        Scalar("LIB", "SELECT SYSTEM_ID FROM GROUPS WHERE UNIV_ACCESS = 127 ORDER BY SYSTEM_ID");
    EXPECT_NE(group, "");
    Exec("LIB", "UPDATE GROUPS SET GROUP_ID = 'PARTNERS''S' WHERE SYSTEM_ID = " + group);
    Exec("LIB", "UPDATE PEOPLE SET PRIMARY_GROUP = " + group + " WHERE SYSTEM_ID = " + me);
    Exec("LIB", "DELETE FROM PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = " + me +
                    " AND GROUPS_SYSTEM_ID = (SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = "
                    "'DOCS_SUPERVISORS')");
    Exec("LIB", "INSERT INTO PEOPLEGROUPS (PEOPLE_SYSTEM_ID, GROUPS_SYSTEM_ID) VALUES (" + me +
                    ", " + group + ")");
    return group;
  }

  std::string user_ = "DMADMIN";
  rules::RuleRecord rule_;
};

// A user id and a group id that need quoting inside SQL literals.
class MembershipRightsTest : public FolderMembershipTest {
 protected:
  void SetUp() override {
    user_ = "O'NEIL";
    FolderMembershipTest::SetUp();
  }
};

TEST_F(FolderMembershipTest, AnExistingLinkOrTheFolderItselfNeedsNoDmObject) {
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("LIB", "CHILD", parent);
  const long long rows = AllLinks("LIB");

  EXPECT_TRUE(Link(child, parent));
  EXPECT_EQ(Count("Folder_Item #" + to_string(child) + " in library LIB exists in folder #" +
                  to_string(parent) + " in library LIB"),
            1)
      << Dump();
  EXPECT_EQ(Count("Opening profile object"), 0);
  EXPECT_EQ(Count("Opening Parent folder object"), 0);

  // Into itself: not even checked.
  EXPECT_TRUE(Link(parent, parent));
  EXPECT_EQ(Count("Making sure parent folder #" + to_string(parent)), 1);
  EXPECT_EQ(AllLinks("LIB"), rows);
  EXPECT_EQ(Refreshes("LIB"), 0);

  EXPECT_FALSE(Link(0, parent));
  EXPECT_FALSE(Link(child, 0));
  EXPECT_EQ(connection().LibraryName(), "LIB");
}

TEST_F(FolderMembershipTest, ANewSubfolderIsLinkedAndThePathLogged) {
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("LIB", "CHILD");
  context().options.LabelStatus = "before";

  ASSERT_TRUE(Link(child, parent)) << Dump();
  EXPECT_EQ(Links("LIB", parent, child), 1);
  EXPECT_EQ(Scalar("LIB", "SELECT NODE_TYPE || ISFIRST FROM FOLDER_ITEM WHERE DOCNUMBER = " +
                              to_string(child)),
            "FY");
  const std::string c = to_string(child), p = to_string(parent);
  for (const std::string& line : std::vector<std::string>{
           "Opening profile object #" + c + " for AddFolderItem in library LIB",
           "Document #" + c + " is not secured", "Folder #" + p + " is not secured",
           "Adding subfolder #" + c + " in library LIB to folder #" + p + " in library LIB",
           "Profile added to folder with 0 trustee(s)",
           "Folder Item #" + c + " successfully added to folder #" + p + "."}) {
    EXPECT_EQ(Count(line), 1) << line << "\n" << Dump();
  }
  EXPECT_LT(LineOf("Adding subfolder"), LineOf("successfully added"));
  // Saved after the link, and again with the metadata it received.
  EXPECT_EQ(Count("Folder object saved to #" + p + " in library LIB"), 2);
  EXPECT_EQ(context().options.LabelStatus, "before");

  // A document goes in as a document.
  const std::string doc = Scalar(
      "LIB",
      "SELECT MIN(DOCNUMBER) FROM PROFILE WHERE APPLICATION <> (SELECT SYSTEM_ID FROM APPS WHERE "
      "APPLICATION = 'FOLDER')");
  ASSERT_TRUE(Link(std::stoll(doc), parent, "LIB", "LIB", "D")) << Dump();
  EXPECT_EQ(Scalar("LIB", "SELECT NODE_TYPE FROM FOLDER_ITEM WHERE DOCNUMBER = " + doc), "D");
  EXPECT_EQ(Count("Adding folder item #" + doc + " in library LIB to folder #" + p), 1);
  EXPECT_EQ(Count("Profile object set with 0 trustee(s)"), 1);
}

TEST_F(FolderMembershipTest, OnlyItemsOfStatusZeroOrThreeAreLinked) {
  struct Case {
    int status;
    bool linked;
    const char* status_after;
  };
  const long long parent = MakeFolder("LIB", "PARENT");
  for (const Case& c :
       {Case{0, true, "0"}, Case{3, true, "0"}, Case{1, false, "1"}, Case{19, false, "19"}}) {
    const long long child = MakeFolder("LIB", "CHILD " + to_string(c.status));
    const std::string doc = to_string(child);
    Exec("LIB", "UPDATE PROFILE SET STATUS = " + to_string(c.status) + " WHERE DOCNUMBER = " + doc);
    EXPECT_EQ(Link(child, parent), c.linked) << c.status;
    EXPECT_EQ(Links("LIB", parent, child), c.linked ? 1 : 0) << c.status;
    EXPECT_EQ(Scalar("LIB", "SELECT STATUS FROM PROFILE WHERE DOCNUMBER = " + doc), c.status_after);
    EXPECT_EQ(Count("Document #" + doc + " Status is " + to_string(c.status) +
                    " in library LIB - cannot continue AddFolderItem"),
              c.linked ? 0 : 1)
        << Dump();
  }
  EXPECT_FALSE(Link(987654, parent));
  EXPECT_EQ(Count("Document #987654 does not appear to exist in the Profile table in "
                  "library LIB - cannot continue AddFolderItem"),
            1);
}

TEST_F(FolderMembershipTest, TheParentMustBeAFolderWithItsFolderRow) {
  const long long child = MakeFolder("LIB", "CHILD");
  const std::string document = Scalar(
      "LIB",
      "SELECT MIN(DOCNUMBER) FROM PROFILE WHERE APPLICATION <> (SELECT SYSTEM_ID FROM APPS WHERE "
      "APPLICATION = 'FOLDER')");
  const long long bare = MakeFolder("LIB", "NO FOLDER ROW");
  Exec("LIB", "DELETE FROM FOLDER WHERE DOCNUMBER = " + to_string(bare));
  struct Case {
    long long parent;
    std::string line;
  };
  const Case cases[] = {
      {std::stoll(document),
       "Parent folder #" + document + " does not exist, or is not a folder, in library LIB"},
      {555555, "Parent folder #555555 does not exist, or is not a folder, in library LIB"},
      {bare, "Parent folder #" + to_string(bare) + " is not a folder in library LIB"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Link(child, c.parent)) << c.line;
    EXPECT_EQ(Count(c.line), 1) << Dump();
  }
  EXPECT_EQ(AllLinks("LIB"), 0);
  EXPECT_EQ(Count("Opening profile object"), 0);
}

TEST_F(MembershipRightsTest, ParentRightsComeFromTrusteesOrTheGroupsUniversalAccess) {
  const std::string group = LeaveSupervisors();
  const std::string me = Me();
  struct Case {
    int univ_access;
    std::string trustee;  // PERSONORGROUP of a trustee row on the parent, "" for none
    int rights;
    bool linked;
  };
  const Case cases[] = {
      {127, "", 0, false},  {255, "", 0, true},      {128, "", 0, true},   {127, me, 63, true},
      {127, me, 31, false}, {127, group, 255, true}, {127, "0", 63, true},  // DOCS_USERS, of which
                                                                            // everyone is a member
  };
  int refused = 0;
  for (const Case& c : cases) {
    const long long parent = MakeFolder("LIB", "PARENT");
    const long long child = MakeFolder("LIB", "CHILD");
    Exec("LIB", "UPDATE GROUPS SET UNIV_ACCESS = " + to_string(c.univ_access) +
                    " WHERE SYSTEM_ID = " + group);
    if (!c.trustee.empty()) {
      Exec("LIB", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT SYSTEM_ID, " +
                      c.trustee + ", " + to_string(c.rights) +
                      " FROM PROFILE WHERE DOCNUMBER = " + to_string(parent));
    }
    const std::string label = to_string(c.univ_access) + "/" + c.trustee;
    EXPECT_EQ(Link(child, parent), c.linked) << label << "\n" << Dump();
    EXPECT_EQ(Links("LIB", parent, child), c.linked ? 1 : 0) << label;
    if (!c.linked) ++refused;
    EXPECT_EQ(Count("does not have adequate rights to Parent folder #"), refused) << label;
    if (!c.linked) {
      EXPECT_EQ(Count("O'NEIL does not have adequate rights to Parent folder #" +
                      to_string(parent) + " in library LIB"),
                1);
    }
  }

  // Without the right to create folders nothing is looked at.
  Exec("LIB", "UPDATE GROUPS SET UNIV_ACCESS = 255 WHERE SYSTEM_ID = " + group);
  Exec("LIB", "DELETE FROM STANDIN_RIGHTS WHERE RIGHT_NAME = 'User.CreateFolder'");
  EXPECT_FALSE(Link(MakeFolder("LIB", "CHILD"), MakeFolder("LIB", "PARENT")));
  EXPECT_EQ(Count("O'NEIL does not have rights to manage folders in library LIB"), 1);
}

TEST_F(MembershipRightsTest, SecuredItemsNeedTheRightToChangeThem) {
  LeaveSupervisors();
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("LIB", "CHILD");
  const std::string c = to_string(child);
  // Secured, and the user's trustee entry lets it read only.
  Exec("LIB", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = " + c);
  Exec("LIB",
       "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT P.SYSTEM_ID, "
       "U.SYSTEM_ID, 1 FROM PROFILE P, PEOPLE U WHERE P.DOCNUMBER = " +
           c + " AND U.USER_ID = " + UserLiteral());
  Exec("LIB", "UPDATE GROUPS SET UNIV_ACCESS = 255 WHERE UNIV_ACCESS = 127");
  EXPECT_FALSE(Link(child, parent));
  EXPECT_EQ(Count("User O'NEIL has insufficient rights to document #" + c), 1) << Dump();
  EXPECT_EQ(Links("LIB", parent, child), 0);

  Exec("LIB",
       "UPDATE SECURITY SET ACCESSRIGHTS = 255 WHERE THING = (SELECT SYSTEM_ID FROM "
       "PROFILE WHERE DOCNUMBER = " +
           c + ")");
  EXPECT_TRUE(Link(child, parent)) << Dump();
  EXPECT_EQ(Count("User O'NEIL appears to have sufficient rights to document #" + c), 1);
}

TEST_F(FolderMembershipTest, RefreshSwitchesSuppressTheirOwnRefresh) {
  // Sorting off: its own refresh stays out of the count.
  connection().library_state().settings.MaxItemsToSort = 1;
  struct Case {
    const char* command_line;
    long long refreshes;  // after the link, by the metadata step, at the end
  };
  const long long parent = MakeFolder("LIB", "PARENT");
  for (const Case& c : {Case{"", 3}, Case{"/RV", 2}, Case{"/XR", 1}, Case{"/RV /XR", 0}}) {
    context().state.CommandLine = c.command_line;
    const long long child = MakeFolder("LIB", std::string("CHILD ") + c.command_line);
    const long long before = Refreshes("LIB");
    EXPECT_TRUE(Link(child, parent)) << c.command_line;
    EXPECT_EQ(Refreshes("LIB") - before, c.refreshes) << c.command_line;
  }
}

TEST_F(FolderMembershipTest, ARemoteItemIsLinkedAndItsEmptyLinkRowRepaired) {
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("OTHER", "REMOTE CHILD");
  // A server that leaves the document number of a remote item's link row empty.
  Exec("LIB",
       "CREATE TRIGGER EMPTY_REMOTE_DOCNUMBER AFTER INSERT ON FOLDER_ITEM WHEN NEW.LIBRARY <> 0 "
       "BEGIN UPDATE FOLDER_ITEM SET DOCNUMBER = 0 WHERE SYSTEM_ID = NEW.SYSTEM_ID; END");

  ASSERT_TRUE(Link(child, parent, "LIB", "OTHER")) << Dump();
  const std::string other_id =
      Scalar("LIB", "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'OTHER'");
  EXPECT_EQ(Scalar("LIB", "SELECT DOCNUMBER FROM FOLDER_ITEM WHERE PARENT = " + to_string(parent) +
                              " AND LIBRARY = " + other_id),
            to_string(child));
  EXPECT_EQ(Count("Document #0 is currently set to Folder Item system_id #"), 1) << Dump();
  EXPECT_EQ(Count("Inserting Document # for the new Folder Item"), 1);
  // The item's own library keeps its copy of the link.
  EXPECT_EQ(Links("OTHER", parent, child), 1);
  EXPECT_EQ(connection().LibraryName(), "LIB");

  // Linked once: the second call finds the row.
  EXPECT_TRUE(Link(child, parent, "LIB", "OTHER"));
  EXPECT_EQ(Count("Folder_Item #" + to_string(child) + " in library OTHER exists in folder #" +
                  to_string(parent) + " in library LIB"),
            1);
  EXPECT_EQ(Links("LIB", parent, child), 1);
}

TEST_F(FolderMembershipTest, ARemoteLinkNeedsTheRightToSaveToRemoteLibraries) {
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("OTHER", "REMOTE CHILD");
  // Not a supervisor in the item's library, and without the right there.
  Exec("OTHER",
       "DELETE FROM PEOPLEGROUPS WHERE GROUPS_SYSTEM_ID = (SELECT SYSTEM_ID FROM GROUPS WHERE "
       "GROUP_ID = 'DOCS_SUPERVISORS')");
  Exec("OTHER", "UPDATE PEOPLE SET PRIMARY_GROUP = 0 WHERE USER_ID = 'DMADMIN'");
  Exec("OTHER", "DELETE FROM STANDIN_RIGHTS WHERE RIGHT_NAME = 'User.SaveToRemoteLibrary'");

  EXPECT_FALSE(Link(child, parent, "LIB", "OTHER"));
  EXPECT_EQ(Count("DMADMIN does not have rights to save folders to the (remote) Library "
                  "LIB from library OTHER"),
            1)
      << Dump();
  EXPECT_EQ(Links("LIB", parent, child), 0);
  EXPECT_EQ(connection().LibraryName(), "LIB");
}

}  // namespace
}  // namespace sproutsmith::folders
