#include "platform/dmapi/library_probe.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/dmapi/local/library_queries.h"
#include "platform/schema/library_schema.h"

namespace sproutsmith::dmapi {

std::unique_ptr<sql::Database> OpenLibraryForUser(const InstallationConfig& config,
                                                  const LibraryConfig& library,
                                                  std::string* reason) {
  auto fail = [&](const std::string& why) {
    if (reason != nullptr) *reason = why;
    return nullptr;
  };
  if (library.backend != kPostgresBackend) {
    std::error_code ec;
    // SQLite would open a file it may only read and fail at the first write of a cycle.
    if (std::filesystem::exists(library.database_path, ec) &&
        ::access(library.database_path.c_str(), R_OK | W_OK) != 0) {
      return fail("database file " + library.database_path + ": " + std::strerror(errno));
    }
  }
  std::string error;
  std::unique_ptr<sql::Database> db = OpenLibraryDatabase(library, &error);
  if (!db) return fail(error);
  if (!schema::IsDmLibrary(*db))
    return fail(LibraryLocation(library) + " does not hold a DM library");
  if (!local::FindUser(*db, config.user_id)) {
    return fail("user " + config.user_id + " is not one of the PEOPLE of library " + library.name);
  }
  return db;
}

DatabaseOpener ReadOnlyOpener() {
  return [](const LibraryConfig& library, std::string* error) -> std::unique_ptr<sql::Database> {
    std::unique_ptr<sql::Database> db = OpenLibraryDatabase(library, error);
    if (!db) return nullptr;
    const sql::ExecResult r = db->Execute(db->backend() == sql::Backend::kPostgres
                                              ? "SET SESSION CHARACTERISTICS AS TRANSACTION "
                                                "READ ONLY"
                                              : "PRAGMA query_only = ON");
    if (!r.ok()) {
      if (error != nullptr) *error = LibraryLocation(library) + ": " + r.status.text;
      return nullptr;
    }
    return db;
  };
}

}  // namespace sproutsmith::dmapi
