#pragma once
// Two real library files in a temporary folder (LIB1 engine code 10, LIB2 engine code 2,
// each listing the other), a small generated data set, and a client over them with a fixed
// clock. Checks read the files back with plain SQL on a connection of their own.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/dmapi/dm_tool.h"
#include "platform/dmapi/installation.h"
#include "platform/os/clock.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/test_data.h"
#include "platform/sql/sqlite_database.h"
#include "support/sql_rows.h"
#include "support/status_assertions.h"
#include "support/temp_dir.h"

namespace sproutsmith::dmapi {

using Rows = std::vector<std::vector<std::string>>;

// A small generated data set: two clients of two matters, one document each, two document
// types, `people` people, no rules.
inline schema::GeneratorOptions SmallData(int people) {
  return {.clients = 2,
          .matters_per_client = 2,
          .document_types = 2,
          .people = people,
          .documents_per_matter = 1,
          .with_rules = false};
}

// A new library in `db` (on either back end) holding `data`.
inline void MakeLibrary(sql::Database& db, const schema::LibraryDefinition& def,
                        const schema::GeneratorOptions& data) {
  ASSERT_TRUE(testing::Ok(schema::ProvisionLibrary(db, def)));
  ASSERT_TRUE(testing::Ok(schema::GenerateTestData(db, data)));
}

// An installation of one library, used by DMADMIN.
inline InstallationConfig OneLibrary(const LibraryConfig& library) {
  InstallationConfig config;
  config.user_id = "DMADMIN";
  config.current_library = library.name;
  config.libraries.push_back(library);
  return config;
}

// A SQL object of `app`'s login, attached to `library`.
inline std::unique_ptr<SqlObject> AttachedSql(Client& client, Application& app,
                                              const std::string& library) {
  std::unique_ptr<SqlObject> sql = client.CreateSqlObject();
  sql->AttachToken(app.LoginToken());
  EXPECT_EQ(sql->AttachLibrary(library), 0) << library << ": " << sql->ErrDescription();
  return sql;
}

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config.user_id = "DMADMIN";
    config.current_library = "LIB1";
    for (const auto& [name, engine, other, other_engine] :
         {std::tuple("LIB1", 10, "LIB2", 2), std::tuple("LIB2", 2, "LIB1", 10)}) {
      schema::LibraryDefinition def;
      def.name = name;
      def.engine_code = engine;
      def.other_libraries = {{other, other_engine}};
      std::string error;
      std::unique_ptr<sql::SqliteDatabase> db = sql::SqliteDatabase::Open(File(name), true, &error);
      ASSERT_NE(db, nullptr) << error;
      MakeLibrary(*db, def, SmallData(5));
      LibraryConfig lib;
      lib.name = name;
      lib.description = std::string("Library ") + name;
      lib.database_path = File(name);
      lib.engine_code = engine;
      config.libraries.push_back(lib);
    }
    Reopen();
  }

  // A new client, as a new process would make (optionally as another user).
  void Reopen(const std::string& user = "") {
    if (!user.empty()) config.user_id = user;
    client = OpenInstallation(config, &clock);
    session = client->CreateSession();
    app = client->CreateApplication();
  }

  std::string File(const std::string& library) const { return dir.File(library + ".db"); }

  Rows Query(const std::string& library, const std::string& statement) {
    return testing::ReadFileRows(File(library), statement);
  }
  std::string Scalar(const std::string& library, const std::string& statement) {
    return testing::FirstValue(Query(library, statement), "<none>");
  }
  void Exec(const std::string& library, const std::string& statement) {
    std::unique_ptr<sql::SqliteDatabase> db = sql::SqliteDatabase::Open(File(library), false);
    const sql::ExecResult r = db->Execute(statement);
    ASSERT_TRUE(r.ok()) << statement << ": " << r.status.text;
  }
  std::string PeopleId(const std::string& user, const std::string& library = "LIB1") {
    return Scalar(library, "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = '" + user + "'");
  }
  // The last number the library's key counter handed out.
  std::string LastKey(const std::string& library) {
    return Scalar(library, "SELECT LAST_KEY FROM STANDIN_KEYS WHERE KEY_NAME = 'SYSTEMKEY'");
  }
  // A document's (or folder's) SYSTEM_ID, the THING of its trustee rows.
  std::string SystemId(long long document, const std::string& library = "LIB1") {
    return Scalar(library,
                  "SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = " + std::to_string(document));
  }
  // The generated document with the lowest number (a document, not a folder).
  long long FirstDocument() {
    return std::stoll(Scalar("LIB1",
                             "SELECT MIN(P.DOCNUMBER) FROM PROFILE P, APPS A WHERE "
                             "A.SYSTEM_ID = P.APPLICATION AND A.APPLICATION <> 'FOLDER'"));
  }
  std::unique_ptr<SqlObject> Attached(const std::string& library) {
    return AttachedSql(*client, *app, library);
  }
  // A user outside DOCS_SUPERVISORS, in DOCS_USERS.
  void AddPlainUser(const std::string& user, long long system_id) {
    Exec("LIB1", "INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME, PRIMARY_GROUP) VALUES (" +
                     std::to_string(system_id) + ", '" + user + "', 'Pat Plain', 0)");
  }

  // A saved folder in the current library.
  long long MakeFolder(const std::string& name) {
    std::unique_ptr<FolderObject> folder = session->NewFolder();
    EXPECT_NE(folder, nullptr);
    if (!folder) return 0;
    folder->SetName(name);
    const SaveResult saved = folder->Save("", 3);
    EXPECT_TRUE(saved.status.ok()) << saved.status.text;
    return saved.document_number;
  }

  testing::TempDir dir;
  os::FixedClock clock{{2026, 12, 6, 9, 30, 15, 0}};
  InstallationConfig config;
  std::unique_ptr<Client> client;
  std::unique_ptr<Session> session;
  std::unique_ptr<Application> app;
};

// One run of the sproutsmith-dm command line, in process.
struct ToolRun {
  int status = 0;
  std::string out;
  std::string err;
};

inline ToolRun RunTool(const std::vector<std::string>& args,
                       const os::Environment& env = os::FixedEnvironment()) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunDmTool(args, out, err, env);
  return {status, out.str(), err.str()};
}

// The sproutsmith-dm command line pointed at the test's installation.
class ToolLibraryTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    testing::WriteFile(dir.File("dm.conf"), FormatInstallationConfig(config, dir.path()));
    env_.variables[kConfigEnvironmentVariable] = dir.File("dm.conf");
  }
  ToolRun RunTool(const std::vector<std::string>& args) { return dmapi::RunTool(args, env_); }

 private:
  os::FixedEnvironment env_;
};

}  // namespace sproutsmith::dmapi
