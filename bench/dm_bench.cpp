// Cost of creating folders through the DM server stand-in, as a ratio against raw SQL
// inserts of the same rows into an identical library, both measured in this run, and the
// statements the stand-in runs per operation.
//
//   dm_bench [FOLDERS]      (default 500)

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/dmapi/installation.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/test_data.h"
#include "platform/sql/sqlite_database.h"
#include "counting_database.h"

namespace {

namespace fs = std::filesystem;
using sproutsmith::sql::Value;
using Clock = std::chrono::steady_clock;

std::string MakeLibrary(const fs::path& dir, const std::string& name) {
  const std::string path = (dir / (name + ".db")).string();
  std::string error;
  auto db = sproutsmith::sql::SqliteDatabase::Open(path, true, &error);
  sproutsmith::schema::LibraryDefinition def;
  def.name = name;
  sproutsmith::schema::GeneratorOptions data;
  data.clients = 5;
  data.with_rules = false;
  if (db) {
    sproutsmith::Status made = sproutsmith::schema::ProvisionLibrary(*db, def);
    if (made.ok()) made = sproutsmith::schema::GenerateTestData(*db, data);
    error = made.text;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "dm_bench: %s\n", error.c_str());
    std::exit(1);
  }
  return path;
}

long long Scalar(sproutsmith::sql::Database& db, const std::string& sql,
                 const std::vector<Value>& params = {}) {
  const auto r = db.Execute(sql, params);
  return r.ok() && !r.result.rows.empty() ? r.result.rows[0][0].AsInteger() : 0;
}

long long Key(sproutsmith::sql::Database& db) {
  return Scalar(db,
                "UPDATE STANDIN_KEYS SET LAST_KEY = LAST_KEY + 1 WHERE KEY_NAME = 'SYSTEMKEY' "
                "RETURNING LAST_KEY");
}

void Check(const sproutsmith::sql::ExecResult& r) {
  if (!r.ok()) {
    std::fprintf(stderr, "dm_bench: %s\n", r.status.text.c_str());
    std::exit(1);
  }
}

// The rows the stand-in writes for one folder linked under a parent, written directly.
double RawInserts(const std::string& path, int folders) {
  auto db = sproutsmith::sql::SqliteDatabase::Open(path, false);
  const long long app = Scalar(*db, "SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'");
  const long long user = Scalar(*db, "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'DMADMIN'");
  const long long form = Scalar(*db, "SELECT SYSTEM_ID FROM FORMS WHERE FORM_NAME = 'FOLDER_PROF'");
  const long long type =
      Scalar(*db, "SELECT SYSTEM_ID FROM DOCUMENTTYPES WHERE TYPE_ID = 'FOLDER'");
  const Value now = Value::Text("2026-12-06 09:30:15");
  auto folder = [&](const std::string& name) {
    const long long number = Key(*db);
    const long long id = Key(*db);
    const long long version = Key(*db);
    Check(db->Execute(
        "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, ABSTRACT, APPLICATION, STATUS, "
        "DEFAULT_RIGHTS, AUTHOR, TYPIST, FORM, CREATION_DATE, LAST_EDIT_DATE, DOCUMENTTYPE) "
        "VALUES (?, ?, ?, ?, ?, 0, 0, ?, ?, ?, ?, ?, ?)",
        {Value::Integer(id), Value::Integer(number), Value::Text(name), Value::Text(name),
         Value::Integer(app), Value::Integer(user), Value::Integer(user), Value::Integer(form), now,
         now, Value::Integer(type)}));
    Check(db->Execute("INSERT INTO FOLDER (DOCNUMBER, PATH) VALUES (?, NULL)",
                      {Value::Integer(number)}));
    Check(
        db->Execute("INSERT INTO VERSIONS (VERSION_ID, DOCNUMBER, VERSION, SUBVERSION, "
                    "VERSION_LABEL, AUTHOR, TYPIST, CREATION_DATE) VALUES (?, ?, 1, '!', '1', "
                    "?, ?, ?)",
                    {Value::Integer(version), Value::Integer(number), Value::Integer(user),
                     Value::Integer(user), now}));
    for (int activity : {45, 46, 47}) {
      Check(db->Execute(
          "INSERT INTO ACTIVITYLOG (DOCNUMBER, ACTIVITY_TYPE, TYPIST, START_DATE) "
          "VALUES (?, ?, ?, ?)",
          {Value::Integer(number), Value::Integer(activity), Value::Integer(user), now}));
    }
    return number;
  };
  db->Begin();
  const long long parent = folder("Parent");
  db->Commit();
  long long tail = 0;
  const auto start = Clock::now();
  for (int i = 0; i < folders; ++i) {
    db->Begin();
    const long long number = folder("Folder " + std::to_string(i));
    db->Commit();
    db->Begin();
    const long long link = Key(*db);
    Check(
        db->Execute("INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, "
                    "LIBRARY, NODE_TYPE, DISPLAYNAME, NEXT, ISFIRST, VERSION_TYPE) VALUES (?, ?, "
                    "?, 0, 0, 'F', ?, 0, ?, 'R')",
                    {Value::Integer(link), Value::Integer(parent), Value::Integer(number),
                     Value::Text("Folder " + std::to_string(i)), Value::Text(tail ? "N" : "Y")}));
    if (tail) {
      Check(db->Execute("UPDATE FOLDER_ITEM SET NEXT = ? WHERE SYSTEM_ID = ?",
                        {Value::Integer(link), Value::Integer(tail)}));
    }
    tail = link;
    db->Commit();
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Statements per operation of the stand-in, averaged over the measured folders.
struct PerOperation {
  double create = 0;   // a new folder, its profile values set, saved
  double link = 0;     // opening the parent folder and adding the new one to it
  double refresh = 0;  // DOCSOPEN.RefreshAllViews
};

// The same folders through the DM objects, as the engine makes them.
double ThroughStandin(const std::string& path, int folders, PerOperation* per) {
  sproutsmith::dmapi::InstallationConfig config;
  config.user_id = "DMADMIN";
  config.current_library = "BENCH";
  sproutsmith::dmapi::LibraryConfig lib;
  lib.name = "BENCH";
  lib.database_path = path;
  config.libraries.push_back(lib);
  auto counts = std::make_shared<sproutsmith::bench::Counts>();
  auto client = sproutsmith::dmapi::OpenInstallation(config, nullptr, sproutsmith::bench::CountingOpener(counts));
  auto session = client->CreateSession();
  auto app = client->CreateApplication();
  long create = 0, link = 0, refresh = 0;
  auto make = [&](const std::string& name) {
    auto folder = session->NewFolder();
    folder->SetName(name);
    folder->SetDescription(name);
    auto profile = folder->Profile();
    profile->SetValue("AUTHOR_ID", "DMADMIN");
    profile->SetValue("TYPIST_ID", "DMADMIN");
    profile->SetValue("TYPE_ID", "FOLDER");
    const auto saved = profile->Save();
    if (!saved.status.ok()) {
      std::fprintf(stderr, "dm_bench: %s\n", saved.status.text.c_str());
      std::exit(1);
    }
    return saved.document_number;
  };
  const long long parent = make("Parent");
  const auto start = Clock::now();
  for (int i = 0; i < folders; ++i) {
    long before = counts->statements;
    const long long number = make("Folder " + std::to_string(i));
    create += counts->statements - before;
    before = counts->statements;
    const auto added = session->OpenFolder(parent, "BENCH")->AddItem("BENCH", number);
    if (!added.status.ok()) {
      std::fprintf(stderr, "dm_bench: %s\n", added.status.text.c_str());
      std::exit(1);
    }
    link += counts->statements - before;
    before = counts->statements;
    if (app->RunCommand(sproutsmith::dmapi::kRefreshAllViews) != 0) {
      std::fprintf(stderr, "dm_bench: the views were not refreshed\n");
      std::exit(1);
    }
    refresh += counts->statements - before;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  per->create = static_cast<double>(create) / folders;
  per->link = static_cast<double>(link) / folders;
  per->refresh = static_cast<double>(refresh) / folders;
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int folders = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
  const char* tmp = std::getenv("TMPDIR");
  const fs::path dir =
      fs::path(tmp ? tmp : "/tmp") / ("dm_bench_" + std::to_string(static_cast<long>(::getpid())));
  fs::create_directories(dir);
  const std::string raw_path = MakeLibrary(dir, "RAW");
  const std::string standin_path = MakeLibrary(dir, "BENCH");

  const double raw = RawInserts(raw_path, folders);
  PerOperation per;
  const double standin = ThroughStandin(standin_path, folders, &per);
  std::printf("folders created and linked: %d\n", folders);
  std::printf("raw SQL inserts:   %8.3f s  %9.1f folders/s\n", raw, folders / raw);
  std::printf("DM stand-in:       %8.3f s  %9.1f folders/s\n", standin, folders / standin);
  std::printf("ratio stand-in / raw: %.2f\n", standin / raw);
  std::printf("stand-in statements per folder: %.1f to create, %.1f to link, %.1f to refresh\n",
              per.create, per.link, per.refresh);
  fs::remove_all(dir);
  return 0;
}
