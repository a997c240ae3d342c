#include "platform/dm/demo_installation.h"

#include <filesystem>
#include <fstream>

#include "platform/dm/installation.h"
#include "platform/schema/library_schema.h"
#include "platform/sql/sqlite_database.h"

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

bool BuildLibrary(const DemoLibrary& lib, const std::string& path, const DemoLibrary& other,
                  const schema::GeneratorOptions& data, std::string* error) {
  std::string open_error;
  std::unique_ptr<sql::SqliteDatabase> db = sql::SqliteDatabase::Open(path, true, &open_error);
  if (!db) {
    *error = path + ": cannot be created: " + open_error;
    return false;
  }
  schema::LibraryDefinition def;
  def.name = lib.name;
  def.description = lib.description;
  def.engine_code = lib.engine_code;
  def.other_libraries = {{other.name, other.engine_code}};
  if (!schema::ProvisionLibrary(*db, def, error)) return false;
  return schema::GenerateTestData(*db, data, error);
}

bool WriteAtomically(const std::string& path, const std::string& content, std::string* error) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
    out.flush();
    if (!out) {
      *error = temporary + ": cannot be written";
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    *error = path + ": cannot be written";
    return false;
  }
  return true;
}

}  // namespace

bool CreateDemoInstallation(const std::string& folder, const DemoOptions& options,
                            DemoInstallation* result, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder)) {
    *error = folder + ": the folder cannot be created";
    return false;
  }
  const fs::path base = fs::absolute(folder).lexically_normal();
  DemoInstallation made;
  made.config_path = (base / options.config_name).string();
  std::vector<std::string> files = {made.config_path};
  for (const DemoLibrary& lib : kLibraries) {
    made.library_paths.push_back((base / lib.file).string());
    files.push_back(made.library_paths.back());
  }
  for (const std::string& file : files) {
    if (fs::exists(file, ec)) {
      *error = file + ": already exists; the demo installation is not written over it";
      return false;
    }
  }

  InstallationConfig config;
  config.user_id = options.data.login_user;
  config.current_library = kLibraries[0].name;
  bool ok = true;
  for (size_t i = 0; ok && i < std::size(kLibraries); ++i) {
    const DemoLibrary& lib = kLibraries[i];
    schema::GeneratorOptions data = options.data;
    if (i > 0) {
      // The archive is a smaller library of its own, not a copy of the first.
      data.clients = std::max(1, data.clients / 4);
      data.seed = data.seed + static_cast<unsigned>(i);
    }
    ok = BuildLibrary(lib, made.library_paths[i], kLibraries[1 - i], data, error);
    LibraryConfig entry;
    entry.name = lib.name;
    entry.description = lib.description;
    entry.database_path = made.library_paths[i];
    entry.engine_code = lib.engine_code;
    config.libraries.push_back(entry);
  }
  if (ok) ok = WriteAtomically(made.config_path, FormatInstallationConfig(config, base), error);
  if (!ok) {
    for (const std::string& file : files) {
      for (const char* suffix : {"", "-wal", "-shm", ".tmp"}) fs::remove(file + suffix, ec);
    }
    return false;
  }
  if (result) *result = std::move(made);
  return true;
}

}  // namespace sproutsmith::dmapi
