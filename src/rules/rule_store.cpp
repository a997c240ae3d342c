// Loading a library's rules from QUIL_SETTINGS into the rule list.

#include "rules/rule_store.h"

#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::rules {

using text::Format;
using text::Trim;
using text::UCase;

namespace {

// How a key's value is read from its row.
enum class Kind {
  kText,        // 4 pieces, trimmed
  kRawText,     // 4 pieces as stored (saved-statement parts keep their blanks)
  kFirstPiece,  // piece 1 only, as stored
  kRootFolder,  // 3 pieces, trimmed, "*NONE*" held as ""
  kInteger,     // INT_VAL as "#0"
};

struct KeyDefinition {
  const char* name;
  RuleKey key;
  Kind kind;
};

constexpr KeyDefinition kKeys[] = {
    {"RULE_VALUES", RuleKey::kValues, Kind::kText},
    {"RULE_TEMPLATE", RuleKey::kTemplate, Kind::kText},
    {"RULE_SECURITY", RuleKey::kSecurity, Kind::kText},
    {"RULE_FORM", RuleKey::kForm, Kind::kText},
    {"RULE_AUTO_CREATE_FOLDERS", RuleKey::kAutoCreateFolders, Kind::kInteger},
    {"RULE_CREATE_PUBLIC_FOLDERS", RuleKey::kCreatePublicFolders, Kind::kInteger},
    {"RULE_MOVE_INTO", RuleKey::kMoveInto, Kind::kInteger},
    {"RULE_ROOT_FOLDER", RuleKey::kRootFolder, Kind::kRootFolder},
    {"RULE_PROFILE_INHERIT_SECURITY", RuleKey::kProfileInheritSecurity, Kind::kInteger},
    {"RULE_APPEND_TRUSTEES", RuleKey::kAppendTrustees, Kind::kInteger},
    {"RULE_WORKSPACE_AUTHOR", RuleKey::kWorkspaceAuthor, Kind::kInteger},
    {"RULE_WORKSPACE_TYPIST", RuleKey::kWorkspaceTypist, Kind::kInteger},
    {"RULE_AUTHOR_SOURCE", RuleKey::kAuthorSource, Kind::kText},
    {"RULE_MASTER_LIBRARY", RuleKey::kMasterLibrary, Kind::kInteger},
    {"RULE_AUTOFOLDER_LEVEL", RuleKey::kAutofolderLevel, Kind::kInteger},
    {"RULE_SPROUTSMITH_TEXT", RuleKey::kSproutsmithText, Kind::kText},
    {"RULE_WORKSPACE_AGE", RuleKey::kWorkspaceAge, Kind::kInteger},
    {"RULE_WORKSPACE_NAME", RuleKey::kWorkspaceName, Kind::kText},
    {"RULE_DOCTYPE_SOURCE", RuleKey::kDoctypeSource, Kind::kText},
    {"RULE_WORKSPACE_GROUP", RuleKey::kWorkspaceGroup, Kind::kText},
    {"RULE_EMPTY_FOLDERS", RuleKey::kEmptyFolders, Kind::kInteger},
    {"RULE_QUICKSEARCH_AUTHOR", RuleKey::kQuicksearchAuthor, Kind::kInteger},
    {"RULE_QUICKSEARCH_TYPIST", RuleKey::kQuicksearchTypist, Kind::kInteger},
    {"RULE_QUICKSEARCH_FILTER", RuleKey::kQuicksearchFilter, Kind::kInteger},
    {"RULE_MASTERFOLDER_LIBRARY", RuleKey::kMasterfolderLibrary, Kind::kText},
    {"RULE_RETROACTIVE", RuleKey::kRetroactive, Kind::kInteger},
    {"RULE_QUICKSEARCH_RANGE", RuleKey::kQuicksearchRange, Kind::kInteger},
    {"RULE_EMAIL_TEMPLATE", RuleKey::kEmailTemplate, Kind::kText},
    {"RULE_EMAIL_LEVEL", RuleKey::kEmailLevel, Kind::kInteger},
    {"RULE_MOVE_OK", RuleKey::kMoveOk, Kind::kInteger},
    {"RULE_ADDPGLINKS", RuleKey::kAddPgLinks, Kind::kInteger},
    {"RULE_ADDREMOTEITEMS", RuleKey::kAddRemoteItems, Kind::kInteger},
    {"RULE_ADDLOCALITEMS", RuleKey::kAddLocalItems, Kind::kInteger},
    {"RULE_PROFILE_FORM", RuleKey::kProfileForm, Kind::kText},
    {"RULE_ADDLASTEDITEDBY", RuleKey::kAddLastEditedBy, Kind::kInteger},
    {"RULE_PARSECHARACTERS", RuleKey::kParseCharacters, Kind::kText},
    {"RULE_PURPOSE", RuleKey::kPurpose, Kind::kText},
    {"RULE_OVERRIDERULEPARAMETERS", RuleKey::kOverrideRuleParameters, Kind::kInteger},
    {"RULE_SPROUTSMITH_SQL_1", RuleKey::kSproutsmithSql1, Kind::kRawText},
    {"RULE_SPROUTSMITH_SQL_2", RuleKey::kSproutsmithSql2, Kind::kRawText},
    {"RULE_SPROUTSMITH_SQL_3", RuleKey::kSproutsmithSql3, Kind::kRawText},
    {"RULE_EMAIL_NAME", RuleKey::kEmailName, Kind::kFirstPiece},
    {"RULE_EMAIL_LIBRARY", RuleKey::kEmailLibrary, Kind::kFirstPiece},
};

// Result columns of the rule query.
constexpr int kSectionColumn = 1;
constexpr int kSubKeyColumn = 2;
constexpr int kIntegerColumn = 4;
constexpr int kPieceColumns[] = {3, 5, 6, 7};
// Four pieces of 254 characters: what the rule query reads of a text value.
constexpr size_t kStoredTextLength = 4 * 254;

constexpr char kMatterDefaultTemplate[] =
    "%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% "
    "%DOCUMENTTYPE.TYPE_ID%";
constexpr char kAuthorDefaultTemplate[] =
    "%ARBORLINE% %\\% %AUTHOR.PRIMARY_GROUP.GROUP_ID% %\\% %AUTHOR.USER_ID% %\\% "
    "%DOCUMENTTYPE.TYPE_ID%";

std::string RuleQuery(bool oracle) {
  const std::string f = oracle ? "SUBSTR" : "SUBSTRING";
  return "SELECT SECTION_KEY, SUB_KEY, " + f + "(CHAR_VAL, 1, 254), INT_VAL, " + f +
         "(CHAR_VAL, 255, 254), " + f + "(CHAR_VAL, 509, 254), " + f +
         "(CHAR_VAL, 763, 254) FROM " + "[OWNER]" + "." + "QUIL_SETTINGS " +
         "WHERE MASTER_KEY = 'ARBORLINE' AND (SECTION_KEY LIKE 'RULE_%' OR SECTION_KEY = "
         "'SETTINGS') " +
         "ORDER BY SUB_KEY, SECTION_KEY";
}

// A template longer than the pieces is read cut short, and the statement built from it is
// then reported incomplete; the log says why.
void WarnIfTemplateCut(Context& context, dm::Connection& connection, const std::string& sub_key,
                       bool oracle) {
  const double length =
      connection
          .ReadFirstRow(std::string("SELECT ") + (oracle ? "LENGTH" : "LEN") +
                        "(CHAR_VAL) FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND "
                        "SECTION_KEY = 'RULE_TEMPLATE' AND SUB_KEY = '" +
                        dm::SqlQuote(sub_key) + "'")
          .Number(1);
  if (length <= kStoredTextLength) return;
  context.log.AddLogAndSeparator("Warning: The template of rule " + UCase(Trim(sub_key)) + " is " +
                                 text::Format(length, "#0") + " characters long; only the first " +
                                 text::Number(kStoredTextLength) +
                                 " are read, so the template is cut short");
}

}  // namespace

RuleStore::RuleStore(Context& context, dm::Connection& connection)
    : context_(context), connection_(connection) {}

void RuleStore::Attach() {
  connection_.SetOnConnected([this] { LoadRules(); });
}

void RuleStore::LoadRules() {
  log::TrapVoid(context_.log, "LoadRules", [&] { LoadRulesBody(); });
}

void RuleStore::LoadRulesBody() {
  rules_.clear();
  master_library_.clear();
  if (!connection_.library_state().HasQuilSettings) return;
  const std::string library = connection_.LibraryName();
  context_.log.AddLogAndSeparator("Retrieving any existing rules for library " + library);

  ReadRows(library);
  FinishRules();

  context_.log.AddLogAndSeparator(text::Number(Count()) + " rule(s) identified");
  if (rules_.empty()) MakeDefaultRule(library);
  context_.log.Separator();
  RefillRuleMenus();
}

void RuleStore::ReadRows(const std::string& library) {
  const bool oracle = connection_.facts().IsOracle();
  std::vector<std::string> full_templates;  // raw SUB_KEY of templates that fill every piece
  connection_.RunQuery(RuleQuery(oracle), [&] {
    const std::string raw_section = connection_.Column(kSectionColumn);
    const std::string section = UCase(Trim(raw_section));
    if (section.empty()) return false;
    if (section == "SETTINGS") {
      ReadSetting(UCase(Trim(connection_.Column(kSubKeyColumn))));
      return true;
    }
    if (!text::StartsWith(section, "RULE_")) return true;
    const std::string name = UCase(Trim(connection_.Column(kSubKeyColumn)));
    if (name.empty()) return true;
    int index = Find(library, name);
    if (index == 0) {
      RuleRecord record;
      record.Set(RuleKey::kLibrary, library);
      record.Set(RuleKey::kName, name);
      rules_.push_back(std::move(record));
      index = Count();
    }
    // A key stored with trailing blanks matches no key name.
    StoreKey(rules_[index - 1], UCase(raw_section));
    if (UCase(raw_section) == "RULE_TEMPLATE" && Pieces(4).size() >= kStoredTextLength) {
      full_templates.push_back(connection_.Column(kSubKeyColumn));
    }
    return true;
  });
  for (const std::string& sub_key : full_templates) {
    WarnIfTemplateCut(context_, connection_, sub_key, oracle);
  }
}

std::string RuleStore::Pieces(int count) const {
  std::string value;
  for (int i = 0; i < count; ++i) value += connection_.Column(kPieceColumns[i]);
  return value;
}

void RuleStore::StoreKey(RuleRecord& rule, const std::string& section) {
  for (const auto& key : kKeys) {
    if (section != key.name) continue;
    switch (key.kind) {
      case Kind::kText:
        rule.Set(key.key, Trim(Pieces(4)));
        break;
      case Kind::kRawText:
        rule.Set(key.key, Pieces(4));
        break;
      case Kind::kFirstPiece:
        rule.Set(key.key, Pieces(1));
        break;
      case Kind::kRootFolder: {
        const std::string root = Trim(Pieces(3));
        rule.Set(key.key, UCase(root) == "*NONE*" ? "" : root);
        break;
      }
      case Kind::kInteger: {
        // A NULL INT_VAL leaves the value as it was.
        const sql::Value v = connection_.sql()->ColumnValue(kIntegerColumn);
        if (!v.IsNull()) rule.Set(key.key, text::Format(v.AsNumber(), "#0"));
        break;
      }
    }
    return;
  }
}

void RuleStore::ReadSetting(const std::string& name) {
  auto& settings = connection_.library_state().settings;
  if (name == "PROFILE_EXCLUDE_COLUMN") {
    settings.ProfileExcludeColumn = Trim(Pieces(3));
  } else if (name == "DEFAULT_WORKSPACE") {
    settings.DefaultWorkspace = Trim(Pieces(3));
  } else if (name == "TOPLEVELWARNING") {
    const sql::Value v = connection_.sql()->ColumnValue(kIntegerColumn);
    if (!v.IsNull()) settings.TopLevelWarning = static_cast<long>(v.AsInteger());
  } else if (name == "MASTER_LIBRARY") {
    master_library_ = Trim(Pieces(4));
  }
}

void RuleStore::FinishRules() {
  for (auto& rule : rules_) {
    const std::string& root = rule[RuleKey::kRootFolder];
    if (!root.empty()) rule.Set(RuleKey::kTemplate, root + " %\\% " + rule[RuleKey::kTemplate]);

    if (rule.Number(RuleKey::kMasterLibrary) == 1 && rule[RuleKey::kMasterfolderLibrary].empty() &&
        !master_library_.empty()) {
      rule.Set(RuleKey::kMasterfolderLibrary, master_library_);
    }

    const std::string joined =
        Trim(rule[RuleKey::kSproutsmithSql1] + rule[RuleKey::kSproutsmithSql2] +
             rule[RuleKey::kSproutsmithSql3]);
    const std::string statement = Trim(dm::ExpandSpaces(joined));
    if (!statement.empty()) SaveStatement(rule.Library(), rule.Name(), statement);
  }
}

void RuleStore::MakeDefaultRule(const std::string& library) {
  const double matter_columns =
      connection_
          .ReadFirstRow(
              "SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'MATTER' AND TBNAME = "
              "'PROFILE'")
          .Number(1);

  RuleRecord rule;
  rule.Set(RuleKey::kLibrary, library);
  rule.Set(RuleKey::kName, kDefaultRuleName);
  rule.Set(RuleKey::kValues, "%APPLICATION.APPLICATION% <> 'FOLDER'");
  rule.Set(RuleKey::kTemplate,
           matter_columns != 0 ? kMatterDefaultTemplate : kAuthorDefaultTemplate);
  rule.Set(RuleKey::kSecurity,
           "%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; "
           "GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63");
  rule.Set(RuleKey::kForm, "***DEFAULT FORM***");
  rule.Set(RuleKey::kAutoCreateFolders, "1");
  rule.Set(RuleKey::kCreatePublicFolders, "1");
  rule.Set(RuleKey::kMoveInto, "0");
  rule.Set(RuleKey::kProfileInheritSecurity, "1");
  rule.Set(RuleKey::kAppendTrustees, "1");
  rule.Set(RuleKey::kWorkspaceAuthor, "0");
  rule.Set(RuleKey::kWorkspaceTypist, "0");
  rule.Set(RuleKey::kAuthorSource, "Default");
  rule.Set(RuleKey::kMasterLibrary, "0");
  rule.Set(RuleKey::kAutofolderLevel, "0");
  rule.Set(RuleKey::kWorkspaceAge, "0");
  rule.Set(RuleKey::kDoctypeSource, "Default");
  rule.Set(RuleKey::kEmptyFolders, "0");
  rule.Set(RuleKey::kQuicksearchAuthor, "1");
  rule.Set(RuleKey::kQuicksearchTypist, "1");
  rule.Set(RuleKey::kQuicksearchFilter, "0");
  rule.Set(RuleKey::kRetroactive, "0");
  rule.Set(RuleKey::kQuicksearchRange, "90");
  rule.Set(RuleKey::kEmailLevel, "0");
  rule.Set(RuleKey::kMoveOk, "0");
  rule.Set(RuleKey::kAddPgLinks, "0");
  rule.Set(RuleKey::kAddRemoteItems, "1");
  rule.Set(RuleKey::kAddLocalItems, "1");
  rule.Set(RuleKey::kProfileForm, "***DEFAULT FORM***");
  rule.Set(RuleKey::kAddLastEditedBy, "0");
  rule.Set(RuleKey::kPurpose, "***All Modules***");
  rule.Set(RuleKey::kOverrideRuleParameters, "0");
  rules_.push_back(std::move(rule));
}

void RuleStore::RefillRuleMenus() {
  auto refill = [&](std::vector<std::string>& menu) {
    menu.assign(1, "-");
    for (int j = 0; j < Count(); ++j) {
      if (j == 0) {
        menu[0] = rules_[0].Name();
      } else {
        menu.push_back(rules_[j].Name());
      }
    }
  };
  refill(context_.options.MNRuleMenu1);
  refill(context_.options.MNRuleMenu2);
}

std::string RuleStore::Value(int index, RuleKey key) const {
  if (index < 1 || index > Count()) return "";
  return rules_[index - 1][key];
}

int RuleStore::Find(std::string_view library, std::string_view rule) const {
  const std::string name = UCase(rule);
  for (int i = 0; i < Count(); ++i) {
    if (rules_[i].Library() == library && UCase(rules_[i].Name()) == name) return i + 1;
  }
  return 0;
}

int RuleStore::FindSaved(std::string_view library, std::string_view rule) const {
  const std::string name = UCase(rule);
  for (int i = 0; i < SavedCount(); ++i) {
    if (saved_[i].library == library && UCase(saved_[i].rule) == name) return i + 1;
  }
  return 0;
}

std::string RuleStore::SavedStatementFor(std::string_view library, std::string_view rule) const {
  const int index = FindSaved(library, rule);
  return index == 0 ? "" : saved_[index - 1].statement;
}

int RuleStore::SaveStatement(std::string_view library, std::string_view rule,
                             std::string_view statement) {
  int index = FindSaved(library, rule);
  if (index == 0) {
    saved_.push_back({std::string(library), UCase(rule), "", "", ""});
    index = SavedCount();
  }
  saved_[index - 1].statement = Trim(statement);
  return index;
}

}  // namespace sproutsmith::rules
