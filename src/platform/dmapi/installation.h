#pragma once
// The DM client's installation: which libraries the logged-on user reaches and where their
// databases live. It is one INI-like text file:
//
//   # comment (also ";")
//   [client]
//   user = DMADMIN              logged-on DM user id (a PEOPLE.USER_ID of every library)
//   current_library = DEMO      library the client starts in (must be defined below)
//
//   [library DEMO]              one section per library; names are stored upper case
//   description = Demo library
//   backend = sqlite            sqlite (the default) or postgresql
//   database = demo.db          sqlite: the file; relative paths are relative to this file's
//                               folder
//   connection = host=/run/postgresql dbname=demo user=dm
//                               postgresql: the libpq connection string of the library's
//                               own database (its tables are in the owner's schema)
//   owner = DOCSADM             table owner the engine writes as [OWNER]
//   engine = 10                 engine code reported: 2/5 Oracle, 6 Sybase,
//                               0 cannot tell (the engine reads REMOTE_LIBRARIES)
//   busy_wait = 5               seconds a statement waits while another program holds a
//                               write lock on the library (default 5, 0 = fail at once);
//                               a rule whose statement gave up stops until the next cycle
//   page_cache = 256            sqlite: megabytes of the library kept in memory per
//                               connection (default 256, used only as pages are read)
//
// Keys are case-insensitive; values are trimmed. Every problem is reported as
// "file:line: message" (or "file: message" when it concerns the whole file).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dmapi/session.h"
#include "platform/os/clock.h"
#include "platform/os/environment.h"
#include "platform/os/status.h"
#include "platform/sql/database.h"

namespace sproutsmith::dmapi {

inline constexpr char kConfigEnvironmentVariable[] = "SPROUTSMITH_DM";
inline constexpr char kSqliteBackend[] = "sqlite";
inline constexpr char kPostgresBackend[] = "postgresql";

struct LibraryConfig {
  std::string name;  // upper case
  std::string description;
  std::string backend = "sqlite";  // or kPostgresBackend
  std::string database_path;       // sqlite: absolute after loading
  std::string connection;          // postgresql: libpq connection string
  std::string owner = "DOCSADM";
  int engine_code = 10;
  int busy_wait_seconds = 5;  // see sql::BusyWait
  int page_cache_mb = 256;    // sqlite; lookups in a large library stay off the disk
};

struct InstallationConfig {
  std::string path;  // the file it came from ("" when built in code)
  std::string user_id;
  std::string current_library;
  std::vector<LibraryConfig> libraries;

  // Index into libraries, case-insensitive; -1 when absent.
  int Find(const std::string& library_name) const;
};

// Parses the text of a configuration file; `path` names it in messages and anchors
// relative database paths. Fails with the first problem.
Status ParseInstallationConfig(const std::string& text, const std::string& path,
                               InstallationConfig* config);
Status LoadInstallationConfig(const std::string& path, InstallationConfig* config);
// The text of a configuration file that ParseInstallationConfig reads back as `config`
// (database paths relative to `folder` where they lie inside it).
std::string FormatInstallationConfig(const InstallationConfig& config, const std::string& folder);

// The installation a packaged service uses when neither of the others is set.
inline constexpr char kSystemConfigPath[] = "/etc/sproutsmith/dm.conf";

// $SPROUTSMITH_DM; else $XDG_CONFIG_HOME/sproutsmith/dm.conf (default ~/.config) when it
// exists or /etc/sproutsmith/dm.conf does not; else /etc/sproutsmith/dm.conf.
std::string DefaultConfigPath(const os::Environment& env);

// Opens the database of one library for the stand-in: null with *error when it cannot.
// The stand-in then checks that it holds a DM library. Tests wrap the result (to fail
// chosen calls); another back end plugs in here.
using DatabaseOpener =
    std::function<std::unique_ptr<sql::Database>(const LibraryConfig&, std::string* error)>;

// The default opener: the library's SQLite file, which must already exist, or its
// PostgreSQL database, waiting busy_wait_seconds for a library another program holds a
// write lock on (and not at all once a stop signal has come).
std::unique_ptr<sql::Database> OpenLibraryDatabase(const LibraryConfig& library,
                                                   std::string* error);
// How messages name where a library lives: "database file PATH" or "database CONNECTION".
std::string LibraryLocation(const LibraryConfig& library);

// The client over an installation. The clock (dates written into new rows) must outlive
// the client; null means the system clock. Returns null and sets *error when the file is
// missing or malformed. Libraries are opened on first use, so one unreachable library does
// not stop the others. An empty opener means OpenLibraryDatabase.
std::unique_ptr<Client> OpenInstallation(const std::string& config_path, std::string* error,
                                         const os::Clock* clock = nullptr,
                                         DatabaseOpener opener = {});
std::unique_ptr<Client> OpenInstallation(InstallationConfig config,
                                         const os::Clock* clock = nullptr,
                                         DatabaseOpener opener = {});

}  // namespace sproutsmith::dmapi
