#include "template/row_intake.h"

#include <gtest/gtest.h>

#include "template/template_test_support.h"

namespace sproutsmith::templ {
namespace {

TEST(FillEmailTemplateTest, PlaceholdersTakeTheRowsValues) {
  const std::vector<std::string> headings = {"", "CLIENT.CLIENT_ID", "MATTER.MATTER_ID",
                                             "CLIENT_NAME"};
  const std::vector<std::string> values = {"FIRM", "  C0001 ", "0001", "Acme"};
  // An e-mail template and what the row makes of it.
  const std::pair<const char*, const char*> cases[] = {
      // Blanks next to a filled placeholder go.
      {"Client %CLIENT.CLIENT_ID% matter %MATTER.MATTER_ID%", "ClientC0001matter0001"},
      {"  %MATTER.MATTER_ID%@example.com  ", "0001@example.com"},
      // Another table's column of the same name takes the value.
      {"%X.CLIENT_ID%@example.com", "C0001@example.com"},
      {"%CLIENT_NAME% and %OTHER.CLIENT_NAME%", "Acmeand %OTHER.CLIENT_NAME%"},
      {"Dear %TABLE.CLIENT_NAME%", "DearAcme"},
      // Only the first occurrence, and only as written.
      {"%MATTER.MATTER_ID% %MATTER.MATTER_ID%", "0001%MATTER.MATTER_ID%"},
      {"%client.client_id%", "%client.client_id%"},
      // A constant column has no name to be found by.
      {"100%% sure", "100%% sure"},
      {"", ""},
  };
  for (const auto& [email, expected] : cases) {
    EXPECT_EQ(FillEmailTemplate(email, headings, values), expected) << email;
  }
}

class RowIntakeTest : public testing::CompileSession {
 protected:
  void SetUp() override {
    Start({{.name = "DEMO"}, {.name = "ARCHIVE"}, {.name = "ORA", .engine_code = 2}});
    // 250 clients in all.
    install_.Exec("DEMO",
                  "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 246) "
                  "INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) SELECT 80000 + I, "
                  "printf('X%04d', I), 'Client ' || I FROM N");
    rule_ = Rule("CLIENTS");
  }
  Intake Read(const std::string& statement, long row_limit, const std::string& saved = "",
              int saved_index = 0) {
    window_ = std::make_unique<testing::LogWindow>(install_);
    return RunSelection({statement, row_limit, saved, saved_index}, rule_, install_.context,
                        *connection_, *store_);
  }
  std::vector<bool> Flags() {
    std::vector<bool> flags;
    for (int i = 1; i <= connection_->libraries()->Count(); ++i) {
      flags.push_back(connection_->libraries()->SearchFlag(i));
    }
    return flags;
  }

  rules::RuleRecord rule_;
  std::unique_ptr<testing::LogWindow> window_;
};

constexpr char kClients[] =
    "SELECT CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\" FROM [OWNER].CLIENT ORDER BY "
    "CLIENT.CLIENT_ID";
constexpr char kSavedWithTop[] = "SELECT DISTINCT TOP 100 CLIENT.CLIENT_ID FROM [OWNER].CLIENT";

TEST_F(RowIntakeTest, OnlyASavedStatementWithTopCapsTheRowsRead) {
  struct Case {
    long row_limit;
    const char* saved;
    int reuse;
    int read;
  };
  const Case cases[] = {
      {100, kSavedWithTop, 0, 100}, {100, "", 0, 250},
      {100, kSavedWithTop, 1, 250}, {0, kSavedWithTop, 0, 250},
      {300, kSavedWithTop, 0, 250},
  };
  for (const Case& c : cases) {
    install_.options.CheckReUseSQL = c.reuse;
    const Intake intake = Read(kClients, c.row_limit, c.saved);
    SCOPED_TRACE(std::string(c.saved) + " limit " + std::to_string(c.row_limit));
    EXPECT_EQ(intake.matched, 250);
    EXPECT_EQ(intake.rows_read, c.read);
    EXPECT_EQ(intake.result.RowCount(), c.read);
    EXPECT_EQ(intake.result.Cell(c.read, 1), c.read == 100 ? "X0096" : "X0246");
    EXPECT_EQ(install_.options.LabelTotal, std::to_string(c.read));
    EXPECT_EQ(window_->Count("Only the first 100 item(s) will be processed in this cycle"),
              c.read == 100 ? 1 : 0);
    EXPECT_EQ(window_->Count("250 SQL value(s) match the folder template"), 1);
    EXPECT_EQ(window_->Count("Reading 250 SQL rows for rule CLIENTS"), 1);
    EXPECT_EQ(window_->Count(std::to_string(c.read) +
                             " new folder(s) with 1 SQL item(s) will be processed."),
              1);
  }
}

TEST_F(RowIntakeTest, TableColumnsAreTrimmedAndConstantsKeptAsReturned) {
  install_.Exec("DEMO",
                "INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) VALUES (90001, '  C9  ', "
                "'  Ninth  ')");
  const Intake intake = Read(
      "SELECT 'LEVEL  ', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", CLIENT.CLIENT_NAME AS \"A "
      "B\", CLIENT.CLIENT_NAME AS \".NAME\" FROM [OWNER].CLIENT WHERE CLIENT.SYSTEM_ID = 90001",
      0);
  ASSERT_EQ(intake.rows_read, 1) << window_->Dump();
  EXPECT_EQ(intake.columns, 4);
  EXPECT_EQ(intake.result.Heading(2), "CLIENT.CLIENT_ID");
  EXPECT_EQ(intake.result.Cell(1, 1), "LEVEL  ");
  EXPECT_EQ(intake.result.Cell(1, 2), "C9");
  EXPECT_EQ(intake.result.Cell(1, 3), "  Ninth  ");
  EXPECT_EQ(intake.result.Cell(1, 4), "  Ninth  ");
}

TEST_F(RowIntakeTest, RowsGetTheirEmailTextAndTheSavedEntryItsCount) {
  rule_.Set(rules::RuleKey::kEmailTemplate, "%CLIENT.CLIENT_ID%@clients.example.com");
  const int entry = store_->SaveStatement("DEMO", "CLIENTS", kClients);
  store_->Saved(entry).pending = "x";
  const Intake intake = Read(kClients, 0, "", entry);
  ASSERT_EQ(intake.rows_read, 250);
  ASSERT_EQ(intake.emails.size(), 251u);
  EXPECT_EQ(intake.emails[1], "C0001@clients.example.com");
  EXPECT_EQ(intake.emails[250], "X0246@clients.example.com");
  EXPECT_EQ(store_->Saved(entry).row_count, "250");
  EXPECT_EQ(store_->Saved(entry).pending, "");
}

TEST_F(RowIntakeTest, TheConnectedAndTheMasterFolderLibrariesAreSearched) {
  rule_.Set(rules::RuleKey::kMasterfolderLibrary, " archive ");
  Read(kClients, 0);
  EXPECT_EQ(Flags(), (std::vector<bool>{true, true, false}));
  EXPECT_EQ(window_->Count("Setting DEMO as a Search Library"), 1);
  EXPECT_EQ(window_->Count("Setting ARCHIVE as a Search Library"), 1);
  EXPECT_EQ(window_->Count("Setting ORA"), 0);

  // No rows (or a failed statement): nothing read, no flag touched.
  for (int i = 1; i <= 3; ++i) connection_->libraries()->SetSearchFlag(i, i == 3);
  for (const char* statement : {"SELECT CLIENT.CLIENT_ID FROM [OWNER].CLIENT WHERE 1 = 0",
                                "SELECT NOTHING FROM [OWNER].CLIENT"}) {
    const Intake intake = Read(statement, 0);
    EXPECT_EQ(intake.matched, 0) << statement;
    EXPECT_EQ(intake.rows_read, 0);
    EXPECT_EQ(window_->Count("0 SQL value(s) match the folder template"), 1) << statement;
    EXPECT_EQ(window_->Count("new folder(s)"), 0);
    EXPECT_EQ(Flags(), (std::vector<bool>{false, false, true}));
  }
}

TEST_F(RowIntakeTest, ACancelDuringIntakeHandsNoRowOver) {
  install_.ui.on_yield = [&] {
    if (install_.options.LabelTotal == "100") install_.state.CancelRequested = true;
  };
  const Intake intake = Read(kClients, 0);
  EXPECT_TRUE(intake.cancelled);
  EXPECT_EQ(intake.rows_read, 0);
  EXPECT_EQ(intake.result.RowCount(), 100);
  EXPECT_EQ(window_->Count("new folder(s)"), 0);
}

}  // namespace
}  // namespace sproutsmith::templ
