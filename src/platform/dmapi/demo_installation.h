#pragma once
// The demo installation a new user gets when no DM client configuration exists: two SQLite
// libraries with generated clients, matters, people, documents and rules, and the
// configuration file that lists them.
//
//   DEMO     engine code 10 (Microsoft SQL Server flavour)
//   ARCHIVE  engine code 2  (Oracle flavour, so both dialects run end to end)

#include <string>
#include <vector>

#include "platform/os/status.h"
#include "platform/schema/test_data.h"

namespace sproutsmith::dmapi {

struct DemoOptions {
  std::string config_name = "dm.conf";  // file name of the configuration in the folder
  // "sqlite": library files in the folder. "postgresql": one new database per library on
  // the server `server_connection` reaches (a libpq connection string without dbname),
  // named database_prefix + "_demo" and + "_archive".
  std::string backend = "sqlite";
  std::string server_connection;
  std::string database_prefix = "sproutsmith";
  schema::GeneratorOptions data;  // data of DEMO; ARCHIVE gets a smaller share
};

struct DemoInstallation {
  std::string config_path;
  std::vector<std::string> library_paths;  // DEMO first: files, or connection strings
};

// Creates `folder` when needed and writes the libraries and the configuration into it.
// Refuses to overwrite any existing file or database; on failure removes the files it
// wrote (a PostgreSQL database it made stays, and is named in the error).
Status CreateDemoInstallation(const std::string& folder, const DemoOptions& options,
                              DemoInstallation* result);

}  // namespace sproutsmith::dmapi
