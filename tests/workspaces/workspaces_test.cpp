// Workspace names (user tokens, the default workspace, the short names of REGISTRY rows), and
// adding folders to users' workspaces in real libraries: the REGISTRY rows read back, the lines
// the log records, and what a failure at any point leaves behind.

#include "workspaces/workspaces.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "folders/library_session.h"
#include "platform/sql/fault_injecting_database.h"
#include "support/engine_session.h"
#include "support/fault_opener.h"
#include "workspaces/workspace_names.h"

namespace sproutsmith::workspaces {
namespace {

// Each token's value, in the order of NameToken.
std::string Value(NameToken token) {
  const char* const values[] = {"JDOE", "USER1", "LITIGATION", "TYPER", "TAX"};
  return values[static_cast<int>(token)];
}

TEST(WorkspaceNamesTest, TokensAreReplacedOnceInAnyLetterCaseAndBlankNamesAreTheDefault) {
  const auto tokens = [](const std::string& name) { return ReplaceNameTokens(name, Value); };
  const auto named = [](const std::string& name) { return WorkspaceNameOrDefault(name); };
  struct Case {
    std::function<std::string(const std::string&)> convert;
    const char* name;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {tokens, "Files of %Author.User_Id%", "Files of USER1"},
      {tokens, "%AUTHOR.PRIMARY_GROUP% - %AUTHOR%", "LITIGATION - USER1"},
      {tokens, "%USER_ID%/%TYPIST%/%typist.primary_group%", "JDOE/TYPER/TAX"},
      {tokens, "%TYPIST.USER_ID% and %AUTHOR%", "TYPER and USER1"},
      // Only the first occurrence of each token.
      {tokens, "%AUTHOR% and %AUTHOR%", "USER1 and %AUTHOR%"},
      // Both spellings of the author are replaced, each once.
      {tokens, "%AUTHOR% %author.user_id% %AUTHOR%", "USER1 USER1 %AUTHOR%"},
      {tokens, "100% Done", "100% Done"},
      {tokens, "%AUTHOR", "%AUTHOR"},
      {tokens, "", ""},
      {named, "   ", "My Folders"},
      {named, "Rule *DEFAULT RULE* 2", "My Folders"},
      {named, " Matters ", "Matters"},
      {named, "Line\r\nbreak", "Line  break"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.convert(c.name), c.expected) << c.name;
  EXPECT_EQ(StoredText("\n Smith \r"), "Smith");
}

TEST(WorkspaceNamesTest, OnlyTokensTheNameHoldsAreLookedUp) {
  std::vector<NameToken> asked;
  auto recording = [&](NameToken t) {
    asked.push_back(t);
    return Value(t);
  };
  EXPECT_EQ(ReplaceNameTokens("%typist.primary_group% %USER_ID%", recording), "TAX JDOE");
  EXPECT_EQ(asked, (std::vector<NameToken>{NameToken::kUserId, NameToken::kTypistGroup}));
}

TEST(WorkspaceNamesTest, FirstCharactersNeverCutsACharacter) {
  // "é" and "ü" take two bytes each; 13 characters are 15 bytes here.
  EXPECT_EQ(FirstCharacters("Société Zürich AG", 13), "Société Züric");
  EXPECT_EQ(FirstCharacters("日本語のフォルダ名です", 3), "日本語");
}

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

  // The REGISTRY rows of the user whose PEOPLE row is `people_id` ("": of every user), one row
  // a line "NAME DATATYPE DATA", each indented under the row it belongs to, in key order; a TYPE
  // other than PROPERTY is shown. Below `depth` levels a row shows how many rows it holds, and
  // rows that belong to no row are counted at the end.
  std::string Tree(const std::string& library, const std::string& people_id = "",
                   size_t depth = 9) {
    const Rows rows = Query(library,
                            "SELECT SYSTEM_ID, ENTITYSCOPE, ENTITYID, TYPE, NAME, DATATYPE, DATA "
                            "FROM REGISTRY ORDER BY SYSTEM_ID");
    std::multimap<std::string, const std::vector<std::string>*> under;  // owner -> rows
    for (const auto& row : rows) {
      if (row[1] == "REGISTRY") {
        under.emplace(row[2], &row);
      } else if (people_id.empty() || row[2] == people_id) {
        under.emplace("", &row);
      }
    }
    size_t shown = 0;
    std::function<std::string(const std::string&, size_t)> walk = [&](const std::string& owner,
                                                                      size_t level) {
      std::string text;
      for (auto [at, end] = under.equal_range(owner); at != end; ++at) {
        const auto& r = *at->second;
        const size_t before = ++shown;
        const std::string rows_under = walk(r[0], level + 1);
        text += std::string(2 * level, ' ') + (level == 0 ? r[1] + " " + r[2] + ": " : "") + r[4] +
                " " + r[5] + " " + r[6] + (r[3] == "PROPERTY" ? "" : " (" + r[3] + ")");
        if (level + 1 < depth) {
          text += "\n" + rows_under;
        } else {
          text += " (+" + N(shown - before) + " rows)\n";
        }
      }
      return text;
    };
    const std::string tree = walk("", 0);
    if (!people_id.empty() || shown == rows.size()) return tree;
    return tree + N(rows.size() - shown) + " rows under no row\n";
  }
  std::unique_ptr<Workspaces> workspaces_;
};

// The tree of workspace `name` of user `people_id` of LIB1, as Tree() shows it, its items left
// out; `key` is its row's name when the name is cut there.
std::string Matters(const std::string& people_id, const std::string& name = "Matters",
                    const std::string& key = "Matters") {
  return "USER " + people_id + ": WORKSPACES SubTree " + name + "\n  WS-" + key + " SubTree " +
         name + "\n    NAME String " + name + "\n    DESCRIPTION String " + name +
         "-LIB1\n    DATE String 2020-11-14\n    FAVORITE Boolean 0\n    WM String \n";
}
// A folder of LIB1 in a workspace, as Tree() shows it; `key` when the name is cut there.
std::string Item(const std::string& name, long long doc, const std::string& order,
                 const std::string& key = "") {
  return "    " + (key.empty() ? "WM" + name : key) + " String " + name + "\n      NAME String " +
         name + "\n      DESCRIPTION String " + name + "-LIB1" + "\n      ORDERNUMBER String " +
         order + "\n      TYPE String FOLDER\n      LINKID String " + std::to_string(doc) +
         "\n      LINKNAME String " + name + "\n      LIBRARY String LIB1\n";
}

TEST_F(WorkspacesTest, FirstFolderBuildsTheTreeLaterFoldersOnlyTheirItems) {
  AddPerson("LIB1", "USER1", 9000001);
  const long long f1 = MakeFolder("LIB1", "C0001 Smith");
  const long long f2 = MakeFolder("LIB1", "C0002 Jones");
  const long long f3 = MakeFolder("LIB1", "C0003 Brown");
  context().options.LabelStatus = "Working on rule CLIENTS";

  EXPECT_TRUE(Add("C0001 Smith", f1, "USER1", "Matters")) << Dump();
  EXPECT_EQ(Tree("LIB1"), Matters("9000001") + Item("C0001 Smith", f1, "1"));
  EXPECT_EQ(Tree("LIB2"), "");
  EXPECT_EQ(connection().LibraryName() + " / " + context().options.LabelStatus,
            "LIB1 / Working on rule CLIENTS");

  // The same user and workspace (any letter case): only the item.
  EXPECT_TRUE(Add("C0002 Jones", f2, "USER1", "MATTERS"));
  EXPECT_TRUE(Add("C0003 Brown", f3, "USER1", "Matters"));
  const std::string three = Matters("9000001") + Item("C0001 Smith", f1, "1") +
                            Item("C0002 Jones", f2, "2") + Item("C0003 Brown", f3, "3");
  EXPECT_EQ(Tree("LIB1"), three);

  // The same folder again, also by a name in other letter case: nothing written.
  for (const std::string name : {"C0001 Smith", "c0001 SMITH"}) {
    EXPECT_TRUE(Add(name, f1, "USER1", "Matters"));
    EXPECT_EQ(
        LineOf("Folder \"" + name + "\" already exists in workspace \"Matters\" for user USER1"),
        static_cast<int>(Lines().size()) - 2)
        << Dump();
  }
  EXPECT_EQ(Tree("LIB1"), three);
  EXPECT_EQ(Refreshes("LIB1"), 3);
  EXPECT_TRUE(Once({"Workspace \"Matters\" successfully created for user USER1",
                    "You have successfully added item \"C0003 Brown\" to the workspace "
                    "\"Matters\" for USER1"}));
  EXPECT_EQ(connection().LibraryName() + " / " + context().options.LabelStatus,
            "LIB1 / Working on rule CLIENTS");
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
  EXPECT_EQ(Tree("LIB1", "9000001", 2),
            "USER 9000001: WORKSPACES SubTree USER1 Matters\n"
            "  WS-USER1 Matters SubTree USER1 Matters (+21 rows)\n"
            "  WS-TAX Team SubTree TAX Team (+13 rows)\n"
            "  WS-My Folders SubTree My Folders (+21 rows)\n"
            "  WS-JDOE own SubTree JDOE own (+13 rows)\n");

  // A long name is cut only where the row's NAME carries it.
  const std::string item = "C0001 Smith and Jones LLP";
  EXPECT_TRUE(Add(item, f1, "USER1", "Litigation Matters 2020"));
  EXPECT_EQ(Tree("LIB1", "9000002"),
            Matters("9000002", "Litigation Matters 2020", "Litigation Ma") +
                Item(item, f1, "1", "WMC0001 Smith a"));
}

TEST_F(WorkspacesTest, TheRefreshSwitchAndTheUserInAnotherLibrary) {
  AddPerson("LIB1", "USER2", 9000002, "LIB2");
  AddPerson("LIB2", "USER2", 9000052);
  const long long f1 = MakeFolder("LIB1", "C0001 Smith");
  const long long f2 = MakeFolder("LIB1", "C0002 Jones");

  context().state.CommandLine = "/G /XR";
  EXPECT_TRUE(Add("C0001 Smith", f1, "USER2", "Matters")) << Dump();
  EXPECT_EQ(connection().LibraryName(), "LIB1");
  EXPECT_EQ(Tree("LIB1"), "");
  EXPECT_EQ(Tree("LIB2"), Matters("9000052") + Item("C0001 Smith", f1, "1"));
  EXPECT_EQ(Refreshes("LIB1") + Refreshes("LIB2"), 0);

  // Known now: straight to the user's library, which still gets the rows.
  context().state.CommandLine = "/G";
  EXPECT_TRUE(Add("C0002 Jones", f2, "USER2", "Matters"));
  EXPECT_EQ(connection().LibraryName(), "LIB1");
  EXPECT_EQ(Tree("LIB1"), "");
  EXPECT_EQ(Tree("LIB2"),
            Matters("9000052") + Item("C0001 Smith", f1, "1") + Item("C0002 Jones", f2, "2"));
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
  EXPECT_EQ(Tree("LIB1", "9000001"), Matters("9000001", workspace_name, "Smith's [File") +
                                         Item(item, f1, "1", "WMO'Neil_Matter"));

  // Token values with a quote: the author's group is looked up by the quoted user id.
  EXPECT_TRUE(Add(item, f1, "O'BRIEN", "%AUTHOR%'s %AUTHOR.PRIMARY_GROUP%"));
  EXPECT_EQ(Tree("LIB1", "9000001", 2),
            "USER 9000001: WORKSPACES SubTree Smith's [Files]_100%\n"
            "  WS-Smith's [File SubTree Smith's [Files]_100% (+13 rows)\n"
            "  WS-D'ARCY's CORP SubTree D'ARCY's CORPORATE (+13 rows)\n");
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();

  // "A_B" is not a pattern: user AXB is not taken for it.
  EXPECT_FALSE(Add(item, f1, "A_B", workspace_name));
  EXPECT_EQ(Count("Unable to identify system_id for user A_B in library LIB1"), 1);
  EXPECT_EQ(Tree("LIB1", "9000003"), "");
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
  ASSERT_TRUE(Add("C0002 Jones", f2, "USER1", "Matters"));
  const std::string whole = Tree("LIB1");
  ASSERT_EQ(whole,
            Matters("9000001") + Item("C0001 Smith", f1, "1") + Item("C0002 Jones", f2, "2"));
  int failed = 0;
  for (long n = 1; n <= calls; ++n) {
    Exec("LIB1", "DELETE FROM REGISTRY");
    workspaces_.reset();  // a new object, which knows no user yet
    fault_->FailCall(n);
    const bool first = Add("C0001 Smith", f1, "USER1", "Matters");
    const std::string trace = "failing call " + N(n) + " of " + N(calls);
    fault_->Disarm();
    failed += !first;
    EXPECT_EQ(connection().LibraryName(), "LIB1") << trace;
    EXPECT_TRUE(Add("C0001 Smith", f1, "USER1", "Matters")) << trace;
    EXPECT_TRUE(Add("C0002 Jones", f2, "USER1", "Matters")) << trace;
    EXPECT_EQ(Tree("LIB1"), whole) << trace;
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
