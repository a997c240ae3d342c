// Every DM operation that writes several rows is all or nothing: each one is rerun on a
// fresh copy of one library, failing its 1st, 2nd, ... call of the database (once, and from
// that call on), and must then report failure and leave exactly the rows it found, or,
// when the failure came after its commit, exactly the rows of a clean run. The next key
// handed out must lie above every number in the rows and within what the counter has
// recorded, so no number is handed out twice.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/sql/fault_injecting_database.h"
#include "standin_fixture.h"
#include "support/fault_opener.h"

namespace sproutsmith::dmapi {
namespace {

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
