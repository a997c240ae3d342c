#pragma once
// Rule and library-setting rows of QUIL_SETTINGS, stored the way the administrator's tools
// store them: MASTER_KEY 'ARBORLINE', SECTION_KEY the key name ("RULE_TEMPLATE",
// "SETTINGS"), SUB_KEY the rule or setting name, text in CHAR_VAL, numbers in INT_VAL.

#include <string>
#include <utility>
#include <vector>

#include "platform/os/status.h"
#include "platform/sql/database.h"

namespace sproutsmith::schema {

inline constexpr char kMasterKey[] = "ARBORLINE";
inline constexpr char kSettingsSection[] = "SETTINGS";

// The folder template of a library whose profiles have a matter column.
inline constexpr char kMatterTemplate[] =
    "%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% "
    "%DOCUMENTTYPE.TYPE_ID%";
// The folder template of a library without one.
inline constexpr char kAuthorTemplate[] =
    "%ARBORLINE% %\\% %AUTHOR.PRIMARY_GROUP.GROUP_ID% %\\% %AUTHOR.USER_ID% %\\% "
    "%DOCUMENTTYPE.TYPE_ID%";

struct RuleDefinition {
  std::string name;
  std::vector<std::pair<std::string, std::string>> text_values;   // key → CHAR_VAL
  std::vector<std::pair<std::string, long long>> integer_values;  // key → INT_VAL

  // Replaces the key's value, or adds it.
  void SetText(const std::string& key, std::string value);
  void SetInteger(const std::string& key, long long value);
};

// A rule carrying every value of the built-in default rule, with its own name and
// template. Empty text values are left out: a key without a row reads as empty.
RuleDefinition StandardRule(std::string name, std::string folder_template);

// Writes one row per value. Rows already stored for the rule stay (no unique key).
Status WriteRule(sql::Database& db, const RuleDefinition& rule);
Status WriteTextSetting(sql::Database& db, const std::string& name, const std::string& value);
Status WriteIntegerSetting(sql::Database& db, const std::string& name, long long value);

}  // namespace sproutsmith::schema
