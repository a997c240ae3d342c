// The folder operations over real libraries. Creating a folder through the DM API: what a new
// top-level folder's rows hold, the operator's confirmation, rights, forms and the public flag
// (linking under a parent is exercised with the whole row walk). Finding a folder under its
// parent or at the top of a library: patterns from the rule's parse characters, escaping, the
// stamped-first choice and renaming. Linking items into folders: the checks that refuse a link,
// the link rows written, the refresh switches and the repair of a remote item's link row.
// Profile metadata between a parent folder and its item, read back from the PROFILE rows. And
// the HOLLOWBRINK site's profile update of a new top folder, run by the folder builder on
// libraries of both flavours.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "folders/folder_builder.h"
#include "folders/folder_creation.h"
#include "folders/folder_lookup.h"
#include "folders/folder_membership.h"
#include "folders/library_session.h"
#include "folders/metadata_sync.h"
#include "template/compiler.h"
#include "template/template_test_support.h"

namespace sproutsmith::folders {
namespace {

using rules::RuleKey;
using runtime::Answer;

class FolderCreationTest : public testing::LibrarySession {
 protected:
  void SetUp() override {
    Start({{.name = "LIB"}});
    rule_.Set(RuleKey::kName, "R1");
    rule_.Set(RuleKey::kCreatePublicFolders, "1");
    rule_.Set(RuleKey::kForm, "*DEFAULT FORM*");
    creator_ = std::make_unique<FolderCreator>(context(), connection());
  }
  long long Create(const std::string& name, int level = 1) {
    return creator_->CreateFolder({name, {}, level}, rule_, ErrorMode::kSilent);
  }
  // The folder's rows: its name, application, typist and form, its FOLDER row's PATH and
  // whether it has a LAST_UPDATE, its ROOT_OBJECT name and its activity rows of the kinds a
  // folder must not have.
  std::string Rows(long long doc) {
    return Scalar("LIB",
                  "SELECT P.DOCNAME || '|' || A.APPLICATION || '|' || U.USER_ID || '|' || "
                  "F.FORM_NAME || '|' || D.PATH || '|' || (D.LAST_UPDATE IS NOT NULL) || '|' || "
                  "COALESCE(R.DISPLAYNAME, '-') || '|' || (SELECT COUNT(*) FROM ACTIVITYLOG L "
                  "WHERE L.ACTIVITY_TYPE IN (45, 46, 47) AND L.DOCNUMBER = P.DOCNUMBER) FROM "
                  "PROFILE P JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION JOIN PEOPLE U ON "
                  "U.SYSTEM_ID = P.TYPIST JOIN FORMS F ON F.SYSTEM_ID = P.FORM JOIN FOLDER D ON "
                  "D.DOCNUMBER = P.DOCNUMBER LEFT JOIN ROOT_OBJECT R ON R.DOCNUMBER = "
                  "P.DOCNUMBER WHERE P.DOCNUMBER = " +
                      N(doc));
  }
  // The logged-on user loses DOCS_SUPERVISORS; `rights` are granted instead.
  void Demote(const std::vector<std::string>& rights) {
    Exec("LIB",
         "UPDATE PEOPLE SET PRIMARY_GROUP = (SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = "
         "'LITIGATION') WHERE USER_ID = 'DMADMIN'");
    Exec("LIB",
         "DELETE FROM PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM PEOPLE "
         "WHERE USER_ID = 'DMADMIN')");
    Exec("LIB", "DELETE FROM STANDIN_RIGHTS WHERE USER_ID = 'DMADMIN'");
    for (const std::string& right : rights) {
      Exec("LIB", "INSERT INTO STANDIN_RIGHTS (USER_ID, RIGHT_NAME, ALLOWED) VALUES ('DMADMIN', '" +
                      right + "', 1)");
    }
  }

  rules::RuleRecord rule_;
  std::unique_ptr<FolderCreator> creator_;
};

TEST_F(FolderCreationTest, ANewTopLevelFolderPublicOrNotWithItsForm) {
  const long long folder = Create("FIRM MATTERS");
  ASSERT_GT(folder, 0) << Dump();
  EXPECT_FALSE(creator_->FolderExisted());
  EXPECT_EQ(Rows(folder), "FIRM MATTERS|FOLDER|DMADMIN|FOLDER_PROF|ARBORLINE R1|1|FIRM MATTERS|0");
  EXPECT_EQ(Count("Saving Folder to change form to"), 0);  // the default form: one save
  EXPECT_EQ(Count("Error: "), 0) << Dump();

  // Found the second time: nothing is written.
  const std::string profiles = Scalar("LIB", "SELECT COUNT(*) FROM PROFILE");
  EXPECT_EQ(Create("FIRM MATTERS"), folder);
  EXPECT_TRUE(creator_->FolderExisted());
  EXPECT_EQ(Scalar("LIB", "SELECT COUNT(*) FROM PROFILE"), profiles);
  EXPECT_TRUE(Once({"Folder \"FIRM MATTERS\" already exists as folder #" + N(folder)}));

  // A named form and a folder that is not public.
  rule_.Set(RuleKey::kForm, "FOLDER_PROF");
  rule_.Set(RuleKey::kCreatePublicFolders, "0");
  const long long private_folder = Create("PRIVATE");
  ASSERT_GT(private_folder, 0) << Dump();
  EXPECT_EQ(Rows(private_folder), "PRIVATE|FOLDER|DMADMIN|FOLDER_PROF|ARBORLINE R1|1|-|0");
  EXPECT_TRUE(
      Once({"Saving Folder to change form to FOLDER_PROF", "Not setting profile object #"}));
}

TEST_F(FolderCreationTest, TheOperatorConfirmsEveryNewTopLevelFolder) {
  connection().library_state().settings.TopLevelWarning = 1;
  const std::string profiles = Scalar("LIB", "SELECT COUNT(*) FROM PROFILE");

  install_.ui.answers = {Answer::kCancel};
  EXPECT_EQ(Create("ASKED"), 0);
  EXPECT_FALSE(install_.state.CancelRequested);
  EXPECT_TRUE(
      Once({"You have decided not to create a top-level folder named \"ASKED\" in library LIB"}));

  install_.ui.answers = {Answer::kNo};
  EXPECT_EQ(Create("ASKED"), 0);
  EXPECT_TRUE(install_.state.CancelRequested);  // No stops the whole cycle
  EXPECT_EQ(install_.ui.messages.back().text,
            "Sproutsmith stopped by user at point where it was going to create a top-level "
            "folder named \"ASKED\" in library LIB");
  EXPECT_EQ(Scalar("LIB", "SELECT COUNT(*) FROM PROFILE"), profiles);

  install_.state.CancelRequested = false;
  install_.ui.answers = {Answer::kYes};
  EXPECT_GT(Create("ASKED"), 0);
  EXPECT_EQ(Count("I will create a top-level folder named \"ASKED\" in library LIB"), 1);
  EXPECT_EQ(install_.ui.messages.size(), 4u);  // three questions, one notice
  EXPECT_NE(install_.ui.messages[0].text.find(
                "You are about to create a top-level folder named \"ASKED\" in library LIB at "),
            std::string::npos);
}

TEST_F(FolderCreationTest, RightsToCreateFolders) {
  Demote({});
  EXPECT_EQ(Create("NO RIGHTS"), 0);
  EXPECT_TRUE(
      Once({"Library Administrator does not have rights to manage folders in library LIB"}));
  // Creating folders, but not managing root folders: no public top level.
  Demote({"User.CreateFolder"});
  EXPECT_EQ(Create("PUBLIC"), 0);
  rule_.Set(RuleKey::kCreatePublicFolders, "0");
  EXPECT_GT(Create("PRIVATE"), 0) << Dump();
}

TEST(SearchPatternTest, PartsOfTheNameThatIdentifyAFolder) {
  const char* const cases[][3] = {
      {"5", "C0001 Harbour Supplies Ltd", "C0001%"},
      {"-4", "Harbour C123", "%C123"},
      {"-", "C0001-Harbour", "C0001-%"},
      {"  -  ", "C0001-Harbour", "C0001-%"},
      {"- \\ ignored", "C0001-Harbour", "C0001-%"},
      {"#", "no mark here", "no mark here"},
      {"", "Whole Name", "Whole Name"},
      {"0", "Whole Name", "Whole Name"},
      {"3", "AB", "AB%"},
  };
  for (const auto& [spec, name, pattern] : cases) {
    EXPECT_EQ(SearchPattern(name, NameParse::Read(spec)), pattern) << spec << " / " << name;
  }
}

TEST(SearchPatternTest, TheLikeTextMatchesOnlyWhatTheNameSays) {
  EXPECT_EQ(LikeText("O'Brien [Ltd]%"), "O''BRIEN [[]LTD]%");
  EXPECT_EQ(LikeText("A_B"), "A[_]B");
  const std::string long_name(300, 'x');
  EXPECT_EQ(LikeText(long_name), std::string(240, 'X'));
  EXPECT_EQ(CollapseSpaces("A  B   C"), "A B C");
}

class FolderLookupTest : public testing::LibrarySession {
 protected:
  void SetUp() override {
    Start({{.name = "LIB"}, {.name = "OTHER"}, {.name = "ORA", .engine_code = 2}});
    rule_.Set(RuleKey::kName, "R1");
  }
  // As folder creation calls it: in the library the folder would live in.
  long long Find(const std::string& name, const std::string& parse, long long parent,
                 const std::string& item_library = "LIB", const std::string& library = "LIB") {
    connection().ConnectLibrary(item_library);
    rule_.Set(RuleKey::kParseCharacters, parse);
    return CheckForFolder(context(), connection(), name,
                          {.library = item_library, .parent = parent, .parent_library = library},
                          rule_);
  }
  std::string Path(long long doc) {
    return Scalar("LIB", "SELECT PATH FROM FOLDER WHERE DOCNUMBER = " + N(doc));
  }

  rules::RuleRecord rule_;
};

TEST_F(FolderLookupTest, UnderAParent) {
  const long long parent = MakeFolder("LIB", "CLIENTS");
  const long long harbour = MakeFolder("LIB", "C0001 Harbour Supplies", parent);
  const long long dash = MakeFolder("LIB", "C0002-Old", parent);
  MakeFolder("LIB", "C0001 Elsewhere");  // not under the parent

  EXPECT_EQ(Find("C0002-New", "-", parent), dash);
  EXPECT_EQ(Profile(dash, "DOCNAME"), "C0002-Old");  // found by parse characters: used as it is
  EXPECT_EQ(Find("Nothing", "", parent), 0);
  EXPECT_EQ(Count("Match on folder item \"Nothing\" not found in parent folder #"), 1);

  // A numeric count adopts and renames: profile and folder item.
  EXPECT_EQ(Find("C0001  Harbour Supplies Ltd", "5", parent), harbour);
  EXPECT_EQ(Profile(harbour, "DOCNAME"), "C0001 Harbour Supplies Ltd");
  EXPECT_EQ(Scalar("LIB", "SELECT DISPLAYNAME FROM FOLDER_ITEM WHERE DOCNUMBER = " + N(harbour)),
            "C0001 Harbour Supplies Ltd");
  EXPECT_GE(Count("The folder name search will be on \"C0001%\""), 1);
  // A parent search never stamps.
  EXPECT_EQ(Path(harbour), "NULL");
}

TEST_F(FolderLookupTest, AtTheTopTheStampedFolderWinsElseTheNewestIsStamped) {
  const long long older = MakeFolder("LIB", "TOP");
  const long long newer = MakeFolder("LIB", "TOP");
  EXPECT_EQ(Find("TOP", "", 0), newer);
  EXPECT_EQ(Path(newer), "ARBORLINE R1");
  EXPECT_EQ(Path(older), "NULL");

  // Stamps of (older, newer) and the folder this rule takes: its own stamp wins; another
  // rule's folder is that rule's tree and is never taken, renamed or filed into.
  const std::tuple<const char*, const char*, long long> cases[] = {
      {"'ARBORLINE R1'", "NULL", older},
      {"'ARBORLINE OTHER RULE'", "NULL", newer},
      {"'ARBORLINE OTHER RULE'", "'ARBORLINE R1'", newer},
      {"'ARBORLINE OTHER RULE'", "'ARBORLINE R10'", 0},
  };
  for (const auto& [older_path, newer_path, expected] : cases) {
    SCOPED_TRACE(std::string(older_path) + " / " + newer_path);
    Exec("LIB",
         std::string("UPDATE FOLDER SET PATH = ") + older_path + " WHERE DOCNUMBER = " + N(older));
    Exec("LIB",
         std::string("UPDATE FOLDER SET PATH = ") + newer_path + " WHERE DOCNUMBER = " + N(newer));
    EXPECT_EQ(Find("top", "", 0), expected);
  }
  EXPECT_EQ(Path(older), "ARBORLINE OTHER RULE");
  EXPECT_EQ(Path(newer), "ARBORLINE R10");

  // A folder linked under another folder of this library is not at the top.
  MakeFolder("LIB", "INSIDE", MakeFolder("LIB", "HOLDER"));
  EXPECT_EQ(Find("INSIDE", "", 0), 0);
  EXPECT_EQ(Count("Top-level folder \"INSIDE\" not found in library LIB"), 1);
  EXPECT_EQ(Count("GetRowCount:     0"), 1);
}

TEST_F(FolderLookupTest, PublicRulesSearchOnlyPublicFoldersAndAnItemLibraryOnlyItsOwn) {
  const long long plain = MakeFolder("LIB", "PUBLIC ONE");
  rule_.Set(RuleKey::kCreatePublicFolders, "1");
  EXPECT_EQ(Find("PUBLIC ONE", "", 0), 0);
  EXPECT_EQ(Count("The search will be for a Public Folder"), 1);
  Exec("LIB",
       "INSERT INTO ROOT_OBJECT (DOCNUMBER, DISPLAYNAME) VALUES (" + N(plain) + ", 'PUBLIC ONE')");
  EXPECT_EQ(Find("PUBLIC ONE", "", 0), plain);

  // A folder in another library under a local parent.
  rule_.Set(RuleKey::kCreatePublicFolders, "0");
  const long long parent = MakeFolder("LIB", "CLIENTS");
  const long long remote = MakeFolder("OTHER", "C0009 Remote", parent, "LIB");
  EXPECT_EQ(Find("C0009 Remote", "", parent, "OTHER"), remote);
  EXPECT_EQ(Find("C0009 Remote", "", parent, "LIB"), 0);
}

// The search's escaped pattern reaches each server in a form it reads: "_" and "[" in a name
// match only themselves on Oracle as on SQL Server.
TEST_F(FolderLookupTest, WildcardsAndBracketsInNamesMatchOnlyThemselves) {
  for (const std::string library : {"LIB", "ORA"}) {
    SCOPED_TRACE(library);
    const long long parent = MakeFolder(library, "CLIENTS");
    const long long underscore = MakeFolder(library, "A_B", parent);
    const long long bracket = MakeFolder(library, "ACME [UK] 5", parent);
    MakeFolder(library, "QXR", parent);
    MakeFolder(library, "ACME U 5", parent);
    EXPECT_EQ(Find("a_b", "", parent, library, library), underscore);
    EXPECT_EQ(Find("ACME [UK] 5", "", parent, library, library), bracket);
    EXPECT_EQ(Find("Q_R", "", parent, library, library), 0);
    EXPECT_EQ(Find("ACME [U] 5", "", parent, library, library), 0);
  }
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

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
  const std::tuple<long long, long long, std::string> cases[] = {
      {987654, parent,
       "Document #987654 does not appear to exist in the Profile table in library LIB - cannot "
       "continue AddFolderItem"},
      {child, Document(),
       "Parent folder #" + N(Document()) + " does not exist, or is not a folder, in library LIB"},
      {child, 555555, "Parent folder #555555 does not exist, or is not a folder, in library LIB"},
      {child, bare, "Parent folder #" + N(bare) + " is not a folder in library LIB"},
  };
  for (const auto& [doc, into, line] : cases) {
    EXPECT_FALSE(Link(doc, into)) << line;
    EXPECT_TRUE(Once({line}));
  }
  EXPECT_EQ(Scalar("LIB", "SELECT COUNT(*) FROM FOLDER_ITEM"), links);
  EXPECT_EQ(Count("Opening profile object"), opened);
}

TEST_F(FolderMembershipTest, ParentRightsComeFromTrusteesOrTheGroupsUniversalAccess) {
  const std::string group = LeaveSupervisors();
  const std::string me = Me();
  // UNIV_ACCESS; PERSONORGROUP of a trustee row on the parent ("" for none, "0" DOCS_USERS, of
  // which everyone is a member) and its rights; linked.
  const std::tuple<int, std::string, int, bool> cases[] = {
      {127, "", 0, false},  {255, "", 0, true},      {128, "", 0, true},   {127, me, 63, true},
      {127, me, 31, false}, {127, group, 255, true}, {127, "0", 63, true},
  };
  int refused = 0;
  for (const auto& [univ_access, trustee, rights, linked] : cases) {
    const long long parent = MakeFolder("LIB", "PARENT");
    const long long child = MakeFolder("LIB", "CHILD");
    Exec("LIB",
         "UPDATE GROUPS SET UNIV_ACCESS = " + N(univ_access) + " WHERE SYSTEM_ID = " + group);
    if (!trustee.empty()) {
      Exec("LIB", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT SYSTEM_ID, " +
                      trustee + ", " + N(rights) + " FROM PROFILE WHERE DOCNUMBER = " + N(parent));
    }
    const std::string label = N(univ_access) + "/" + trustee;
    EXPECT_EQ(Link(child, parent), linked) << label << "\n" << Dump();
    EXPECT_EQ(Links(parent, child), linked ? 1 : 0) << label;
    if (!linked) ++refused;
    EXPECT_EQ(Count("does not have adequate rights to Parent folder #"), refused) << label;
    if (!linked) {
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
  const long long parent = MakeFolder("LIB", "PARENT");
  // Refreshes after the link, by the metadata step, at the end.
  const std::pair<const char*, long long> cases[] = {
      {"", 3}, {"/RV", 2}, {"/XR", 1}, {"/RV /XR", 0}};
  for (const auto& [command_line, refreshes] : cases) {
    context().state.CommandLine = command_line;
    const long long child = MakeFolder("LIB", std::string("CHILD ") + command_line);
    const long long before = Refreshes();
    EXPECT_TRUE(Link(child, parent)) << command_line;
    EXPECT_EQ(Refreshes() - before, refreshes) << command_line;
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

class MetadataSyncTest : public testing::LibrarySession {
 protected:
  void SetUp() override {
    Start({{.name = "LIB"}, {.name = "OTHER"}});
    // Mail columns, and the same kind of column without MAIL, on the folder form (before the
    // first folder object reads the form).
    AddFormColumn("EMAIL_ADDRESS", "PD_ADDRESSEE");
    AddFormColumn("MAILSTOP", "PATH");
    AddFormColumn("STORAGE", "STORAGETYPE");
    parent_ = MakeFolder("LIB", "PARENT");
  }

  bool Sync(long long item, const std::string& item_library = "LIB",
            const std::string& type = "F") {
    return SyncData(
        context(), connection(),
        {.number = item, .library = item_library, .parent = parent_, .parent_library = "LIB"},
        type);
  }
  void Set(long long doc, const std::string& assignments, const std::string& library = "LIB") {
    Exec(library, "UPDATE PROFILE SET " + assignments + " WHERE DOCNUMBER = " + N(doc));
  }
  // A profile column of the folder form over a PROFILE column.
  void AddFormColumn(const std::string& name, const std::string& sql_column) {
    Exec("LIB",
         "INSERT INTO STANDIN_FORM_COLUMNS (FORM_NAME, COLUMN_NAME, SQL_COLUMN, DATA_TYPE, ATTR1, "
         "ATTR2, MAX_LENGTH, LOOKUP_TABLE, LOOKUP_COLUMN) VALUES ('FOLDER_PROF', '" +
             name + "', '" + sql_column + "', 0, 0, 0, 255, '', '')");
  }

  long long parent_ = 0;
};

TEST_F(MetadataSyncTest, ValuesGoDownThenUpAndEachSideIsSaved) {
  const long long child = MakeFolder("LIB", "CHILD", parent_);
  const std::string matter = Scalar("LIB", "SELECT MIN(SYSTEM_ID) FROM MATTER");
  const std::string author =
      Scalar("LIB", "SELECT MIN(SYSTEM_ID) FROM PEOPLE WHERE USER_ID <> 'DMADMIN'");
  // The parent's RETENTION of 0 counts as no value: the child's 30 stays and goes up.
  Set(parent_, "MATTER = " + matter + ", AUTHOR = " + author + ", RETENTION = 0");
  Set(child, "MATTER = NULL, RETENTION = 30");

  ASSERT_TRUE(Sync(child)) << Dump();
  EXPECT_EQ(Profile(child, "MATTER || ' ' || AUTHOR || ' ' || RETENTION"),
            matter + " " + author + " 30");
  EXPECT_EQ(Profile(parent_, "AUTHOR || ' ' || RETENTION"), author + " 30");
  EXPECT_NE(author, Scalar("LIB", "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'DMADMIN'"));
  const std::string c = N(child), p = N(parent_);
  EXPECT_TRUE(Once({"Processing Metadata between Parent #" + p + " in library LIB and Item #" + c +
                        " in library LIB",
                    "Setting Folder MATTER to " + matter, "Setting Folder RETENTION to 30",
                    "Saving profile object for child folder #" + c + " in library LIB",
                    "Folder object saved to #" + c + " in library LIB",
                    "Saving profile object for parent folder #" + p + " in library LIB",
                    "Folder object saved to #" + p + " in library LIB"}));
  EXPECT_LT(LineOf("Setting Folder MATTER"), LineOf("Saving profile object for child"));
  EXPECT_LT(LineOf("Saving profile object for child"), LineOf("Setting Folder RETENTION"));

  // Aligned: a second pass finds nothing to set, though both sides are saved again.
  const int set_before = Count("Setting Folder ");
  ASSERT_TRUE(Sync(child));
  EXPECT_EQ(Count("Setting Folder "), set_before);
  EXPECT_EQ(Count("Saving profile object for parent folder #" + p), 2);
}

TEST_F(MetadataSyncTest, NameDescriptionKindAndAccessStayTheItemsOwn) {
  const long long child = MakeFolder("LIB", "CHILD");
  Set(parent_, "DEFAULT_RIGHTS = 1");
  ASSERT_TRUE(Sync(child)) << Dump();
  EXPECT_EQ(Profile(child, "DOCNAME || ABSTRACT || DEFAULT_RIGHTS"), "CHILDCHILD0");
  EXPECT_EQ(Profile(parent_, "DOCNAME"), "PARENT");
  EXPECT_EQ(Count("Setting Folder "), 0) << Dump();
}

TEST_F(MetadataSyncTest, MailColumnsAreNeverCopied) {
  const long long child = MakeFolder("LIB", "CHILD");
  Set(parent_, "PD_ADDRESSEE = 'parent@example.com', STORAGETYPE = 'A'");
  Set(child, "PATH = 'Room 4'");

  ASSERT_TRUE(Sync(child)) << Dump();
  EXPECT_EQ(Profile(child, "PD_ADDRESSEE"), "NULL");
  EXPECT_EQ(Profile(parent_, "PATH"), "NULL");
  EXPECT_EQ(Profile(child, "STORAGETYPE"), "A");
  EXPECT_EQ(Count("Setting Folder "), 1) << Dump();
  EXPECT_EQ(Count("Setting Folder STORAGE to A"), 1);
}

TEST_F(MetadataSyncTest, TheSameDocumentCopiesNothing) {
  Set(parent_, "RETENTION = 7");
  ASSERT_TRUE(Sync(parent_)) << Dump();
  EXPECT_EQ(Count("Setting Folder "), 0);
  EXPECT_EQ(Count("Saving profile object"), 0);
  EXPECT_EQ(Profile(parent_, "RETENTION"), "7");
}

TEST_F(MetadataSyncTest, WhatCannotBeOpenedEndsTheStep) {
  // A document is no folder object.
  const std::tuple<long long, const char*, std::string> cases[] = {
      {424243, "F", "Unable to open folder object #424243 for SyncData in library LIB"},
      {424244, "D", "Unable to open profile object #424244 for SyncData in library LIB"},
      {Document(), "F",
       "Unable to open folder object #" + N(Document()) + " for SyncData in library LIB"},
  };
  for (const auto& [number, type, line] : cases) {
    EXPECT_FALSE(Sync(number, "LIB", type)) << line;
    EXPECT_TRUE(Once({line}));
  }
  const long long item = parent_;
  parent_ = 424242;
  EXPECT_FALSE(Sync(item));
  EXPECT_TRUE(Once({"Unable to open folder object #424242 for SyncData in library LIB"}));
  EXPECT_EQ(Count("Saving profile object"), 0);
}

TEST_F(MetadataSyncTest, AValueTheItemRefusesIsLoggedAndStaysOnTheParent) {
  // A user the item's library does not know.
  Exec("LIB",
       "INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME) VALUES (900001, 'ONLYHERE', "
       "'Only Here')");
  const long long child = MakeFolder("OTHER", "REMOTE CHILD");
  Set(parent_, "AUTHOR = 900001, RETENTION = 12");

  ASSERT_TRUE(Sync(child, "OTHER")) << Dump();
  EXPECT_TRUE(Once({"Setting Folder AUTHOR_ID to ONLYHERE", ") setting column AUTHOR_ID"}));
  EXPECT_EQ(LineOf("Error #"), LineOf("setting column AUTHOR_ID"));
  // The child was saved. Numbers are not carried between libraries: there they could name
  // another library's records.
  EXPECT_EQ(Profile(child, "RETENTION", "OTHER"), "NULL");
  EXPECT_EQ(Profile(child, "AUTHOR", "OTHER"),
            Scalar("OTHER", "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'DMADMIN'"));
  // The child's own author does not replace the value it refused.
  EXPECT_EQ(Profile(parent_, "AUTHOR"), "900001");
}

TEST_F(MetadataSyncTest, CDocNotesAnotherLibraryOnlyWhileErrorsAreDisplayed) {
  CDoc(context(), connection(), "OTHER");
  EXPECT_EQ(Count("NOTE: Object library is: "), 0);
  context().options.CheckDisplayErrors = 1;
  CDoc(context(), connection(), "lib");
  EXPECT_EQ(Count("NOTE: Object library is: "), 0);
  CDoc(context(), connection(), "OTHER");
  EXPECT_EQ(Count("NOTE: Object library is: LIB"), 1) << Dump();
}

class FolderBuilderSiteTest : public templ::testing::CompileSession {};

// A top folder named by its client gets the client's first matter, as SQL Server picks it
// with TOP 1 ... ORDER BY SYSTEM_ID; Oracle, which has no TOP, must pick the same one.
TEST_F(FolderBuilderSiteTest, ANewClientFolderGetsTheClientsFirstMatterOnBothFlavours) {
  Start({{.name = "DEMO"}, {.name = "ORA", .engine_code = 2}});
  install_.state.SiteName = "HOLLOWBRINK";
  // A lookup without a key column sets nothing, but switches the site's update on.
  const std::vector<SiteLookup> lookups = {{"DIVISION", "DIVISIONS", "", "", ""}};
  for (const char* library : {"DEMO", "ORA"}) {
    SCOPED_TRACE(library);
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    rules::RuleRecord rule = Rule("CLIENTS");
    rule.Set(rules::RuleKey::kTemplate, "%MATTER.CLIENT_ID.CLIENT_ID%");
    templ::TemplateCompiler compiler(install_.context, *connection_, *store_);
    const templ::CompiledRule compiled = compiler.Compile(rule, {library, 10000, "", ""});
    // The last row is the last client's last matter: the folder's metadata names that one.
    const int row = compiled.intake.rows_read;
    ASSERT_GT(row, 1) << Dump();
    FolderBuilder builder(install_.context, *connection_);
    const RuleRun run{rule, library, compiled, ErrorMode::kSilent, lookups, {}, row};
    rules::PendingRow work;
    for (int c = 1; c <= compiled.intake.result.ColumnCount(); ++c) {
      work.row.headings.push_back(compiled.intake.result.Heading(c));
      work.row.values.push_back(compiled.intake.result.Cell(row, c));
    }
    const RowOutcome outcome = builder.ProcessFolderItem(run, work, row);
    ASSERT_GT(outcome.first_level_folder, 0) << Dump();
    const auto rows = install_.Query(
        library,
        "SELECT P.MATTER, (SELECT MIN(M.SYSTEM_ID) FROM MATTER M, CLIENT C WHERE M.CLIENT_ID = "
        "C.SYSTEM_ID AND C.CLIENT_ID = P.DOCNAME), (SELECT MAX(M.SYSTEM_ID) FROM MATTER M, "
        "CLIENT C WHERE M.CLIENT_ID = C.SYSTEM_ID AND C.CLIENT_ID = P.DOCNAME) FROM PROFILE P "
        "WHERE P.DOCNUMBER = " +
            std::to_string(outcome.first_level_folder));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0][1], rows[0][2]) << "the client needs two matters";
    EXPECT_EQ(rows[0][0], rows[0][1]);
  }
  EXPECT_EQ(install_.CountLogLines("UPDATE DOCSADM.PROFILE SET MATTER = (SELECT TOP 1 SYSTEM_ID "),
            1);
  EXPECT_EQ(install_.CountLogLines("UPDATE DOCSADM.PROFILE SET MATTER = (SELECT MIN(SYSTEM_ID) "),
            1);
  EXPECT_EQ(install_.CountLogLines("SQL Error"), 0) << Dump();
}

}  // namespace
}  // namespace sproutsmith::folders
