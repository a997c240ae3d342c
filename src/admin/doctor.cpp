#include "admin/doctor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "admin/general_options.h"
#include "app/saved_options.h"
#include "platform/dmapi/installation.h"
#include "platform/dmapi/library_probe.h"
#include "platform/schema/library_schema.h"
#include "text/text.h"

namespace sproutsmith::admin {

namespace {

namespace fs = std::filesystem;

DoctorCheck Ok(std::string what) { return {true, std::move(what), ""}; }
DoctorCheck Failed(std::string what, std::string fix) {
  return {false, std::move(what), std::move(fix)};
}

std::string Joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

// Every table of the library, upper case; nothing when the list cannot be read.
std::set<std::string> TableNames(sql::Database& db) {
  std::set<std::string> names;
  const sql::ExecResult r = db.Execute(schema::TableListSql(db.backend()));
  if (!r.ok()) return names;
  for (const std::vector<sql::Value>& row : r.result.rows) {
    if (!row.empty()) names.insert(text::UCase(row[0].text));
  }
  return names;
}

void CheckLibrary(const dmapi::InstallationConfig& config, const dmapi::LibraryConfig& library,
                  std::vector<DoctorCheck>& checks) {
  const std::string what = "library " + library.name + " opens as user " + config.user_id;
  std::string reason;
  std::unique_ptr<sql::Database> db = dmapi::OpenLibraryForUser(config, library, &reason);
  if (!db) {
    checks.push_back(Failed(what, reason + "; correct the library's entry in " + config.path +
                                      " or the database it names"));
    return;
  }
  checks.push_back(Ok(what));

  const std::set<std::string> tables = TableNames(*db);
  std::vector<std::string> missing;
  for (const char* table : {"QUIL_SETTINGS", "QUIL_SPROUTSMITH", "NEEDS_FOLDERING"}) {
    if (tables.count(table) == 0) missing.push_back(table);
  }
  const std::string rule_tables = "library " + library.name +
                                  " has the rule tables QUIL_SETTINGS, QUIL_SPROUTSMITH and "
                                  "NEEDS_FOLDERING";
  if (!missing.empty()) {
    checks.push_back(Failed(rule_tables, "missing " + Joined(missing) +
                                             "; a cycle skips the library until they exist"));
    return;
  }
  checks.push_back(Ok(rule_tables));

  const sql::ExecResult rules = db->Execute(
      "SELECT COUNT(DISTINCT UPPER(TRIM(SUB_KEY))) FROM QUIL_SETTINGS WHERE MASTER_KEY = "
      "'ARBORLINE' AND SECTION_KEY = 'RULE_TEMPLATE'");
  const long long count =
      rules.ok() && !rules.result.rows.empty() ? rules.result.rows[0][0].AsInteger() : 0;
  const std::string has_rules = "library " + library.name + " has at least one rule";
  if (count == 0) {
    checks.push_back(Failed(has_rules,
                            "QUIL_SETTINGS holds no RULE_TEMPLATE row; add the "
                            "library's rules before scheduling the program"));
  } else {
    checks.push_back(Ok(has_rules + " (" + std::to_string(count) + ")"));
  }
}

DoctorCheck CheckLogFolder(const std::string& log_file) {
  std::string folder = fs::path(log_file).parent_path().string();
  if (folder.empty()) folder = ".";
  const std::string what = "log folder " + folder + " is writable";
  const std::string fix =
      "; make it writable, or set LogFile to a file in a writable folder (sproutsmith-admin "
      "option LogFile PATH)";
  const std::string probe =
      folder + "/.sproutsmith-doctor-" + std::to_string(static_cast<long>(::getpid()));
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0)
    return Failed(what,
                  std::string("a file cannot be created there: ") + std::strerror(errno) + fix);
  ::close(fd);
  ::unlink(probe.c_str());
  return Ok(what);
}

// What is wrong with a stored value of the option ("" when nothing).
std::string ValueProblem(const GeneralOption& option, const std::string& value) {
  const std::string v = text::Trim(value);
  switch (option.kind) {
    case OptionKind::kBoolean:
      return text::IsNumeric(v) ? "" : "is not a number (-1 or 0)";
    case OptionKind::kNumber:
      return text::IsNumeric(v) && text::Val(v) >= 0 ? "" : "is not a number of 0 or more";
    case OptionKind::kDays:
      return NormalizeOptionValue(option, v) ? "" : "is not a whole number of 0 or more";
    case OptionKind::kTime:
      return NormalizeOptionValue(option, v) ? "" : "is not a time HH:MM";
    case OptionKind::kText:
      return "";
  }
  return "";
}

}  // namespace

std::vector<DoctorCheck> RunDoctorChecks(const os::Environment& env,
                                         const os::SettingsStore& settings,
                                         const std::string& product, const std::string& log_file) {
  std::vector<DoctorCheck> checks;
  const std::string path = dmapi::DefaultConfigPath(env);
  const bool named = !env.Variable(dmapi::kConfigEnvironmentVariable).empty();
  const std::string config_what = "DM configuration file " + path +
                                  (named ? " (named by SPROUTSMITH_DM)" : " (per-user)") +
                                  " exists and parses";
  dmapi::InstallationConfig config;
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    checks.push_back(Failed(config_what,
                            "it does not exist; sproutsmith-dm init-demo makes a "
                            "trial one there"));
  } else if (Status loaded = dmapi::LoadInstallationConfig(path, &config); !loaded.ok()) {
    checks.push_back(Failed(config_what, loaded.text + "; correct the file"));
  } else {
    checks.push_back(Ok(config_what));
    for (const dmapi::LibraryConfig& library : config.libraries) {
      CheckLibrary(config, library, checks);
    }
  }

  checks.push_back(CheckLogFolder(log_file));

  bool in_range = true;
  for (const GeneralOption& option : GeneralOptions()) {
    const std::string value = settings.Get(product, app::kGeneral, option.key, option.fallback);
    if (const std::string problem = ValueProblem(option, value); !problem.empty()) {
      in_range = false;
      checks.push_back(
          Failed(std::string("General setting ") + option.key + " = " + value,
                 problem + "; sproutsmith-admin option " + option.key + " VALUE sets it"));
    }
  }
  if (in_range) checks.push_back(Ok("General settings are in range"));
  return checks;
}

}  // namespace sproutsmith::admin
