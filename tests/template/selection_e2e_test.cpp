// The default rule end to end on generated libraries: the statement the builder writes, run
// through the gateway on both flavours, against hand-written queries over the same data.

#include <gtest/gtest.h>

#include <set>

#include "platform/dmapi/demo_installation.h"
#include "platform/dmapi/installation.h"
#include "rules/tracking.h"
#include "support/status_assertions.h"
#include "template/template_test_support.h"

namespace sproutsmith::templ {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Client, matter and document type of every row that documents (not folders) carry.
constexpr char kDocumentRows[] =
    "SELECT DISTINCT C.CLIENT_ID, M.MATTER_ID, D.TYPE_ID FROM PROFILE P "
    "JOIN MATTER M ON M.SYSTEM_ID = P.MATTER JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
    "JOIN DOCUMENTTYPES D ON D.SYSTEM_ID = P.DOCUMENTTYPE "
    "JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION WHERE A.APPLICATION <> 'FOLDER'";
// The rows whose client, matter or document type the rule has not recorded yet.
constexpr char kUntracked[] =
    " AND (C.SYSTEM_ID NOT IN (SELECT SID FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = 'CLIENT' "
    "AND RULE_NAME = 'CLIENT MATTERS') OR M.SYSTEM_ID NOT IN (SELECT SID FROM QUIL_SPROUTSMITH "
    "WHERE TABLE_NAME = 'MATTER' AND RULE_NAME = 'CLIENT MATTERS') OR D.SYSTEM_ID NOT IN "
    "(SELECT SID FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = 'DOCUMENTTYPES' AND RULE_NAME = "
    "'CLIENT MATTERS'))";
constexpr char kOrder[] = " ORDER BY 1, 2, 3";

class SelectionE2eTest : public testing::CompileSession {
 protected:
  // Client, matter and type of each row read (columns 3, 5 and 7 of the default template).
  static Rows Values(const Intake& intake) {
    Rows rows;
    for (int r = 1; r <= intake.rows_read; ++r) {
      rows.push_back(
          {intake.result.Cell(r, 3), intake.result.Cell(r, 5), intake.result.Cell(r, 7)});
    }
    return rows;
  }

  void Record(const Intake& intake, int row) {
    rules::Tracking tracking(install_.context, *connection_);
    EXPECT_EQ(tracking.RecordProcessedRow(intake.result, row, "CLIENT MATTERS",
                                          connection_->LibraryName(), 4, 1),
              3);
  }
};

TEST_F(SelectionE2eTest, DefaultRuleSelectsTheUntrackedDocumentRowsOnBothFlavours) {
  Start({{.name = "DEMO"}, {.name = "ORA", .engine_code = 2}});
  Rows per_library[2];
  for (const char* library : {"DEMO", "ORA"}) {
    SCOPED_TRACE(library);
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    // A folder profile on a matter and a matter without documents add no row.
    install_.Exec(library,
                  "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, MATTER, "
                  "DOCUMENTTYPE) SELECT 90001, 90001, 'A folder', (SELECT SYSTEM_ID FROM APPS "
                  "WHERE APPLICATION = 'FOLDER'), MIN(SYSTEM_ID), (SELECT SYSTEM_ID FROM "
                  "DOCUMENTTYPES WHERE TYPE_ID = 'FOLDER') FROM MATTER");
    install_.Exec(library,
                  "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) SELECT "
                  "90002, MIN(SYSTEM_ID), '9999', 'No documents yet' FROM CLIENT");

    const Rows expected = Query(std::string(kDocumentRows) + kOrder);
    ASSERT_GE(expected.size(), 8u);
    testing::LogWindow window(install_);
    CompiledRule run = Compile(Rule("CLIENT MATTERS"));
    ASSERT_TRUE(run.selection.complete) << Dump();
    EXPECT_EQ(run.intake.matched, static_cast<long long>(expected.size()));
    EXPECT_EQ(Values(run.intake), expected);
    EXPECT_EQ(
        window.Count(std::to_string(expected.size()) + " SQL value(s) match the folder template"),
        1);
    EXPECT_EQ(run.intake.result.Heading(8), "CLIENT.SYSTEM_ID");
    EXPECT_EQ(run.intake.result.Heading(10), "DOCUMENTTYPES.SYSTEM_ID");
    EXPECT_EQ(run.intake.result.Cell(1, 1), "FIRM MATTERS");
    EXPECT_EQ(run.intake.result.Cell(1, 2), "\\");
    per_library[std::string(library) == "ORA"] = Values(run.intake);

    // Rows recorded as the cycle records them drop out of the next selection.
    Record(run.intake, 1);
    Record(run.intake, 3);
    const Rows untracked = Query(std::string(kDocumentRows) + kUntracked + kOrder);
    ASSERT_LT(untracked.size(), expected.size());
    run = Compile(Rule("CLIENT MATTERS"));
    EXPECT_EQ(Values(run.intake), untracked);
    const Rows now = Values(run.intake);
    for (const auto& gone : {per_library[std::string(library) == "ORA"][0],
                             per_library[std::string(library) == "ORA"][2]}) {
      EXPECT_EQ(std::count(now.begin(), now.end(), gone), 0);
    }
    EXPECT_EQ(install_.CountLogLines("SQL Error"), 0) << Dump();
  }
  // Both libraries hold the same generated data: the Oracle flavour selects the same rows.
  EXPECT_EQ(per_library[0], per_library[1]);
  // Each library's hops were looked up once; the second compile used the cache.
  EXPECT_EQ(install_.CountLogLines("Identifying foreign key links to PROFILE.MATTER"), 2);
  EXPECT_EQ(install_.CountLogLines("Identifying foreign key links to"), 6);
}

TEST_F(SelectionE2eTest, ANewMatterOfAKnownClientIsSelectedOnceEverythingElseIsRecorded) {
  Start({{.name = "DEMO"}});
  CompiledRule run = Compile(Rule("CLIENT MATTERS"));
  ASSERT_GT(run.intake.rows_read, 0);
  for (int r = 1; r <= run.intake.rows_read; ++r) Record(run.intake, r);
  EXPECT_EQ(Compile(Rule("CLIENT MATTERS")).intake.matched, 0);
  // A new matter of client C0001 whose document has a type the rule has already seen.
  install_.Exec("DEMO",
                "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) SELECT 90010, "
                "SYSTEM_ID, '7777', 'New matter' FROM CLIENT WHERE CLIENT_ID = 'C0001'");
  install_.Exec("DEMO",
                "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, MATTER, "
                "DOCUMENTTYPE, STATUS) SELECT 90011, 90011, 'Letter', APPLICATION, 90010, "
                "DOCUMENTTYPE, 0 FROM PROFILE WHERE SYSTEM_ID = (SELECT MIN(P.SYSTEM_ID) FROM "
                "PROFILE P JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION WHERE A.APPLICATION <> "
                "'FOLDER')");
  run = Compile(Rule("CLIENT MATTERS"));
  ASSERT_EQ(run.intake.matched, 1) << Dump();
  EXPECT_EQ(run.intake.result.Cell(1, 3), "C0001");
  EXPECT_EQ(run.intake.result.Cell(1, 5), "7777");
}

TEST_F(SelectionE2eTest, InitializeModeDeletesTheBottomTablesRowsAndSelectsEverything) {
  Start({{.name = "DEMO"}});
  install_.options.CheckInitialize = 1;
  install_.Exec("DEMO",
                "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
                "SELECT SYSTEM_ID, 'DOCUMENTTYPES', RULE, 0, '' FROM DOCUMENTTYPES, (SELECT "
                "'CLIENT MATTERS' AS RULE UNION SELECT 'OTHER RULE')");
  install_.Exec("DEMO",
                "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
                "SELECT SYSTEM_ID, 'CLIENT', 'CLIENT MATTERS', 0, '' FROM CLIENT");
  const CompiledRule run = Compile(Rule("CLIENT MATTERS"), 0);
  ASSERT_TRUE(run.selection.complete) << Dump();
  EXPECT_EQ(run.selection.row_limit, 0);
  EXPECT_TRUE(text::StartsWith(run.selection.statement, "SELECT DISTINCT 'FIRM MATTERS'"))
      << run.selection.statement;
  EXPECT_EQ(install_.CountLogLines("Initializing folder column item DOCUMENTTYPES"), 1);
  EXPECT_EQ(install_.Scalar("DEMO",
                            "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = "
                            "'DOCUMENTTYPES' AND RULE_NAME = 'CLIENT MATTERS'"),
            "0");
  EXPECT_EQ(install_.Scalar("DEMO",
                            "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = "
                            "'DOCUMENTTYPES' AND RULE_NAME = 'OTHER RULE'"),
            "4");
  // With the bottom table's rows gone every row is selected again, clients tracked or not.
  EXPECT_EQ(run.intake.matched, static_cast<long long>(Query(kDocumentRows).size()));
}

TEST_F(SelectionE2eTest, AbandonedRulesAreReportedAndSkipped) {
  Start({{.name = "DEMO"}});
  install_.options.ListResults.push_back({"DEMO - CLIENTS", "", "Working..."});
  using Outcome = CompiledRule::Outcome;
  const std::string unparsed = "Notice: Unable to parse template string - cannot continue";
  const std::string incomplete =
      "Notice: SQL incomplete - check rule syntax. Unable to process rule CLIENTS";
  struct Case {
    const char* template_text;
    Outcome outcome;
    std::string notice;
  };
  const Case cases[] = {
      {"   ", Outcome::kTemplateFailed, unparsed},
      {"{ELSEWHERE} %CLIENTS%", Outcome::kTemplateFailed, unparsed},
      // Literals only: no table to select from.
      {"%FIRM MATTERS% %\\% %DATE%", Outcome::kIncomplete, incomplete},
      {"%CLIENTS% %\\% %MATTER.CLIENT_ID.CLIENT_ID", Outcome::kIncomplete, incomplete},
  };
  for (const Case& c : cases) {
    testing::LogWindow window(install_);
    rules::RuleRecord rule = Rule("CLIENTS");
    rule.Set(rules::RuleKey::kTemplate, c.template_text);
    const CompiledRule run = Compile(rule);
    EXPECT_EQ(run.outcome, c.outcome) << c.template_text;
    EXPECT_EQ(window.Count(c.notice), 1) << c.template_text << "\n" << window.Dump();
    EXPECT_EQ(window.Count("Executing "), 0) << c.template_text;
  }
  EXPECT_EQ(install_.options.ListResults.back().state, "Syntax Error");
}

// Every rule of the demo installation selects as many rows as a hand-written
// query over its generated data says.
TEST_F(SelectionE2eTest, DemoInstallationRulesMatchHandWrittenCounts) {
  dmapi::DemoOptions options;
  dmapi::DemoInstallation demo;
  std::string error;
  ASSERT_TRUE(sproutsmith::testing::Ok(
      dmapi::CreateDemoInstallation(install_.dir.File("demo"), options, &demo)));
  client_ = dmapi::OpenInstallation(demo.config_path, &error, &install_.clock);
  ASSERT_TRUE(client_) << error;
  connection_ = std::make_unique<dm::Connection>(install_.context, *client_);
  store_ = std::make_unique<rules::RuleStore>(install_.context, *connection_);
  store_->Attach();
  ASSERT_TRUE(connection_->StartFusion()) << Dump();
  dictionary_ = std::make_unique<DocsColumnDictionary>(*connection_);
  for (size_t i = 0; i < demo.library_paths.size(); ++i) {
    const std::string library = i == 0 ? "DEMO" : "ARCHIVE";
    SCOPED_TRACE(library);
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    auto db = sql::SqliteDatabase::Open(demo.library_paths[i], false, &error);
    ASSERT_TRUE(db) << error;
    auto count = [&](const std::string& sql) {
      const auto r = db->Execute("SELECT COUNT(*) FROM (" + sql + ")");
      EXPECT_TRUE(r.ok()) << r.status.text;
      return r.ok() ? r.result.rows[0][0].AsInteger() : -1;
    };
    const long long matters = count(kDocumentRows);
    const long long clients = count(
        "SELECT DISTINCT M.SYSTEM_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = "
        "M.CLIENT_ID");
    const CompiledRule by_matter = Compile(Rule("CLIENT MATTERS"));
    const CompiledRule by_client = Compile(Rule("CLIENTS"));
    EXPECT_EQ(by_matter.intake.matched, matters);
    EXPECT_EQ(by_client.intake.matched, clients);
    std::cout << library << ": CLIENT MATTERS " << by_matter.intake.matched << " (query " << matters
              << "), CLIENTS " << by_client.intake.matched << " (query " << clients << ")\n";
  }
  EXPECT_EQ(install_.CountLogLines("SQL Error"), 0) << Dump();
}

}  // namespace
}  // namespace sproutsmith::templ
