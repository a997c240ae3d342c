// Linking items into folders over real libraries: the checks that refuse a link, the link
// rows written, the refresh switches and the repair of a remote item's link row.

#include "folders/folder_membership.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folders/library_session.h"

namespace sproutsmith::folders {
namespace {

// The logged-on user's id needs quoting inside SQL literals.
class FolderMembershipTest : public testing::LibrarySession {
 protected:
  void SetUp() override { Start({{.name = "LIB"}, {.name = "OTHER"}}, "O'NEIL"); }

  bool Link(long long doc, long long parent, const std::string& document_library = "LIB",
            const std::string& type = "F") {
    return AddFolderItem(
        context(), connection(),
        {.number = doc, .library = document_library, .parent = parent, .parent_library = "LIB"},
        type, rule_);
  }
  long long Links(long long parent, long long doc, const std::string& library = "LIB") {
    return std::stoll(Scalar(library, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = " +
                                          N(parent) + " AND DOCNUMBER = " + N(doc)));
  }
  // The logged-on user's SYSTEM_ID.
  std::string Me() {
    return Scalar("LIB", "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'O''NEIL'");
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

  rules::RuleRecord rule_;
};

TEST_F(FolderMembershipTest, AnExistingLinkOrTheFolderItselfNeedsNoDmObject) {
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("LIB", "CHILD", parent);
  const std::string links = Scalar("LIB", "SELECT COUNT(*) FROM FOLDER_ITEM");

  EXPECT_TRUE(Link(child, parent));
  EXPECT_TRUE(Once({"Folder_Item #" + N(child) + " in library LIB exists in folder #" + N(parent) +
                    " in library LIB"}));
  EXPECT_EQ(Count("Opening profile object"), 0);
  EXPECT_EQ(Count("Opening Parent folder object"), 0);

  // Into itself: not even checked.
  EXPECT_TRUE(Link(parent, parent));
  EXPECT_EQ(Count("Making sure parent folder #" + N(parent)), 1);
  EXPECT_EQ(Scalar("LIB", "SELECT COUNT(*) FROM FOLDER_ITEM"), links);
  EXPECT_EQ(Refreshes(), 0);

  EXPECT_FALSE(Link(0, parent));
  EXPECT_FALSE(Link(child, 0));
  EXPECT_EQ(connection().LibraryName(), "LIB");
}

TEST_F(FolderMembershipTest, ANewSubfolderIsLinkedAndThePathLogged) {
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("LIB", "CHILD");
  context().options.LabelStatus = "before";

  ASSERT_TRUE(Link(child, parent)) << Dump();
  EXPECT_EQ(Links(parent, child), 1);
  EXPECT_EQ(
      Scalar("LIB", "SELECT NODE_TYPE || ISFIRST FROM FOLDER_ITEM WHERE DOCNUMBER = " + N(child)),
      "FY");
  const std::string c = N(child), p = N(parent);
  EXPECT_TRUE(
      Once({"Opening profile object #" + c + " for AddFolderItem in library LIB",
            "Document #" + c + " is not secured", "Folder #" + p + " is not secured",
            "Adding subfolder #" + c + " in library LIB to folder #" + p + " in library LIB",
            "Profile added to folder with 0 trustee(s)",
            "Folder Item #" + c + " successfully added to folder #" + p + "."}));
  EXPECT_LT(LineOf("Adding subfolder"), LineOf("successfully added"));
  // Saved after the link, and again with the metadata it received.
  EXPECT_EQ(Count("Folder object saved to #" + p + " in library LIB"), 2);
  EXPECT_EQ(context().options.LabelStatus, "before");

  const std::string doc = N(Document());
  ASSERT_TRUE(Link(Document(), parent, "LIB", "D")) << Dump();
  EXPECT_EQ(Scalar("LIB", "SELECT NODE_TYPE FROM FOLDER_ITEM WHERE DOCNUMBER = " + doc), "D");
  EXPECT_TRUE(Once({"Adding folder item #" + doc + " in library LIB to folder #" + p,
                    "Profile object set with 0 trustee(s)"}));
}

TEST_F(FolderMembershipTest, OnlyItemsOfStatusZeroOrThreeUnderAFolderWithItsFolderRowAreLinked) {
  const long long parent = MakeFolder("LIB", "PARENT");
  for (const int status : {0, 3, 1, 19}) {
    const long long child = MakeFolder("LIB", "CHILD " + N(status));
    Exec("LIB", "UPDATE PROFILE SET STATUS = " + N(status) + " WHERE DOCNUMBER = " + N(child));
    const bool linked = status == 0 || status == 3;
    EXPECT_EQ(Link(child, parent), linked) << status;
    EXPECT_EQ(Links(parent, child), linked ? 1 : 0) << status;
    EXPECT_EQ(Profile(child, "STATUS"), linked ? "0" : N(status));
    EXPECT_EQ(Count("Document #" + N(child) + " Status is " + N(status) +
                    " in library LIB - cannot continue AddFolderItem"),
              linked ? 0 : 1)
        << Dump();
  }

  // Refused before any object is opened.
  const long long child = MakeFolder("LIB", "CHILD");
  const long long bare = MakeFolder("LIB", "NO FOLDER ROW");
  Exec("LIB", "DELETE FROM FOLDER WHERE DOCNUMBER = " + N(bare));
  const int opened = Count("Opening profile object");
  const std::string links = Scalar("LIB", "SELECT COUNT(*) FROM FOLDER_ITEM");
  struct Case {
    long long doc;
    long long parent;
    std::string line;
  };
  const Case cases[] = {
      {987654, parent,
       "Document #987654 does not appear to exist in the Profile table in library LIB - cannot "
       "continue AddFolderItem"},
      {child, Document(),
       "Parent folder #" + N(Document()) + " does not exist, or is not a folder, in library LIB"},
      {child, 555555, "Parent folder #555555 does not exist, or is not a folder, in library LIB"},
      {child, bare, "Parent folder #" + N(bare) + " is not a folder in library LIB"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Link(c.doc, c.parent)) << c.line;
    EXPECT_TRUE(Once({c.line}));
  }
  EXPECT_EQ(Scalar("LIB", "SELECT COUNT(*) FROM FOLDER_ITEM"), links);
  EXPECT_EQ(Count("Opening profile object"), opened);
}

TEST_F(FolderMembershipTest, ParentRightsComeFromTrusteesOrTheGroupsUniversalAccess) {
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
    Exec("LIB",
         "UPDATE GROUPS SET UNIV_ACCESS = " + N(c.univ_access) + " WHERE SYSTEM_ID = " + group);
    if (!c.trustee.empty()) {
      Exec("LIB", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT SYSTEM_ID, " +
                      c.trustee + ", " + N(c.rights) +
                      " FROM PROFILE WHERE DOCNUMBER = " + N(parent));
    }
    const std::string label = N(c.univ_access) + "/" + c.trustee;
    EXPECT_EQ(Link(child, parent), c.linked) << label << "\n" << Dump();
    EXPECT_EQ(Links(parent, child), c.linked ? 1 : 0) << label;
    if (!c.linked) ++refused;
    EXPECT_EQ(Count("does not have adequate rights to Parent folder #"), refused) << label;
    if (!c.linked) {
      EXPECT_TRUE(Once({"O'NEIL does not have adequate rights to Parent folder #" + N(parent) +
                        " in library LIB"}));
    }
  }

  // Without the right to create folders nothing is looked at.
  Exec("LIB", "UPDATE GROUPS SET UNIV_ACCESS = 255 WHERE SYSTEM_ID = " + group);
  Exec("LIB", "DELETE FROM STANDIN_RIGHTS WHERE RIGHT_NAME = 'User.CreateFolder'");
  EXPECT_FALSE(Link(MakeFolder("LIB", "CHILD"), MakeFolder("LIB", "PARENT")));
  EXPECT_TRUE(Once({"O'NEIL does not have rights to manage folders in library LIB"}));
}

TEST_F(FolderMembershipTest, SecuredItemsNeedTheRightToChangeThem) {
  LeaveSupervisors();
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("LIB", "CHILD");
  const std::string c = N(child);
  // Secured, and the user's trustee entry lets it read only.
  Exec("LIB", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = " + c);
  Exec("LIB", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT SYSTEM_ID, " +
                  Me() + ", 1 FROM PROFILE WHERE DOCNUMBER = " + c);
  Exec("LIB", "UPDATE GROUPS SET UNIV_ACCESS = 255 WHERE UNIV_ACCESS = 127");
  EXPECT_FALSE(Link(child, parent));
  EXPECT_TRUE(Once({"User O'NEIL has insufficient rights to document #" + c}));
  EXPECT_EQ(Links(parent, child), 0);

  Exec("LIB",
       "UPDATE SECURITY SET ACCESSRIGHTS = 255 WHERE THING = (SELECT SYSTEM_ID FROM "
       "PROFILE WHERE DOCNUMBER = " +
           c + ")");
  EXPECT_TRUE(Link(child, parent)) << Dump();
  EXPECT_TRUE(Once({"User O'NEIL appears to have sufficient rights to document #" + c}));
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
    const long long before = Refreshes();
    EXPECT_TRUE(Link(child, parent)) << c.command_line;
    EXPECT_EQ(Refreshes() - before, c.refreshes) << c.command_line;
  }
}

TEST_F(FolderMembershipTest, ARemoteItemIsLinkedAndItsEmptyLinkRowRepaired) {
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("OTHER", "REMOTE CHILD");
  // A server that leaves the document number of a remote item's link row empty.
  Exec("LIB",
       "CREATE TRIGGER EMPTY_REMOTE_DOCNUMBER AFTER INSERT ON FOLDER_ITEM WHEN NEW.LIBRARY <> 0 "
       "BEGIN UPDATE FOLDER_ITEM SET DOCNUMBER = 0 WHERE SYSTEM_ID = NEW.SYSTEM_ID; END");

  ASSERT_TRUE(Link(child, parent, "OTHER")) << Dump();
  EXPECT_EQ(Scalar("LIB", "SELECT DOCNUMBER FROM FOLDER_ITEM WHERE PARENT = " + N(parent) +
                              " AND LIBRARY = (SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE "
                              "LIBRARY_NAME = 'OTHER')"),
            N(child));
  EXPECT_TRUE(Once({"Document #0 is currently set to Folder Item system_id #",
                    "Inserting Document # for the new Folder Item"}));
  // The item's own library keeps its copy of the link.
  EXPECT_EQ(Links(parent, child, "OTHER"), 1);
  EXPECT_EQ(connection().LibraryName(), "LIB");

  // Linked once: the second call finds the row.
  EXPECT_TRUE(Link(child, parent, "OTHER"));
  EXPECT_TRUE(Once({"Folder_Item #" + N(child) + " in library OTHER exists in folder #" +
                    N(parent) + " in library LIB"}));
  EXPECT_EQ(Links(parent, child), 1);

  // Not a supervisor in the item's library, and without the right to save to others there.
  const long long refused = MakeFolder("OTHER", "REFUSED CHILD");
  Exec("OTHER",
       "DELETE FROM PEOPLEGROUPS WHERE GROUPS_SYSTEM_ID = (SELECT SYSTEM_ID FROM GROUPS WHERE "
       "GROUP_ID = 'DOCS_SUPERVISORS')");
  Exec("OTHER", "UPDATE PEOPLE SET PRIMARY_GROUP = 0 WHERE USER_ID = 'O''NEIL'");
  Exec("OTHER", "DELETE FROM STANDIN_RIGHTS WHERE RIGHT_NAME = 'User.SaveToRemoteLibrary'");
  EXPECT_FALSE(Link(refused, parent, "OTHER"));
  EXPECT_TRUE(
      Once({"O'NEIL does not have rights to save folders to the (remote) Library LIB "
            "from library OTHER"}));
  EXPECT_EQ(Links(parent, refused), 0);
  EXPECT_EQ(connection().LibraryName(), "LIB");
}

}  // namespace
}  // namespace sproutsmith::folders
