#include "support/dm_installation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/postgres_server.h"
#include "support/status_assertions.h"
#include "text/text.h"

namespace sproutsmith::testing {

DmInstallation::DmInstallation(text::DateTime now, sql::Backend backend_in)
    : backend(backend_in),
      clock(now),
      settings(dir.File("settings")),
      identity(runtime::Identity::ForVersion(2020, 11, 14)),
      log(clock, state, options, ui),
      context{clock, settings, ui, state, options, identity, log} {
  state.LogFile = dir.File("Sproutsmith.LOG");
  state.TempDir = dir.path().string();
}

std::string DmInstallation::LibraryFile(const std::string& library) const {
  return dir.File(text::LCase(library) + ".db");
}

void DmInstallation::Create(const std::vector<LibrarySpec>& libraries, const std::string& user) {
  config.path = dir.File("dm.conf");
  config.user_id = user;
  config.current_library = libraries.empty() ? "" : libraries.front().name;
  for (const auto& spec : libraries) {
    std::string error;
    dmapi::LibraryConfig lib{.name = spec.name,
                             .description = spec.name + " library",
                             .owner = spec.owner,
                             .engine_code = spec.engine_code};
    std::unique_ptr<sql::Database> db;
    if (backend == sql::Backend::kPostgres) {
      lib.backend = dmapi::kPostgresBackend;
      lib.connection = NewPostgresDatabase(spec.name);
      ASSERT_FALSE(lib.connection.empty());
      db = dmapi::OpenLibraryDatabase(lib, &error);
    } else {
      lib.database_path = LibraryFile(spec.name);
      db = sql::SqliteDatabase::Open(lib.database_path, true, &error);
    }
    ASSERT_TRUE(db) << error;
    schema::LibraryDefinition def{
        .name = spec.name,
        .description = lib.description,
        .owner = spec.owner,
        .engine_code = spec.stored_engine_code ? spec.stored_engine_code : spec.engine_code,
        .with_quil_tables = spec.with_quil_tables,
        .with_optional_tables = spec.with_optional_tables};
    for (const auto& other : libraries) {
      if (other.name != spec.name) {
        def.other_libraries.push_back({other.name, other.engine_code, other.owner});
      }
    }
    ASSERT_TRUE(testing::Ok(schema::ProvisionLibrary(*db, def)));
    if (spec.generate) {
      ASSERT_TRUE(testing::Ok(
          schema::GenerateTestData(*db, {.clients = 4,
                                         .matters_per_client = 2,
                                         .document_types = 3,
                                         .people = 4,
                                         .documents_per_matter = 2,
                                         .login_user = user,
                                         .with_rules = spec.with_rules && spec.with_quil_tables})));
    }
    config.libraries.push_back(lib);
  }
}

std::unique_ptr<dmapi::Client> DmInstallation::OpenClient(dmapi::DatabaseOpener opener) {
  return dmapi::OpenInstallation(config, &clock, std::move(opener));
}

std::string DmInstallation::WriteConfig() const {
  const std::string path = dir.File("dm.conf");
  WriteFile(path, dmapi::FormatInstallationConfig(config, dir.path().string()));
  return path;
}

void DmInstallation::AddRule(const std::string& library, const std::string& name,
                             const std::function<void(schema::RuleDefinition&)>& change,
                             const std::string& folder_template) {
  schema::RuleDefinition rule = schema::StandardRule(name, folder_template);
  change(rule);
  std::unique_ptr<sql::Database> db = OpenLibrary(library);
  ASSERT_TRUE(db);
  ASSERT_TRUE(testing::Ok(schema::WriteRule(*db, rule)));
}

std::unique_ptr<sql::Database> DmInstallation::OpenLibrary(const std::string& library) {
  const int index = config.Find(library);
  EXPECT_GE(index, 0) << library << " is not a library of the installation";
  if (index < 0) return nullptr;
  std::string error;
  std::unique_ptr<sql::Database> db = dmapi::OpenLibraryDatabase(config.libraries[index], &error);
  EXPECT_NE(db, nullptr) << error;
  return db;
}

Rows DmInstallation::Query(const std::string& library, const std::string& sql_text) {
  std::unique_ptr<sql::Database> db = OpenLibrary(library);
  return db ? ReadRows(*db, sql_text) : Rows{};
}

std::string DmInstallation::Scalar(const std::string& library, const std::string& sql_text) {
  return FirstValue(Query(library, sql_text));
}

void DmInstallation::Exec(const std::string& library, const std::string& sql_text) {
  Query(library, sql_text);
}

void DmInstallation::AddRunningNode(const std::string& library,
                                    const std::optional<std::string>& value,
                                    const std::optional<std::string>& since) {
  auto literal = [](const std::optional<std::string>& text) {
    return text ? "'" + QuotesDoubled(*text) + "'" : std::string("NULL");
  };
  Exec(library,
       "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) VALUES "
       "('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', " +
           literal(value) + ", " + literal(since) + ")");
}

Rows DmInstallation::RunningNodes(const std::string& library, const std::string& columns) {
  return Query(library,
               "SELECT " + columns +
                   " FROM QUIL_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES' ORDER BY CHAR_VAL");
}

std::vector<std::string> DmInstallation::LogLines() const {
  log.Flush();
  return ReadLines(log::Log::DatedName(state.LogFile, clock.Now()));
}

int DmInstallation::CountLogLines(const std::string& fragment) const {
  return CountLogLinesSince(0, fragment);
}

int DmInstallation::LogLineOf(const std::string& fragment) const {
  const std::vector<std::string> lines = LogLines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find(fragment) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

std::string DmInstallation::LogText() const {
  std::string s;
  for (const auto& l : LogLines()) s += l + "\n";
  return s;
}

std::vector<std::string> DmInstallation::LogLinesSince(size_t mark) const {
  std::vector<std::string> lines = LogLines();
  lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(mark, lines.size())));
  return lines;
}

int DmInstallation::CountLogLinesSince(size_t mark, const std::string& fragment) const {
  return CountHolding(LogLinesSince(mark), fragment);
}

}  // namespace sproutsmith::testing
