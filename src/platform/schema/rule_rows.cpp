#include "platform/schema/rule_rows.h"

#include "platform/schema/row_writer.h"

namespace sproutsmith::schema {

namespace {

const std::vector<std::string> kColumns = {"MASTER_KEY", "SECTION_KEY", "SUB_KEY", "CHAR_VAL",
                                           "INT_VAL"};

template <typename V>
void Put(std::vector<std::pair<std::string, V>>& values, const std::string& key, V value) {
  for (auto& [k, v] : values) {
    if (k == key) {
      v = std::move(value);
      return;
    }
  }
  values.emplace_back(key, std::move(value));
}

}  // namespace

void RuleDefinition::SetText(const std::string& key, std::string value) {
  Put(text_values, key, std::move(value));
}

void RuleDefinition::SetInteger(const std::string& key, long long value) {
  Put(integer_values, key, value);
}

RuleDefinition StandardRule(std::string name, std::string folder_template) {
  RuleDefinition rule;
  rule.name = std::move(name);
  rule.text_values = {
      {"RULE_VALUES", "%APPLICATION.APPLICATION% <> 'FOLDER'"},
      {"RULE_TEMPLATE", std::move(folder_template)},
      {"RULE_SECURITY",
       "%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; "
       "GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63"},
      {"RULE_FORM", "***DEFAULT FORM***"},
      {"RULE_AUTHOR_SOURCE", "Default"},
      {"RULE_DOCTYPE_SOURCE", "Default"},
      {"RULE_PROFILE_FORM", "***DEFAULT FORM***"},
      {"RULE_PURPOSE", "***All Modules***"},
  };
  rule.integer_values = {
      {"RULE_AUTO_CREATE_FOLDERS", 1},
      {"RULE_CREATE_PUBLIC_FOLDERS", 1},
      {"RULE_MOVE_INTO", 0},
      {"RULE_PROFILE_INHERIT_SECURITY", 1},
      {"RULE_APPEND_TRUSTEES", 1},
      {"RULE_WORKSPACE_AUTHOR", 0},
      {"RULE_WORKSPACE_TYPIST", 0},
      {"RULE_MASTER_LIBRARY", 0},
      {"RULE_AUTOFOLDER_LEVEL", 0},
      {"RULE_WORKSPACE_AGE", 0},
      {"RULE_EMPTY_FOLDERS", 0},
      {"RULE_QUICKSEARCH_AUTHOR", 1},
      {"RULE_QUICKSEARCH_TYPIST", 1},
      {"RULE_QUICKSEARCH_FILTER", 0},
      {"RULE_RETROACTIVE", 0},
      {"RULE_QUICKSEARCH_RANGE", 90},
      {"RULE_EMAIL_LEVEL", 0},
      {"RULE_MOVE_OK", 0},
      {"RULE_ADDPGLINKS", 0},
      {"RULE_ADDREMOTEITEMS", 1},
      {"RULE_ADDLOCALITEMS", 1},
      {"RULE_ADDLASTEDITEDBY", 0},
      {"RULE_OVERRIDERULEPARAMETERS", 0},
  };
  return rule;
}

Status WriteRule(sql::Database& db, const RuleDefinition& rule) {
  if (rule.name.empty()) return Status::Error("A rule needs a name");
  RowWriter rows(db, "QUIL_SETTINGS", kColumns);
  for (const auto& [key, value] : rule.text_values) {
    rows.Add({T(kMasterKey), T(key), T(rule.name), T(value), Null()});
  }
  for (const auto& [key, value] : rule.integer_values) {
    rows.Add({T(kMasterKey), T(key), T(rule.name), Null(), I(value)});
  }
  return rows.Flush();
}

Status WriteTextSetting(sql::Database& db, const std::string& name, const std::string& value) {
  return InsertRow(db, "QUIL_SETTINGS", kColumns,
                   {T(kMasterKey), T(kSettingsSection), T(name), T(value), Null()});
}

Status WriteIntegerSetting(sql::Database& db, const std::string& name, long long value) {
  return InsertRow(db, "QUIL_SETTINGS", kColumns,
                   {T(kMasterKey), T(kSettingsSection), T(name), Null(), I(value)});
}

}  // namespace sproutsmith::schema
