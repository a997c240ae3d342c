// Two clients on one library, as two processes on one SQLite file or two computers on one
// PostgreSQL database: each hands out SYSTEM_IDs from its own range of the key counter, yet
// no number is used twice, a folder's document number is above every document number in the
// library when it was made, and event rows get ids of their own.

#include <set>

#include "platform/both_backends.h"
#include "platform/sql/fault_injecting_database.h"
#include "standin_fixture.h"
#include "support/fault_opener.h"
#include "support/postgres_server.h"

namespace sproutsmith::dmapi {
namespace {

// One client of the library, as one process has it.
struct Process {
  Process(const LibraryConfig& library, const os::Clock* clock, DatabaseOpener opener = {})
      : client(OpenInstallation(OneLibrary(library), clock, std::move(opener))),
        session(client->CreateSession()),
        app(client->CreateApplication()),
        sql(AttachedSql(*client, *app, library.name)) {}
  long long MakeFolder(const std::string& name, long long parent = 0) {
    std::unique_ptr<FolderObject> folder = session->NewFolder();
    folder->SetName(name);
    const SaveResult saved = folder->Save("", 3);
    EXPECT_TRUE(saved.status.ok()) << saved.status.text;
    if (parent != 0) {
      const AddItemResult added =
          session->OpenFolder(parent, "")->AddItem("", saved.document_number);
      EXPECT_TRUE(added.status.ok()) << added.status.text;
    }
    return saved.document_number;
  }

  std::unique_ptr<Client> client;
  std::unique_ptr<Session> session;
  std::unique_ptr<Application> app;
  std::unique_ptr<SqlObject> sql;
};

class SharedLibraryTest : public testing::BackendTest {
 protected:
  // The library, with a small generated data set, and a connection of the test's own.
  void SetUp() override {
    own = Open();
    ASSERT_NE(own, nullptr);
    library.name = "SHARED";
    if (Postgres()) {
      library.backend = kPostgresBackend;
      library.connection = connection_;
    } else {
      library.database_path = File();
    }
    schema::LibraryDefinition def;
    def.name = library.name;
    MakeLibrary(*own, def, SmallData(4));
  }
  // The numbers `query` reads, in the order read.
  std::vector<long long> Numbers(const std::string& query) {
    std::vector<long long> numbers;
    for (const auto& row : testing::ReadRows(*own, query)) numbers.push_back(std::stoll(row[0]));
    return numbers;
  }

  const os::FixedClock clock{{2026, 12, 6, 9, 30, 15, 0}};
  LibraryConfig library;
  std::unique_ptr<sql::Database> own;  // the test's own connection
};

TEST_P(SharedLibraryTest, TwoClientsNeverShareANumberAndDocumentNumbersOnlyGrow) {
  const std::string counter = "SELECT LAST_KEY FROM STANDIN_KEYS WHERE KEY_NAME = 'SYSTEMKEY'";
  const long long counter_before = testing::Count(*own, counter);

  Process one(library, &clock);
  Process two(library, &clock);
  const long long root_one = one.MakeFolder("One");  // one's range comes first
  const long long root_two = two.MakeFolder("Two");
  std::vector<long long> folders = {root_one, root_two};
  std::vector<long long> keys;
  for (int i = 0; i < 3; ++i) {
    folders.push_back(two.MakeFolder("Two " + std::to_string(i), root_two));
    keys.push_back(one.sql->AllocateKey("SYSTEMKEY"));
    keys.push_back(two.sql->AllocateKey("SYSTEMKEY"));
  }
  // The other client has used numbers above one's range since one reserved it.
  const long long highest = testing::Count(*own, "SELECT MAX(DOCNUMBER) FROM PROFILE");
  const long long late = one.MakeFolder("One late", root_one);
  folders.push_back(late);
  EXPECT_GT(late, highest);
  const std::string ids = "SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = ";
  ASSERT_LT(testing::Count(*own, ids + std::to_string(late)),
            testing::Count(*own, ids + std::to_string(root_two)))
      << "one's SYSTEM_IDs were meant to come from the range it reserved first";

  std::string made;
  for (long long f : folders) made += (made.empty() ? "" : ", ") + std::to_string(f);
  std::vector<long long> used = keys;
  for (const std::string& query :
       {"SELECT DOCNUMBER FROM PROFILE WHERE DOCNUMBER IN (" + made + ")",
        "SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER IN (" + made + ")",
        "SELECT VERSION_ID FROM VERSIONS WHERE DOCNUMBER IN (" + made + ")",
        "SELECT SYSTEM_ID FROM FOLDER_ITEM WHERE PARENT IN (" + made + ")"}) {
    for (long long n : Numbers(query)) used.push_back(n);
  }
  // The keys; number, id and version of six folders; four links.
  ASSERT_EQ(used.size(), 6u + 3 * 6u + 4u);
  const std::set<long long> distinct(used.begin(), used.end());
  EXPECT_EQ(distinct.size(), used.size()) << "a number was handed out twice";
  EXPECT_GT(*distinct.begin(), counter_before);
  EXPECT_LE(*distinct.rbegin(), testing::Count(*own, counter));

  for (Process* p : {&one, &two, &one, &one, &two}) {
    EXPECT_EQ(p->app->RunCommand(kRefreshAllViews), 0);
  }
  EXPECT_EQ(Numbers("SELECT EVENT_ID FROM STANDIN_EVENTS ORDER BY EVENT_ID"),
            (std::vector<long long>{1, 2, 3, 4, 5}));
}

// A row's writes held and then undone by the library (its commit failed): the key range
// reserved inside them goes with them, so the other client, reserving the same numbers
// again, never meets this one's.
TEST_P(SharedLibraryTest, KeysReservedInWritesThatWereUndoneAreNotHandedOutAgain) {
  sql::FaultInjectingDatabase* fault = nullptr;
  Process one(library, &clock,
              testing::FaultInjectingOpener(
                  [&fault](const std::string&, sql::FaultInjectingDatabase& db) { fault = &db; }));
  Process two(library, &clock);
  ASSERT_NE(fault, nullptr);

  one.client->HoldCommits(true);
  const long long undone = one.MakeFolder("Undone");
  fault->FailCall(1);
  EXPECT_FALSE(one.client->CommitHeld(library.name));
  fault->Disarm();
  one.client->HoldCommits(false);

  EXPECT_EQ(Numbers("SELECT DOCNUMBER FROM PROFILE WHERE DOCNUMBER = " + std::to_string(undone)),
            std::vector<long long>{});
  const long long root = two.MakeFolder("Two");
  const long long again = one.MakeFolder("One", root);
  const long long more = two.MakeFolder("Two more", root);
  const std::vector<long long> used = Numbers(
      "SELECT SYSTEM_ID FROM PROFILE UNION ALL SELECT VERSION_ID FROM VERSIONS "
      "UNION ALL SELECT SYSTEM_ID FROM FOLDER_ITEM");
  const std::set<long long> distinct(used.begin(), used.end());
  EXPECT_EQ(distinct.size(), used.size()) << "a number was handed out twice";
  EXPECT_GT(again, 0);
  EXPECT_GT(more, again);
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, SharedLibraryTest, testing::BothBackends(),
                         testing::BackendParamName);

}  // namespace
}  // namespace sproutsmith::dmapi
