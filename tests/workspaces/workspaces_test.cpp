// Adding folders to users' workspaces in real libraries: the REGISTRY rows read back, the
// statements the log records, and what a failure at any point leaves behind.

#include "workspaces/workspaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

#include "folders/library_session.h"
#include "platform/sql/fault_injecting_database.h"
#include "support/engine_session.h"
#include "support/fault_opener.h"

namespace sproutsmith::workspaces {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class WorkspacesTest : public testing::LibrarySession {
 protected:
  void SetUp() override {
    Start({{.name = "LIB1", .with_rules = false}, {.name = "LIB2", .with_rules = false}});
  }
  // Adds the folder of LIB1 as `item` to the user's workspace, as the engine does, with one
  // Workspaces object for the whole test (it remembers the users it has looked up).
  bool Add(const std::string& item, long long folder, const std::string& user,
           const std::string& workspace) {
    if (!workspaces_) workspaces_ = std::make_unique<Workspaces>(context(), connection());
    return workspaces_->AddToWorkspace(item, folder, user, workspace, "LIB1");
  }

  // A person of `library` whose primary library is `primary` ("": the library itself).
  void AddPerson(const std::string& library, const std::string& user, long long id,
                 const std::string& primary = "", const std::string& group = "LITIGATION") {
    const std::string lib =
        primary.empty()
            ? "0"
            : "(SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + primary + "')";
    Exec(library,
         "INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME, PRIMARY_GROUP, PRIMARY_LIB, "
         "EMAIL_ADDRESS) VALUES (" +
             std::to_string(id) + ", '" + testing::QuotesDoubled(user) +
             "', 'Someone', (SELECT SYSTEM_ID FROM " + "GROUPS WHERE GROUP_ID = '" + group +
             "'), " + lib + ", 'someone@example.com')");
  }
  void SetAuthor(const std::string& library, long long folder, long long author_id) {
    Exec(library, "UPDATE PROFILE SET AUTHOR = " + std::to_string(author_id) +
                      " WHERE DOCNUMBER = " + std::to_string(folder));
  }

  // The rows under `owner` in key order: NAME, DATATYPE, DATA.
  Rows Children(const std::string& library, const std::string& owner) {
    return Query(library, "SELECT NAME, DATATYPE, DATA FROM REGISTRY WHERE ENTITYID = " + owner +
                              " AND ENTITYSCOPE = 'REGISTRY' ORDER BY SYSTEM_ID");
  }
  // The same, "NAME DATATYPE DATA; ..." (for an item's entry, what Item() gives).
  std::string Listing(const std::string& library, const std::string& owner) {
    std::string text;
    for (const auto& row : Children(library, owner)) {
      text += (text.empty() ? "" : "; ") + row[0] + " " + row[1] + " " + row[2];
    }
    return text;
  }
  std::string Subtree(const std::string& library, const std::string& people_id) {
    return Scalar(library,
                  "SELECT SYSTEM_ID FROM REGISTRY WHERE ENTITYSCOPE = 'USER' AND NAME = "
                  "'WORKSPACES' AND ENTITYID = " +
                      people_id);
  }
  // The workspace `name` of the user whose PEOPLE row is `people_id`.
  std::string WorkspaceId(const std::string& library, const std::string& people_id,
                          const std::string& name) {
    return Scalar(library,
                  "SELECT SYSTEM_ID FROM REGISTRY WHERE ENTITYID = " + Subtree(library, people_id) +
                      " AND NAME LIKE 'WS-%' AND DATA = '" + testing::QuotesDoubled(name) + "'");
  }
  // The entry of `item` in that workspace.
  std::string ItemId(const std::string& library, const std::string& people_id,
                     const std::string& workspace, const std::string& item) {
    return Scalar(library, "SELECT SYSTEM_ID FROM REGISTRY WHERE ENTITYID = " +
                               WorkspaceId(library, people_id, workspace) +
                               " AND NAME LIKE 'WM%' AND DATA = '" + testing::QuotesDoubled(item) +
                               "'");
  }
  std::string Entry(const std::string& library, const std::string& people_id,
                    const std::string& workspace, const std::string& item) {
    return Listing(library, ItemId(library, people_id, workspace, item));
  }
  std::string NameOf(const std::string& id) {
    return Scalar("LIB1", "SELECT NAME FROM REGISTRY WHERE SYSTEM_ID = " + id);
  }
  std::string RegistryCount(const std::string& library, const std::string& where = "1 = 1") {
    return Scalar(library, "SELECT COUNT(*) FROM REGISTRY WHERE " + where);
  }
  size_t Mark() const { return install_.LogLines().size(); }
  // The statements RunSQL sent while `add` ran.
  std::vector<std::string> Sent(const std::function<void()>& add) const {
    const size_t from = Mark();
    add();
    const std::vector<std::string> lines = install_.LogLinesSince(from);
    std::vector<std::string> sent;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (lines[i].rfind("Executing ", 0) == 0) sent.push_back(lines[i + 1]);
    }
    return sent;
  }
  static int Holding(const std::vector<std::string>& statements, const std::string& fragment) {
    return static_cast<int>(std::count_if(statements.begin(), statements.end(), [&](auto& s) {
      return s.find(fragment) != std::string::npos;
    }));
  }

  std::unique_ptr<Workspaces> workspaces_;
};

// The properties of a folder's entry, as Listing() gives them.
std::string Item(const std::string& name, long long doc, const std::string& order,
                 const std::string& library) {
  return "NAME String " + name + "; DESCRIPTION String " + name + "-" + library +
         "; ORDERNUMBER String " + order + "; TYPE String FOLDER; LINKID String " +
         std::to_string(doc) + "; LINKNAME String " + name + "; LIBRARY String " + library;
}

TEST_F(WorkspacesTest, FirstFolderBuildsTheTreeLaterFoldersOnlyTheirItems) {
  AddPerson("LIB1", "USER1", 9000001);
  const long long f1 = MakeFolder("LIB1", "C0001 Smith");
  const long long f2 = MakeFolder("LIB1", "C0002 Jones");
  const long long f3 = MakeFolder("LIB1", "C0003 Brown");
  context().options.LabelStatus = "Working on rule CLIENTS";

  std::vector<std::string> sent =
      Sent([&] { EXPECT_TRUE(Add("C0001 Smith", f1, "USER1", "Matters")) << Dump(); });
  EXPECT_EQ(Holding(sent, "INSERT INTO DOCSADM.REGISTRY"), 1 + 1 + 5 + 1 + 7);
  EXPECT_EQ(Holding(sent, "DOCSADM.REMOTE_LIBRARIES"), 1);
  EXPECT_EQ(Holding(sent, "DOCSADM.PEOPLE"), 2);  // the primary library, then the user
  EXPECT_EQ(connection().LibraryName(), "LIB1");
  EXPECT_EQ(context().options.LabelStatus, "Working on rule CLIENTS");

  EXPECT_EQ(Query("LIB1",
                  "SELECT DATA, TYPE, ENTITYID, DATATYPE FROM REGISTRY WHERE ENTITYSCOPE = "
                  "'USER' AND NAME = 'WORKSPACES'"),
            (Rows{{"Matters", "PROPERTY", "9000001", "SubTree"}}));
  EXPECT_EQ(Query("LIB1",
                  "SELECT DATA, TYPE, ENTITYSCOPE, NAME, DATATYPE FROM REGISTRY WHERE "
                  "ENTITYID = " +
                      Subtree("LIB1", "9000001")),
            (Rows{{"Matters", "PROPERTY", "REGISTRY", "WS-Matters", "SubTree"}}));
  EXPECT_EQ(Listing("LIB1", WorkspaceId("LIB1", "9000001", "Matters")),
            "NAME String Matters; DESCRIPTION String Matters-LIB1; DATE String 2020-11-14; "
            "FAVORITE Boolean 0; WM String ; WMC0001 Smith String C0001 Smith");
  EXPECT_EQ(RegistryCount("LIB1", "TYPE <> 'PROPERTY'"), "0");
  EXPECT_EQ(Entry("LIB1", "9000001", "Matters", "C0001 Smith"),
            Item("C0001 Smith", f1, "1", "LIB1"));
  EXPECT_EQ(RegistryCount("LIB1"), "15");
  EXPECT_EQ(RegistryCount("LIB2"), "0");

  // The same user and workspace (any letter case): only the item, and no user look-ups.
  sent = Sent([&] { EXPECT_TRUE(Add("C0002 Jones", f2, "USER1", "MATTERS")); });
  EXPECT_EQ(Holding(sent, "INSERT INTO DOCSADM.REGISTRY"), 7 + 1);
  EXPECT_EQ(Holding(sent, "PEOPLE"), 0);
  EXPECT_EQ(Holding(sent, "REMOTE_LIBRARIES"), 0);
  EXPECT_EQ(RegistryCount("LIB1"), "23");
  EXPECT_TRUE(Add("C0003 Brown", f3, "USER1", "Matters"));
  EXPECT_EQ(Entry("LIB1", "9000001", "Matters", "C0002 Jones"),
            Item("C0002 Jones", f2, "2", "LIB1"));
  EXPECT_EQ(Entry("LIB1", "9000001", "Matters", "C0003 Brown"),
            Item("C0003 Brown", f3, "3", "LIB1"));
  EXPECT_EQ(Refreshes("LIB1"), 3);

  // The same folder again, also by a name in other letter case: nothing written.
  for (const std::string name : {"C0001 Smith", "c0001 SMITH"}) {
    sent = Sent([&] { EXPECT_TRUE(Add(name, f1, "USER1", "Matters")); });
    EXPECT_EQ(Holding(sent, "INSERT"), 0);
    EXPECT_EQ(
        LineOf("Folder \"" + name + "\" already exists in workspace \"Matters\" for user USER1"),
        static_cast<int>(Mark()) - 2)
        << Dump();
  }
  EXPECT_EQ(RegistryCount("LIB1"), "31");
  EXPECT_EQ(Refreshes("LIB1"), 3);
  EXPECT_EQ(Count("Workspace \"Matters\" successfully created for user USER1"), 1);
  EXPECT_EQ(Count("You have successfully added item \"C0003 Brown\" to the workspace \"Matters\" "
                  "for USER1"),
            1);
  EXPECT_EQ(context().options.LabelStatus, "Working on rule CLIENTS");
}

TEST_F(WorkspacesTest, TokensDefaultWorkspaceAndLongNames) {
  AddPerson("LIB1", "JDOE", 9000001);
  AddPerson("LIB1", "USER1", 9000002, "", "TAX");
  const long long f1 = MakeFolder("LIB1", "Folder A");
  const long long f2 = MakeFolder("LIB1", "Folder B");
  SetAuthor("LIB1", f1, 9000002);
  SetAuthor("LIB1", f2, 9000002);

  EXPECT_TRUE(Add("Folder A", f1, "JDOE", "%AUTHOR% Matters"));
  EXPECT_TRUE(Add("Folder B", f2, "JDOE", "%author% Matters"));
  EXPECT_TRUE(Add("Folder A", f1, "JDOE", "%Author.Primary_Group% Team"));
  EXPECT_TRUE(Add("Folder A", f1, "JDOE", ""));
  EXPECT_TRUE(Add("Folder B", f2, "JDOE", "*DEFAULT RULE*"));
  EXPECT_TRUE(Add("Folder B", f2, "JDOE", "%USER_ID% own"));
  EXPECT_EQ(Listing("LIB1", Subtree("LIB1", "9000001")),
            "WS-USER1 Matters SubTree USER1 Matters; WS-TAX Team SubTree TAX Team; "
            "WS-My Folders SubTree My Folders; WS-JDOE own SubTree JDOE own");
  for (const char* name : {"USER1 Matters", "My Folders"}) {
    EXPECT_EQ(RegistryCount("LIB1", "NAME LIKE 'WM_%' AND ENTITYID = " +
                                        WorkspaceId("LIB1", "9000001", name)),
              "2")
        << name;
  }

  // A long name is cut only where the row's NAME carries it.
  const std::string item = "C0001 Smith and Jones LLP";
  EXPECT_TRUE(Add(item, f1, "JDOE", "Litigation Matters 2020"));
  const std::string workspace = WorkspaceId("LIB1", "9000001", "Litigation Matters 2020");
  EXPECT_EQ(NameOf(workspace), "WS-Litigation Ma");
  EXPECT_EQ(Children("LIB1", workspace)[0],
            (std::vector<std::string>{"NAME", "String", "Litigation Matters 2020"}));
  EXPECT_EQ(NameOf(ItemId("LIB1", "9000001", "Litigation Matters 2020", item)), "WMC0001 Smith a");
  EXPECT_EQ(Entry("LIB1", "9000001", "Litigation Matters 2020", item), Item(item, f1, "1", "LIB1"));
}

TEST_F(WorkspacesTest, TheRefreshSwitchAndTheUserInAnotherLibrary) {
  AddPerson("LIB1", "USER2", 9000002, "LIB2");
  AddPerson("LIB2", "USER2", 9000052);
  const long long f1 = MakeFolder("LIB1", "C0001 Smith");
  const long long f2 = MakeFolder("LIB1", "C0002 Jones");

  context().state.CommandLine = "/G /XR";
  EXPECT_TRUE(Add("C0001 Smith", f1, "USER2", "Matters")) << Dump();
  EXPECT_EQ(connection().LibraryName(), "LIB1");
  EXPECT_EQ(RegistryCount("LIB1"), "0");
  EXPECT_EQ(RegistryCount("LIB2"), "15");
  EXPECT_EQ(Entry("LIB2", "9000052", "Matters", "C0001 Smith"),
            Item("C0001 Smith", f1, "1", "LIB1"));
  EXPECT_EQ(Refreshes("LIB1") + Refreshes("LIB2"), 0);

  // Known now: straight to the user's library, which still gets the rows.
  context().state.CommandLine = "/G";
  EXPECT_TRUE(Add("C0002 Jones", f2, "USER2", "Matters"));
  EXPECT_EQ(connection().LibraryName(), "LIB1");
  EXPECT_EQ(RegistryCount("LIB1"), "0");
  EXPECT_EQ(Entry("LIB2", "9000052", "Matters", "C0002 Jones"),
            Item("C0002 Jones", f2, "2", "LIB1"));
  EXPECT_EQ(Refreshes("LIB1") + Refreshes("LIB2"), 1);
}

TEST_F(WorkspacesTest, QuotesBracketsPercentAndUnderscoreStayInsideTheirLiterals) {
  AddPerson("LIB1", "O'BRIEN", 9000001);
  AddPerson("LIB1", "D'ARCY", 9000002, "", "CORPORATE");
  AddPerson("LIB1", "AXB", 9000003);
  const std::string item = "O'Neil_Matter [1]";
  const long long f1 = MakeFolder("LIB1", item);
  SetAuthor("LIB1", f1, 9000002);

  const std::string workspace_name = "Smith's [Files]_100%";
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_TRUE(Add(item, f1, "O'BRIEN", workspace_name)) << Dump();
  }
  EXPECT_EQ(Count("Folder \"O'Neil_Matter [1]\" already exists in workspace \"Smith's "
                  "[Files]_100%\" for user O'BRIEN"),
            1);
  EXPECT_EQ(
      Scalar("LIB1", "SELECT DATA FROM REGISTRY WHERE SYSTEM_ID = " + Subtree("LIB1", "9000001")),
      workspace_name);
  const std::string workspace = WorkspaceId("LIB1", "9000001", workspace_name);
  EXPECT_EQ(NameOf(workspace), "WS-Smith's [File");
  EXPECT_EQ(Children("LIB1", workspace)[1],
            (std::vector<std::string>{"DESCRIPTION", "String", workspace_name + "-LIB1"}));
  EXPECT_EQ(NameOf(ItemId("LIB1", "9000001", workspace_name, item)), "WMO'Neil_Matter");
  EXPECT_EQ(Entry("LIB1", "9000001", workspace_name, item), Item(item, f1, "1", "LIB1"));

  // Token values with a quote: the author's group is looked up by the quoted user id.
  EXPECT_TRUE(Add(item, f1, "O'BRIEN", "%AUTHOR%'s %AUTHOR.PRIMARY_GROUP%"));
  EXPECT_NE(WorkspaceId("LIB1", "9000001", "D'ARCY's CORPORATE"), "");
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();

  // "A_B" is not a pattern: user AXB is not taken for it.
  EXPECT_FALSE(Add(item, f1, "A_B", workspace_name));
  EXPECT_EQ(Count("Unable to identify system_id for user A_B in library LIB1"), 1);
  EXPECT_EQ(Subtree("LIB1", "9000003"), "");
  EXPECT_EQ(connection().LibraryName(), "LIB1");
}

// Every database call of a clean run is made to fail in turn: the failed call never leaves a
// set that a later call takes as complete, and the next calls finish the work.
class WorkspaceFaultTest : public WorkspacesTest {
 protected:
  void SetUp() override { StartWithFaults(); }
  void StartWithFaults() {
    install_.Create({{.name = "LIB1", .with_rules = false}, {.name = "LIB2", .with_rules = false}});
    client_ = install_.OpenClient(testing::FaultInjectingOpener(
        [this](const std::string&, sql::FaultInjectingDatabase& db) { fault_ = &db; }, "LIB1"));
    ASSERT_TRUE(client_);
    connection_ = std::make_unique<dm::Connection>(install_.context, *client_);
    ASSERT_TRUE(connection_->StartFusion()) << Dump();
    ASSERT_NE(fault_, nullptr);
  }

  // One workspace with its 5 properties, `items` entries with 7 properties each, ordered 1..n,
  // and no row under a key that no row carries.
  void ExpectWhole(int items, const std::string& trace) {
    const std::string subtree = Subtree("LIB1", "9000001");
    ASSERT_NE(subtree, "") << trace;
    EXPECT_EQ(RegistryCount("LIB1", "NAME = 'WORKSPACES'"), "1") << trace;
    EXPECT_EQ(RegistryCount("LIB1", "ENTITYID = " + subtree), "1") << trace;
    const std::string workspace = WorkspaceId("LIB1", "9000001", "Matters");
    const Rows children = Children("LIB1", workspace);
    ASSERT_EQ(children.size(), 5u + items) << trace;
    EXPECT_EQ(children[4][0], "WM") << trace;
    std::set<std::string> orders;
    for (const auto& entry : Query("LIB1",
                                   "SELECT SYSTEM_ID, DATA FROM REGISTRY WHERE NAME LIKE "
                                   "'WM_%' AND ENTITYID = " +
                                       workspace)) {
      const Rows properties = Children("LIB1", entry[0]);
      ASSERT_EQ(properties.size(), 7u) << entry[1] << trace;
      orders.insert(properties[2][2]);
    }
    std::set<std::string> expected;
    for (int i = 1; i <= items; ++i) expected.insert(std::to_string(i));
    EXPECT_EQ(orders, expected) << trace;
    EXPECT_EQ(RegistryCount("LIB1",
                            "ENTITYSCOPE = 'REGISTRY' AND ENTITYID NOT IN (SELECT SYSTEM_ID "
                            "FROM REGISTRY)"),
              "0")
        << trace;
  }

  std::string Trace(long n) const {
    std::string s = "failing call " + std::to_string(n) + ":\n";
    for (const auto& c : fault_->call_log()) s += "  " + c + "\n";
    return s;
  }

  sql::FaultInjectingDatabase* fault_ = nullptr;
};

TEST_F(WorkspaceFaultTest, AFailureAtAnyPointLeavesNoHalfWrittenSet) {
  AddPerson("LIB1", "USER1", 9000001);
  const long long f1 = MakeFolder("LIB1", "C0001 Smith");
  const long long f2 = MakeFolder("LIB1", "C0002 Jones");
  context().options.CheckDisplayErrors = 1;

  fault_->Disarm();
  ASSERT_TRUE(Add("C0001 Smith", f1, "USER1", "Matters"));
  const long calls = fault_->calls();
  // The set's reads and writes; its keys come from the client's range, without a call each.
  ASSERT_GT(calls, 20);
  int failed = 0;
  for (long n = 1; n <= calls; ++n) {
    Exec("LIB1", "DELETE FROM REGISTRY");
    workspaces_.reset();  // a new object, which knows no user yet
    fault_->FailCall(n);
    const bool first = Add("C0001 Smith", f1, "USER1", "Matters");
    const std::string trace = Trace(n);
    fault_->Disarm();
    failed += !first;
    EXPECT_EQ(connection().LibraryName(), "LIB1") << trace;
    EXPECT_TRUE(Add("C0001 Smith", f1, "USER1", "Matters")) << trace;
    EXPECT_TRUE(Add("C0002 Jones", f2, "USER1", "Matters")) << trace;
    ExpectWhole(2, trace);
    if (HasFatalFailure()) break;
  }
  EXPECT_GT(failed, 20);
  // The box of a failed item entry is the only one shown.
  const auto& shown = install_.ui.messages;
  EXPECT_FALSE(shown.empty());
  for (const auto& m : shown) {
    EXPECT_EQ(m.text, "Error: Unable to create workspace for user USER1");
    EXPECT_EQ(m.style, runtime::MessageStyle::kExclamation);
  }
}

}  // namespace
}  // namespace sproutsmith::workspaces
