// How many statements the stand-in runs for the operations the engine repeats for every
// folder, once the first folder has read the library's reference rows and reserved a range
// of keys: what the client already knows is not asked again.

#include <functional>

#include "platform/sql/fault_injecting_database.h"
#include "standin_fixture.h"
#include "support/fault_opener.h"

namespace sproutsmith::dmapi {
namespace {

class StatementCountTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    // The same library through a database that counts every call made to it.
    client = OpenInstallation(
        config, &clock,
        testing::FaultInjectingOpener(
            [this](const std::string&, sql::FaultInjectingDatabase& db) { counting = &db; },
            "LIB1"));
    session = client->CreateSession();
    app = client->CreateApplication();
    ASSERT_TRUE(session->LogOn());
    ASSERT_NE(counting, nullptr);
  }

  // A folder with the values the engine gives every folder, saved.
  long long NewFolder(const std::string& name) {
    std::unique_ptr<FolderObject> folder = session->NewFolder();
    folder->SetName(name);
    folder->SetDescription(name);
    std::unique_ptr<ProfileObject> profile = folder->Profile();
    for (const char* column : {"AUTHOR_ID", "TYPIST_ID"}) {
      EXPECT_TRUE(profile->SetValue(column, "DMADMIN").ok());
    }
    EXPECT_TRUE(profile->SetValue("TYPE_ID", "FOLDER").ok());
    const SaveResult saved = profile->Save();
    EXPECT_TRUE(saved.status.ok()) << saved.status.text;
    return saved.document_number;
  }

  std::string Calls() const {
    std::string calls;
    for (const std::string& call : counting->call_log()) calls += "\n  " + call;
    return calls;
  }

  sql::FaultInjectingDatabase* counting = nullptr;
};

TEST_F(StatementCountTest, AFolderIsMadeLinkedAndAnnouncedInAFewStatements) {
  // One folder made, linked and announced, as the first row of a rule does it.
  const long long parent = NewFolder("Parent");
  ASSERT_TRUE(session->OpenFolder(parent, "")->AddItem("", NewFolder("Warm")).status.ok());
  EXPECT_EQ(app->RunCommand(kRefreshAllViews), 0);
  const struct {
    const char* operation;
    std::function<void(long long*)> run;
    long at_most;
  } kOperations[] = {
      // The counter's next number, the profile, folder, version and activity rows, in one
      // transaction, after the parameter that says whether names must be unique.
      {"a new folder with its profile values, saved",
       [this](long long* made) { *made = NewFolder("Counted"); }, 8},
      // The parent's profile and folder row, the item's profile (with its folder row), then in
      // one transaction the link's absence, the chain's tail, the parent's version, the link
      // and the old tail pointed at it.
      {"the parent opened and the folder added to it",
       [this, parent](long long* made) {
         const AddItemResult added = session->OpenFolder(parent, "")->AddItem("", *made);
         EXPECT_TRUE(added.status.ok()) << added.status.text;
       },
       10},
      {"the views refreshed",
       [this](long long*) { EXPECT_EQ(app->RunCommand(kRefreshAllViews), 0); }, 1},
      {"the folder's profile opened and saved",
       [this](long long* made) {
         std::unique_ptr<ProfileObject> profile = session->OpenProfile(*made, "");
         EXPECT_TRUE(profile->Save().status.ok());
       },
       2},
  };
  long long made = 0;
  for (int round = 0; round < 3; ++round) {
    for (const auto& op : kOperations) {
      counting->Disarm();
      op.run(&made);
      EXPECT_LE(counting->calls(), op.at_most) << op.operation << ":" << Calls();
    }
  }
  // What the operations wrote is still all there.
  EXPECT_EQ(
      Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = " + std::to_string(parent)),
      "4");
  EXPECT_EQ(
      Scalar("LIB1", "SELECT COUNT(*) FROM ACTIVITYLOG WHERE DOCNUMBER = " + std::to_string(made)),
      "3");
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM STANDIN_EVENTS"), "4");
}

}  // namespace
}  // namespace sproutsmith::dmapi
