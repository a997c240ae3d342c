// Folders: the rows a DM server leaves behind when one is saved, refusals, what a later save
// keeps, the FOLDER_ITEM chain that adding items makes, two clients sharing one library, and
// every writing operation while the database fails.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/both_backends.h"
#include "platform/sql/fault_injecting_database.h"
#include "standin_fixture.h"
#include "support/fault_opener.h"
#include "support/postgres_server.h"

namespace sproutsmith::dmapi {
namespace {

using FolderSaveTest = StandinTest;

TEST_F(FolderSaveTest, NewFolderWritesProfileFolderVersionAndActivityRows) {
  std::unique_ptr<FolderObject> folder = session->NewFolder();
  ASSERT_NE(folder, nullptr);
  folder->SetName("Smith & O'Neil");
  folder->SetDescription("Clients S");
  std::unique_ptr<ProfileObject> profile = folder->Profile();
  for (const auto& [column, value] : std::vector<std::pair<std::string, std::string>>{
           {"AUTHOR_ID", "DMADMIN"}, {"TYPIST_ID", "DMADMIN"}, {"TYPE_ID", "FOLDER"}}) {
    EXPECT_TRUE(profile->SetValue(column, value).ok()) << column;
  }
  const SaveResult saved = profile->Save();
  ASSERT_TRUE(saved.status.ok()) << saved.status.text;
  const long long n = saved.document_number;
  EXPECT_EQ(folder->DocumentNumber(), n);
  EXPECT_EQ(profile->Value("DOCNUM"), std::to_string(n));

  const std::string where = " WHERE DOCNUMBER = " + std::to_string(n);
  EXPECT_EQ(
      Query("LIB1",
            "SELECT P.DOCNAME, P.ABSTRACT, A.APPLICATION, AU.USER_ID, TY.USER_ID, DT.TYPE_ID, "
            "F.FORM_NAME, P.STATUS, P.DEFAULT_RIGHTS, P.CREATION_DATE FROM PROFILE P "
            "LEFT JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION "
            "LEFT JOIN PEOPLE AU ON AU.SYSTEM_ID = P.AUTHOR LEFT JOIN PEOPLE TY ON "
            "TY.SYSTEM_ID = P.TYPIST LEFT JOIN DOCUMENTTYPES DT ON DT.SYSTEM_ID = P.DOCUMENTTYPE "
            "LEFT JOIN FORMS F ON F.SYSTEM_ID = P.FORM WHERE P.DOCNUMBER = " +
                std::to_string(n)),
      (Rows{{"Smith & O'Neil", "Clients S", "FOLDER", "DMADMIN", "DMADMIN", "FOLDER", "FOLDER_PROF",
             "0", "0", "2026-12-06 09:30:15"}}));
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER" + where), "1");
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM VERSIONS" + where), "1");
  EXPECT_EQ(
      Query("LIB1",
            "SELECT ACTIVITY_TYPE, TYPIST FROM ACTIVITYLOG" + where + " ORDER BY ACTIVITY_TYPE"),
      (Rows{
          {"45", PeopleId("DMADMIN")}, {"46", PeopleId("DMADMIN")}, {"47", PeopleId("DMADMIN")}}));
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM ROOT_OBJECT" + where), "0");

  EXPECT_EQ(LastKey("LIB1"), std::to_string(n));  // the counter's latest

  // Saving again updates the same document.
  EXPECT_EQ(folder->Save("", 3).document_number, n);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM PROFILE" + where), "1");
}

TEST_F(FolderSaveTest, SaveWithAFormAndRefusedSavesWriteNothing) {
  std::unique_ptr<FolderObject> folder = session->NewFolder();
  folder->SetName("Form test");
  const std::string profiles = Scalar("LIB1", "SELECT COUNT(*) FROM PROFILE");

  const SaveResult unknown = folder->Save("NO_SUCH_FORM", 2);
  EXPECT_EQ(unknown.status.code, kErrNoSuchForm);
  EXPECT_EQ(unknown.document_number, 0);

  folder->SetName("   ");
  EXPECT_EQ(folder->Save("", 2).status.code, kErrRequired);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM PROFILE"), profiles);

  folder->SetName("Form test");
  const SaveResult saved = folder->Save("defprof", 2);
  ASSERT_TRUE(saved.status.ok()) << saved.status.text;
  const std::string form =
      "SELECT F.FORM_NAME FROM PROFILE P, FORMS F WHERE F.SYSTEM_ID = P.FORM AND P.DOCNUMBER = " +
      std::to_string(saved.document_number);
  EXPECT_EQ(Scalar("LIB1", form), "DEFPROF");
  // "*DEFAULT FORM*" keeps the form the folder has.
  ASSERT_TRUE(folder->Save("*DEFAULT FORM*", 2).status.ok());
  EXPECT_EQ(Scalar("LIB1", form), "DEFPROF");
}

TEST_F(FolderSaveTest, OpeningChecksLibraryNumberAndKindAndASaveKeepsSqlEditsMadeMeanwhile) {
  const long long n = MakeFolder("Original");
  const std::string number = std::to_string(n);

  std::unique_ptr<FolderObject> folder = session->OpenFolder(n, "lib1");
  ASSERT_NE(folder, nullptr);
  std::unique_ptr<ProfileObject> profile = folder->Profile();
  // Author and typist were not given: they are the logged-on user.
  EXPECT_EQ(std::vector<std::string>({folder->Name(), std::to_string(folder->DocumentNumber()),
                                      profile->Value("AUTHOR_ID"), profile->Value("TYPIST_ID"),
                                      profile->Value("APP_ID"), profile->Value("DOCNUM")}),
            std::vector<std::string>({"Original", number, "DMADMIN", "DMADMIN", "FOLDER", number}));

  // The engine edits the row with SQL while the object is open; a save must not put the
  // values it read back over them.
  Exec("LIB1",
       "UPDATE PROFILE SET RETENTION = 90, DOCUMENTTYPE = NULL WHERE DOCNUMBER = " + number);
  folder->SetName("Renamed");
  ASSERT_TRUE(folder->Save("", 3).status.ok());
  EXPECT_EQ(
      Query("LIB1",
            "SELECT DOCNAME, RETENTION, DOCUMENTTYPE FROM PROFILE WHERE DOCNUMBER = " + number),
      (Rows{{"Renamed", "90", "NULL"}}));

  // Opening checks the library, the number and the kind.
  const long long document = FirstDocument();
  EXPECT_EQ(session->OpenFolder(document, "LIB1"), nullptr);  // not a folder
  EXPECT_NE(session->OpenProfile(document, "LIB1"), nullptr);
  EXPECT_EQ(session->OpenProfile(987654321, "LIB1"), nullptr);
  EXPECT_EQ(session->OpenFolder(n, "NO_SUCH_LIBRARY"), nullptr);
  EXPECT_EQ(session->OpenFolder(n, "LIB2"), nullptr);  // the number belongs to LIB1
  EXPECT_NE(session->OpenFolder(n, ""), nullptr);      // "" = the current library
  // A profile row with the FOLDER application but no FOLDER row is no folder object.
  Exec("LIB1", "DELETE FROM FOLDER WHERE DOCNUMBER = " + number);
  EXPECT_EQ(session->OpenFolder(n, "LIB1"), nullptr);
}

TEST_F(FolderSaveTest, UniqueDocumentNamesAreEnforcedWhenTheLibraryAsks) {
  MakeFolder("Twice");
  EXPECT_NE(MakeFolder("Twice"), 0);  // allowed while the parameter is off

  Exec("LIB1",
       "UPDATE STANDIN_PARAMETERS SET PARAM_VALUE = '1' WHERE "
       "PARAM_NAME = 'DOCSParms.UniqueDocNames'");
  std::unique_ptr<FolderObject> folder = session->NewFolder();
  folder->SetName("TWICE");
  EXPECT_EQ(folder->Save("", 3).status.code, kErrDuplicateName);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM PROFILE WHERE DOCNAME = 'Twice'"), "2");

  // A folder keeps its own name when saved again.
  const long long other = MakeFolder("Only once");
  std::unique_ptr<FolderObject> reopened = session->OpenFolder(other, "LIB1");
  reopened->SetName("Only once");
  EXPECT_TRUE(reopened->Save("", 3).status.ok());
}

TEST_F(FolderSaveTest, MarkPublicWritesOneRootObjectRowBeforeOrAfterTheFirstSave) {
  std::unique_ptr<FolderObject> early = session->NewFolder();
  early->SetName("Public early");
  EXPECT_TRUE(early->MarkPublic().ok());
  const long long a = early->Save("", 3).document_number;
  ASSERT_NE(a, 0);

  const long long b = MakeFolder("Public late");
  std::unique_ptr<FolderObject> late = session->OpenFolder(b, "LIB1");
  EXPECT_TRUE(late->MarkPublic().ok());
  EXPECT_TRUE(late->MarkPublic().ok());
  EXPECT_TRUE(late->Save("", 3).status.ok());

  EXPECT_EQ(Query("LIB1", "SELECT DOCNUMBER, DISPLAYNAME FROM ROOT_OBJECT ORDER BY DOCNUMBER"),
            (Rows{{std::to_string(a), "Public early"}, {std::to_string(b), "Public late"}}));
}

// Adding items; also client commands.
class FolderItemsTest : public StandinTest {
 protected:
  // The parent's links, oldest first: the item, ISFIRST, the item NEXT leads to (0 at the
  // tail), then `more` columns of the link.
  Rows Links(long long parent, const std::string& more = "") {
    return Query("LIB1", "SELECT F.DOCNUMBER, F.ISFIRST, COALESCE(N.DOCNUMBER, F.NEXT)" + more +
                             " FROM FOLDER_ITEM F LEFT JOIN FOLDER_ITEM N ON N.SYSTEM_ID = F.NEXT "
                             "WHERE F.PARENT = " +
                             std::to_string(parent) + " ORDER BY F.SYSTEM_ID");
  }
};

// A document number as text.
std::string Id(long long v) { return std::to_string(v); }

TEST_F(FolderItemsTest, ThreeAddsMakeALinkedChainWithTheFolderRowsTheEngineQueries) {
  const long long parent = MakeFolder("Parent");
  const long long a = MakeFolder("A");
  const long long b = MakeFolder("B");
  const long long document = FirstDocument();
  std::unique_ptr<FolderObject> folder = session->OpenFolder(parent, "LIB1");
  ASSERT_NE(folder, nullptr);
  for (long long item : {a, b, document}) {
    const AddItemResult added = folder->AddItem("LIB1", item);
    EXPECT_TRUE(added.status.ok()) << added.status.text;
    EXPECT_EQ(added.trustees, 0);
  }

  const std::string p = Id(parent);
  const std::string v = Scalar("LIB1", "SELECT VERSION_ID FROM VERSIONS WHERE DOCNUMBER = " + p);
  const std::string name =
      Scalar("LIB1", "SELECT DISPLAYNAME FROM FOLDER_ITEM WHERE DOCNUMBER = " + Id(document));
  EXPECT_EQ(Links(parent,
                  ", F.NODE_TYPE, F.DISPLAYNAME, F.PARENT_LIBRARY, F.LIBRARY, F.PARENT_VERSION, "
                  "F.VERSION_TYPE"),
            (Rows{{Id(a), "Y", Id(b), "F", "A", "0", "0", v, "R"},
                  {Id(b), "N", Id(document), "F", "B", "0", "0", v, "R"},
                  {Id(document), "N", "0", "D", name, "0", "0", v, "R"}}));
  EXPECT_EQ(session->OpenProfile(a, "LIB1")->ParentFolders(), std::vector<long long>{parent});
}

TEST_F(FolderItemsTest, RefusedAddsWriteNothing) {
  const long long parent = MakeFolder("Parent");
  const long long child = MakeFolder("Child");
  std::unique_ptr<FolderObject> folder = session->OpenFolder(parent, "LIB1");
  ASSERT_TRUE(folder->AddItem("LIB1", child).status.ok());
  const std::string links = Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER_ITEM");
  const std::string keys = LastKey("LIB1");

  EXPECT_EQ(folder->AddItem("LIB1", child).status.code, kErrAlreadyInFolder);
  EXPECT_EQ(folder->AddItem("LIB1", parent).status.code, kErrAlreadyInFolder);  // itself
  EXPECT_EQ(folder->AddItem("LIB1", 987654321).status.code, kErrNoSuchDocument);
  EXPECT_EQ(folder->AddItem("NOWHERE", child).status.code, kErrNoSuchLibrary);
  std::unique_ptr<FolderObject> unsaved = session->NewFolder();
  unsaved->SetName("Unsaved");
  EXPECT_EQ(unsaved->AddItem("LIB1", child).status.code, kErrNotSaved);

  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER_ITEM"), links);
  EXPECT_EQ(LastKey("LIB1"), keys);
}

TEST_F(FolderItemsTest, ASecuredItemReceivesTheFoldersTrusteesItLacks) {
  const long long parent = MakeFolder("Secured parent");
  const long long child = MakeFolder("Secured child");
  const std::string admin = PeopleId("DMADMIN");
  Exec("LIB1", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (" +
                   SystemId(parent) + ", " + admin + ", 255), (" + SystemId(parent) +
                   ", 0, 63), (" + SystemId(child) + ", " + admin + ", 191)");
  Exec("LIB1", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = " + Id(child));

  const AddItemResult added = session->OpenFolder(parent, "LIB1")->AddItem("LIB1", child);
  ASSERT_TRUE(added.status.ok()) << added.status.text;
  EXPECT_EQ(added.trustees, 1);
  EXPECT_EQ(Query("LIB1", "SELECT PERSONORGROUP, ACCESSRIGHTS FROM SECURITY WHERE THING = " +
                              SystemId(child) + " ORDER BY PERSONORGROUP"),
            (Rows{{"0", "63"}, {admin, "191"}}));

  // An unsecured item receives none.
  const long long open = MakeFolder("Open child");
  EXPECT_EQ(session->OpenFolder(parent, "LIB1")->AddItem("LIB1", open).trustees, 0);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM SECURITY WHERE THING = " + SystemId(open)), "0");
}

TEST_F(FolderItemsTest, RefreshAllViewsIsCountedInTheCurrentLibrary) {
  EXPECT_EQ(app->RunCommand("DOCSOPEN.RefreshAllViews"), 0);
  EXPECT_NE(app->RunCommand("DOCSOPEN.FormatDisk"), 0);
  app->PointAtLibrary("LIB2");
  EXPECT_EQ(app->RunCommand(kRefreshAllViews), 0);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM STANDIN_EVENTS WHERE DETAIL = 'DMADMIN'"), "1");
  EXPECT_EQ(Scalar("LIB2", "SELECT COUNT(*) FROM STANDIN_EVENTS"), "1");
}

// Two clients on one library, as two processes on one SQLite file or two computers on one
// PostgreSQL database: each hands out SYSTEM_IDs from its own range of the key counter, yet
// no number is used twice, a folder's document number is above every document number in the
// library when it was made, and event rows get ids of their own.
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

// Every DM operation that writes several rows is all or nothing: each one is rerun on a
// fresh copy of one library, failing its 1st, 2nd, ... call of the database (once, and from
// that call on), and must then report failure and leave exactly the rows it found, or,
// when the failure came after its commit, exactly the rows of a clean run. The next key
// handed out must lie above every number in the rows and within what the counter has
// recorded, so no number is handed out twice.
// Everything the operations write; the key counter is checked on its own.
constexpr const char* kTables[] = {"PROFILE",     "FOLDER",   "VERSIONS",    "ACTIVITYLOG",
                                   "FOLDER_ITEM", "SECURITY", "ROOT_OBJECT", "STANDIN_EVENTS"};

using Snapshot = std::map<std::string, std::vector<std::string>>;

using testing::ReadFileRows;

std::string FileValue(const std::string& file, const std::string& sql) {
  return testing::FirstValue(ReadFileRows(file, sql));
}

Snapshot Read(const std::string& file) {
  Snapshot snapshot;
  for (const char* table : kTables) {
    std::vector<std::string>& lines = snapshot[table];
    for (const auto& row : ReadFileRows(file, std::string("SELECT * FROM ") + table)) {
      std::string line;
      for (const std::string& v : row) line += v + "|";
      lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
  }
  return snapshot;
}

long long Counter(const std::string& file) {
  return std::stoll(
      FileValue(file, std::string("SELECT LAST_KEY FROM STANDIN_KEYS WHERE KEY_NAME = '") +
                          schema::kSystemKey + "'"));
}

// The highest number of the key counter that the library's rows use.
long long HighestNumberInUse(const std::string& file) {
  return std::stoll(FileValue(
      file,
      "SELECT MAX(N) FROM (SELECT MAX(DOCNUMBER) AS N FROM PROFILE UNION ALL SELECT "
      "MAX(SYSTEM_ID) FROM PROFILE UNION ALL SELECT MAX(VERSION_ID) FROM VERSIONS UNION ALL "
      "SELECT MAX(SYSTEM_ID) FROM FOLDER_ITEM)"));
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += "\n  " + l;
  return s;
}

// One client over one library file whose database fails on command.
struct Harness {
  std::unique_ptr<Client> client;
  std::unique_ptr<Session> session;
  std::unique_ptr<Application> app;
  // Set by the opener when the library is opened; the database is the server's.
  std::shared_ptr<sql::FaultInjectingDatabase*> slot =
      std::make_shared<sql::FaultInjectingDatabase*>(nullptr);
  std::unique_ptr<FolderObject> folder;
  std::unique_ptr<ProfileObject> profile;
  std::unique_ptr<SqlObject> sql;

  void Close() {
    sql.reset();
    profile.reset();
    folder.reset();
    app.reset();
    session.reset();
    client.reset();
    *slot = nullptr;
  }
  sql::FaultInjectingDatabase* fault() const { return *slot; }
};

struct Operation {
  const char* name;
  // Makes the objects the operation works on; nothing fails yet.
  std::function<void(Harness&)> prepare;
  // True when the operation reports success; else *why says what it reported.
  std::function<bool(Harness&, std::string* why)> run;
  // Its one write is a statement that commits on its own, as its last call.
  bool autocommit = false;
};

// Over a copy of LIB1 of the stand-in's two libraries.
class FaultInjectionTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    if (HasFatalFailure()) return;
    const Rows documents = Query("LIB1",
                                 "SELECT P.DOCNUMBER, P.SYSTEM_ID FROM PROFILE P, APPS A WHERE "
                                 "A.SYSTEM_ID = P.APPLICATION AND A.APPLICATION <> 'FOLDER' "
                                 "ORDER BY P.DOCNUMBER");
    ASSERT_GE(documents.size(), 2u);
    first_document_ = std::stoll(documents[0][0]);
    secured_document_ = std::stoll(documents[1][0]);

    // A folder that already holds an item (so a new link updates the chain's tail) and
    // has trustees, one of which the secured document already has.
    folder_ = MakeFolder("Fault parent");
    const AddItemResult added = session->OpenFolder(folder_, "")->AddItem("", first_document_);
    ASSERT_TRUE(added.status.ok()) << added.status.text;
    Exec("LIB1", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (" +
                     SystemId(folder_) + ", 0, 63), (" + SystemId(folder_) + ", 1, 255), (" +
                     documents[1][1] + ", 0, 63)");
    Exec("LIB1", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = " + documents[1][0]);
    // Every connection closed: the file is copied as it stands.
    session.reset();
    app.reset();
    client.reset();
  }

  // A client over `file` whose database is a FaultInjectingDatabase, disarmed.
  Harness Open(const std::string& file) {
    LibraryConfig lib;
    lib.name = "LIB1";
    lib.database_path = file;
    Harness run;
    run.client =
        OpenInstallation(OneLibrary(lib), &clock,
                         testing::FaultInjectingOpener(
                             [slot = run.slot](const std::string&,
                                               sql::FaultInjectingDatabase& db) { *slot = &db; }));
    run.session = run.client->CreateSession();
    run.app = run.client->CreateApplication();
    // Opens the library now, so that counting starts with the operation.
    EXPECT_TRUE(run.session->LogOn());
    return run;
  }

  std::string FreshCopy(const std::string& name) {
    const std::string file = dir.File(name + ".db");
    std::filesystem::remove(file);
    std::filesystem::copy_file(File("LIB1"), file);
    return file;
  }

  // Takes a number from the key counter through a SQL object of the same client, as the
  // engine's next statement would after a failed operation.
  static long long ProbeKey(Harness& run, std::string* why) {
    std::unique_ptr<SqlObject> sql = AttachedSql(*run.client, *run.app, "LIB1");
    const long long key = sql->AllocateKey(schema::kSystemKey);
    if (key == 0) *why = sql->ErrDescription();
    return key;
  }

  void Check(const Operation& op) {
    SCOPED_TRACE(op.name);
    // A clean run: how many calls the operation makes, which of them commits, what it writes.
    const std::string clean_file = FreshCopy("clean");
    Harness clean = Open(clean_file);
    ASSERT_NE(clean.fault(), nullptr);
    op.prepare(clean);
    const Snapshot before = Read(clean_file);
    const long long counter_before = Counter(clean_file);
    clean.fault()->Disarm();
    std::string why;
    ASSERT_TRUE(op.run(clean, &why)) << why;
    const long calls = clean.fault()->calls();
    const long commit = op.autocommit ? calls : clean.fault()->last_commit();
    const std::vector<std::string> clean_log = clean.fault()->call_log();
    clean.Close();
    const Snapshot after = Read(clean_file);
    const long long counter_after = Counter(clean_file);
    ASSERT_TRUE(before != after || counter_before != counter_after)
        << "the operation wrote nothing";
    ASSERT_GT(commit, 0) << "no commit among:" << Joined(clean_log);

    for (bool persistent : {false, true}) {
      for (long n = 1; n <= calls; ++n) {
        SCOPED_TRACE((persistent ? "failing every call from " : "failing call ") +
                     std::to_string(n) + " of " + std::to_string(calls));
        const std::string file = FreshCopy("run");
        Harness run = Open(file);
        op.prepare(run);
        run.fault()->FailCall(n, persistent);
        bool ok = false;
        std::string reported;
        try {
          ok = op.run(run, &reported);
        } catch (const std::exception& e) {
          ADD_FAILURE() << "threw: " << e.what();
        } catch (...) {
          ADD_FAILURE() << "threw";
        }
        const std::vector<std::string> log = run.fault()->call_log();
        EXPECT_GE(run.fault()->failures(), 1) << "call " << n << " never came:" << Joined(log);
        // The calls run in the same order as in the clean run, so up to its commit a
        // failure must undo everything; after it the rows are written.
        const bool committed = n > commit;
        if (!committed) {
          EXPECT_FALSE(ok) << "reported success; calls:" << Joined(log);
          EXPECT_EQ(run.fault()->last_commit(), 0) << "committed; calls:" << Joined(log);
        }
        if (!ok) {
          EXPECT_FALSE(reported.empty()) << "a failure without a text";
        }

        run.fault()->Disarm();
        std::string probe_error;
        const long long key = ProbeKey(run, &probe_error);
        EXPECT_NE(key, 0) << "the next statement failed: " << probe_error << Joined(log);
        run.Close();

        EXPECT_EQ(Read(file), committed ? after : before)
            << (committed ? "the rows differ from a clean run" : "rows were written")
            << "; calls:" << Joined(log);
        EXPECT_GT(key, std::max(counter_before, HighestNumberInUse(file)))
            << "the key counter handed out a number already used";
        EXPECT_GE(Counter(file), key) << "the counter does not cover the probe's key";
      }
    }
  }

  long long folder_ = 0;
  long long first_document_ = 0;
  long long secured_document_ = 0;
};

// Saves the folder the operation made.
bool SaveNewFolder(Harness& r, std::string* why) {
  const SaveResult s = r.folder->Save("", 3);
  *why = s.status.text;
  return s.status.ok() && s.document_number > 0;
}

TEST_F(FaultInjectionTest, FolderSavesLinksPublicMarksProfileSavesAndKeys) {
  const Operation kOperations[] = {
      {"a new folder",
       [](Harness& r) {
         r.folder = r.session->NewFolder();
         r.folder->SetName("Fault folder");
         r.folder->SetDescription("Made while the database fails");
       },
       SaveNewFolder},
      {"a new folder marked public before its first save",
       [](Harness& r) {
         r.folder = r.session->NewFolder();
         r.folder->SetName("Fault root");
         EXPECT_TRUE(r.folder->MarkPublic().ok());
       },
       SaveNewFolder},
      {"adding a secured document to a folder with an item",
       [this](Harness& r) { r.folder = r.session->OpenFolder(folder_, ""); },
       [this](Harness& r, std::string* why) {
         const AddItemResult a = r.folder->AddItem("", secured_document_);
         *why = a.status.text;
         return a.status.ok() && a.trustees == 1;
       }},
      {"marking a saved folder public",
       [this](Harness& r) { r.folder = r.session->OpenFolder(folder_, ""); },
       [](Harness& r, std::string* why) {
         const Status s = r.folder->MarkPublic();
         *why = s.text;
         return s.ok();
       }},
      {"saving a document's profile",
       [this](Harness& r) {
         r.profile = r.session->OpenProfile(first_document_, "");
         ASSERT_NE(r.profile, nullptr);
         ASSERT_TRUE(r.profile->SetValue("DOCNAME", "Renamed under fault").ok());
         ASSERT_TRUE(r.profile->SetValue("AUTHOR_ID", "DMADMIN").ok());
       },
       [](Harness& r, std::string* why) {
         const SaveResult s = r.profile->Save();
         *why = s.status.text;
         return s.status.ok();
       },
       /*autocommit=*/true},
      {"allocating a key", [](Harness& r) { r.sql = AttachedSql(*r.client, *r.app, "LIB1"); },
       [](Harness& r, std::string* why) {
         const long long key = r.sql->AllocateKey(schema::kSystemKey);
         *why = r.sql->ErrDescription();
         return key > 0 && r.sql->GetSQLErrorCode() == 0;
       },
       /*autocommit=*/true},
  };
  for (const Operation& op : kOperations) Check(op);
}

}  // namespace
}  // namespace sproutsmith::dmapi
