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
  schema::GeneratorOptions data;        // data of DEMO; ARCHIVE gets a smaller share
};

struct DemoInstallation {
  std::string config_path;
  std::vector<std::string> library_paths;  // DEMO first
};

// Creates `folder` when needed and writes the libraries and the configuration into it.
// Refuses to overwrite any existing file; on failure removes what it wrote.
Status CreateDemoInstallation(const std::string& folder, const DemoOptions& options,
                              DemoInstallation* result);

}  // namespace sproutsmith::dmapi
