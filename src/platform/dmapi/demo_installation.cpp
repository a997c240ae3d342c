#include "platform/dmapi/demo_installation.h"

#include <filesystem>

#include "platform/dmapi/installation.h"
#include "platform/os/file_system.h"
#include "platform/schema/fixed_rows.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/rule_rows.h"
#include "platform/schema/test_data.h"
#include "platform/sql/postgres_database.h"
#include "platform/sql/sqlite_database.h"
#include "text/text.h"

namespace sproutsmith::dmapi {

namespace fs = std::filesystem;

namespace {

struct DemoLibrary {
  const char* name;
  const char* file;
  const char* description;
  int engine_code;
};

constexpr DemoLibrary kLibraries[] = {
    {"DEMO", "demo.db", "Demo library", 10},
    {"ARCHIVE", "archive.db", "Archive library (Oracle flavour)", 2},
};

// Rules beyond the two standard ones, so that a first run shows what folder building can do:
// workspaces of a group's users, an e-mail address per client folder, folders identified by
// the first characters of their name (renamed when the client is), a top level that is not
// public, and a folder level that lives in the other library.
Status WriteDemoRules(sql::Database& db, const std::string& other_library) {
  using schema::RuleDefinition;
  RuleDefinition names =
      schema::StandardRule("CLIENT NAMES",
                           "%CLIENT NAMES% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %-% "
                           "%MATTER.CLIENT_ID.CLIENT_NAME%");
  names.SetText("RULE_PARSECHARACTERS", "5");
  names.SetText("RULE_EMAIL_TEMPLATE", "%CLIENT.CLIENT_ID%@clients.example.com");
  names.SetInteger("RULE_EMAIL_LEVEL", 2);
  names.SetInteger("RULE_CREATE_PUBLIC_FOLDERS", 0);
  names.SetText("RULE_FORM", schema::kFolderForm);

  RuleDefinition litigation =
      schema::StandardRule("LITIGATION",
                           "%LITIGATION MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% "
                           "%MATTER.CLIENT_ID.CLIENT_ID% %.% %MATTER.MATTER_ID%");
  litigation.SetInteger("RULE_WORKSPACE_AUTHOR", 3);
  litigation.SetText("RULE_WORKSPACE_GROUP", "LITIGATION");
  litigation.SetText("RULE_WORKSPACE_NAME", "%USER_ID% Litigation");
  litigation.SetText("RULE_SECURITY",
                     "GROUP:LITIGATION = 255; GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 0");
  litigation.SetInteger("RULE_PROFILE_INHERIT_SECURITY", 0);

  RuleDefinition mail = schema::StandardRule(
      "MAIL ROOM", "%MAIL ROOM% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %CORRESPONDENCE%");
  mail.SetText("RULE_EMAIL_NAME", "CORRESPONDENCE");
  mail.SetText("RULE_EMAIL_LIBRARY", other_library);

  for (const RuleDefinition* rule : {&names, &litigation, &mail}) {
    if (Status s = schema::WriteRule(db, *rule); !s.ok()) return s;
  }
  return Status::Ok();
}

// The library's new, empty database: a file, or a database on the PostgreSQL server.
std::unique_ptr<sql::Database> CreateDatabase(const LibraryConfig& lib, const DemoOptions& options,
                                              const std::string& database, std::string* error) {
  if (lib.backend == kPostgresBackend) {
    const Status created = sql::CreatePostgresDatabase(options.server_connection, database);
    if (!created.ok()) {
      *error = "database " + database + " cannot be created: " + created.text;
      return nullptr;
    }
    Status status;
    std::unique_ptr<sql::Database> db =
        sql::PostgresDatabase::Open(lib.connection, lib.owner, &status);
    if (!db) *error = status.text;
    return db;
  }
  std::string open_error;
  std::unique_ptr<sql::Database> db =
      sql::SqliteDatabase::Open(lib.database_path, true, &open_error);
  if (!db) *error = lib.database_path + ": cannot be created: " + open_error;
  return db;
}

Status BuildLibrary(const DemoLibrary& lib, sql::Database& db, const DemoLibrary& other,
                    const schema::GeneratorOptions& data, bool first) {
  schema::LibraryDefinition def;
  def.name = lib.name;
  def.description = lib.description;
  def.engine_code = lib.engine_code;
  def.other_libraries = {{other.name, other.engine_code}};
  if (Status s = schema::ProvisionLibrary(db, def); !s.ok()) return s;
  if (Status s = schema::GenerateTestData(db, data); !s.ok()) return s;
  if (data.with_rules && first) return WriteDemoRules(db, other.name);
  return Status::Ok();
}

}  // namespace

Status CreateDemoInstallation(const std::string& folder, const DemoOptions& options,
                              DemoInstallation* result) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder)) {
    return Status::Error(folder + ": the folder cannot be created");
  }
  const fs::path base = fs::absolute(folder).lexically_normal();
  DemoInstallation made;
  made.config_path = (base / options.config_name).string();
  const bool postgres = options.backend == kPostgresBackend;
  if (!postgres && options.backend != kSqliteBackend) {
    return Status::Error("unknown back end '" + options.backend + "'");
  }
  std::vector<std::string> files = {made.config_path};
  std::vector<std::string> databases;
  for (const DemoLibrary& lib : kLibraries) {
    if (postgres) {
      databases.push_back(options.database_prefix + "_" + text::LCase(lib.name));
      made.library_paths.push_back(options.server_connection + " dbname=" + databases.back());
    } else {
      made.library_paths.push_back((base / lib.file).string());
      files.push_back(made.library_paths.back());
    }
  }
  for (const std::string& file : files) {
    if (fs::exists(file, ec)) {
      return Status::Error(file + ": already exists; the demo installation is not written over it");
    }
  }

  InstallationConfig config;
  config.user_id = options.data.login_user;
  config.current_library = kLibraries[0].name;
  Status built;
  for (size_t i = 0; built.ok() && i < std::size(kLibraries); ++i) {
    const DemoLibrary& lib = kLibraries[i];
    schema::GeneratorOptions data = options.data;
    if (i > 0) {
      // The archive is a smaller library of its own, not a copy of the first.
      data.clients = std::max(1, data.clients / 4);
      data.seed = data.seed + static_cast<unsigned>(i);
    }
    LibraryConfig entry;
    entry.name = lib.name;
    entry.description = lib.description;
    entry.backend = options.backend;
    (postgres ? entry.connection : entry.database_path) = made.library_paths[i];
    entry.engine_code = lib.engine_code;
    std::string error;
    std::unique_ptr<sql::Database> db =
        CreateDatabase(entry, options, postgres ? databases[i] : "", &error);
    built = db ? BuildLibrary(lib, *db, kLibraries[1 - i], data, i == 0) : Status::Error(error);
    config.libraries.push_back(entry);
  }
  if (built.ok()) {
    built = os::SystemFiles().Replace(made.config_path, FormatInstallationConfig(config, base));
    if (!built.ok()) built.text = made.config_path + ": cannot be written: " + built.text;
  }
  if (!built.ok()) {
    for (const std::string& file : files) {
      for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file + suffix, ec);
    }
    return built;
  }
  if (result) *result = std::move(made);
  return Status::Ok();
}

}  // namespace sproutsmith::dmapi
