#pragma once
// A real DM installation in a temporary folder: libraries provisioned with the DM schema
// (and, on request, generated clients, matters, documents and rules) as SQLite files or as
// databases of the test process's PostgreSQL server, the client configuration naming them,
// and the engine's runtime (fixed clock, scripted Ui, settings store, log) around a
// Context. Tests read the libraries back with plain SQL.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "log/context.h"
#include "platform/dmapi/installation.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/rule_rows.h"
#include "platform/schema/test_data.h"
#include "platform/sql/sqlite_database.h"
#include "support/scripted_ui.h"
#include "support/sql_rows.h"
#include "support/temp_dir.h"

namespace sproutsmith::testing {

struct LibrarySpec {
  std::string name;
  int engine_code = 10;        // reported by the client for the library
  int stored_engine_code = 0;  // REMOTE_LIBRARIES.DATABASE_ENGINE (0: same as engine_code)
  std::string owner = "DOCSADM";
  bool generate = true;  // clients, matters, documents, people, rules
  bool with_rules = true;
  bool with_quil_tables = true;
  bool with_optional_tables = true;  // NEEDS_SECURING, SEC_REASON, LOOKUP_SECURITY, ...
};

class DmInstallation {
 public:
  explicit DmInstallation(text::DateTime now = {2020, 11, 14, 9, 30, 15, 0},
                          sql::Backend backend = sql::Backend::kSqlite);

  // Provisions the libraries (every library lists the others in REMOTE_LIBRARIES) and writes
  // the client configuration. The first library is the client's current one.
  void Create(const std::vector<LibrarySpec>& libraries, const std::string& user = "DMADMIN");
  // The client over the configuration (a new one each call, as at a new process start);
  // `opener` replaces how the client opens each library's database (fault injection).
  std::unique_ptr<dmapi::Client> OpenClient(dmapi::DatabaseOpener opener = {});

  // The library's database, opened anew, bypassing every layer of the system.
  std::unique_ptr<sql::Database> OpenLibrary(const std::string& library);
  // Plain SQL on a library's database, bypassing every layer of the system.
  Rows Query(const std::string& library, const std::string& sql);
  std::string Scalar(const std::string& library, const std::string& sql);
  void Exec(const std::string& library, const std::string& sql);
  std::string LibraryFile(const std::string& library) const;  // SQLite only
  // The client configuration as a file (dm.conf in the folder), for a program to read: its path.
  std::string WriteConfig() const;
  // A rule with every value of the standard one, changed by `change`, written behind the
  // system's back.
  void AddRule(const std::string& library, const std::string& name,
               const std::function<void(schema::RuleDefinition&)>& change,
               const std::string& folder_template = "%CLIENTS% %\\% %MATTER.CLIENT_ID.CLIENT_ID%");
  // A running-node row as a computer writes it: `value` "COMPUTER:RULE", `since` its time;
  // nullopt writes NULL, as a broken row has it.
  void AddRunningNode(const std::string& library, const std::optional<std::string>& value,
                      const std::optional<std::string>& since = "2020-11-14 09:00:00");
  // The running-node rows of `library` (`columns` of each) by CHAR_VAL.
  Rows RunningNodes(const std::string& library, const std::string& columns = "CHAR_VAL");

  // The day's log lines ("" lines kept), every line logged so far.
  std::vector<std::string> LogLines() const;
  // Lines of the log containing `fragment`.
  int CountLogLines(const std::string& fragment) const;
  // Index of the first line containing `fragment` (-1 when none).
  int LogLineOf(const std::string& fragment) const;
  // The whole log, for failure messages.
  std::string LogText() const;
  // A mark in the log: the number of lines so far. The readers below see the lines after it.
  size_t LogMark() const { return LogLines().size(); }
  std::vector<std::string> LogLinesSince(size_t mark) const;
  int CountLogLinesSince(size_t mark, const std::string& fragment) const;

  sql::Backend backend;
  TempDir dir;
  os::FixedClock clock;
  os::SettingsStore settings;
  ScriptedUi ui;
  runtime::RunState state;
  runtime::Options options;
  runtime::Identity identity;
  mutable log::Log log;  // readers of the file flush it first, even const ones
  Context context;
  dmapi::InstallationConfig config;
};

}  // namespace sproutsmith::testing
