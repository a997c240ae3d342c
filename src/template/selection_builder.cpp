#include "template/selection_builder.h"

#include <optional>

#include "dm/sql_text.h"
#include "template/sql_names.h"
#include "text/text.h"

namespace sproutsmith::templ {

using rules::RuleKey;
using text::StartsWith;
using text::StartsWithNoCase;
using text::Trim;
using text::UCase;

namespace {

constexpr char kDq = '"';

std::string Aliased(const std::string& column) { return column + " AS " + kDq + column + kDq; }

bool IsVarnel(const std::string& site) { return UCase(text::Left(site, 6)) == "VARNEL"; }

// Whether the template's items take a value from `table` (a bare upper-case name): a
// column token's table, or an external link's tables or column. A literal folder name
// that merely contains the word does not.
bool TemplateSelectsFrom(const ParsedTemplate& parsed, const std::string& table,
                         const std::string& owner) {
  for (const TemplateItem& item : parsed.items) {
    if (item.Kind == kKindColumn && UCase(item.Table) == table) return true;
  }
  for (const ExternalLink& link : parsed.links) {
    for (const std::string& part : text::Split(UCase(link.Tables), ",")) {
      if (!Trim(part).empty() && BareTableName(OwnerForm(Trim(part), owner)) == table) return true;
    }
    if (StartsWith(UCase(Trim(link.Columns)), table + ".")) return true;
  }
  return false;
}

class SelectionBuilder {
 public:
  SelectionBuilder(const rules::RuleRecord& rule, ParsedTemplate& parsed,
                   const SelectionRequest& request, Context& context, dm::Connection& connection,
                   rules::RuleStore& store, ForeignKeyCache& cache, DataDictionary& dictionary)
      : rule_(rule),
        parsed_(parsed),
        request_(request),
        context_(context),
        options_(context.options),
        log_(context.log),
        connection_(connection),
        store_(store),
        cache_(cache),
        dictionary_(dictionary),
        name_(rule[RuleKey::kName]),
        library_(connection.LibraryName()),
        owner_(connection.facts().LibraryOwner),
        initialize_(context.options.CheckInitialize != 0) {}

  Selection Run();

 private:
  void QualifierTables();
  void ItemPass();
  void LiteralItem(int number, TemplateItem& item);
  void ColumnItem(int number, const TemplateItem& item);
  void LinkTable(int number, const TemplateItem& item);
  void AddExclusion(const std::string& table, const std::string& message);
  void AddSid(const std::string& table);
  void FindWorkspaceLinks(const std::string& table, const TemplateItem& item);
  void RuleParametersStep();
  void ExternalTables();
  void DocumentTypesAndProfile();
  bool Incomplete();
  void ReportIncomplete();
  void RowLimit();
  void SaveOrReuse();
  void Initialize();

  const rules::RuleRecord& rule_;
  ParsedTemplate& parsed_;
  const SelectionRequest& request_;
  Context& context_;
  runtime::Options& options_;
  log::Log& log_;
  dm::Connection& connection_;
  rules::RuleStore& store_;
  ForeignKeyCache& cache_;
  DataDictionary& dictionary_;
  const std::string name_;
  const std::string library_;
  const std::string owner_;
  const bool initialize_;

  SelectionParts parts_;
  int level_depth_ = 0;
  // Link tables whose exclusion was put off to the later item that selects from them.
  std::vector<std::string> deferred_exclusions_;
  Selection out_;
};

void SelectionBuilder::QualifierTables() {
  const std::string text = rule_[RuleKey::kSproutsmithText];
  if (text.empty()) return;
  log_.AddLogAndSeparator("Working on Rule Sproutsmith Text: " + text);
  const size_t bar = text.find('|');
  std::string tables = bar == std::string::npos ? "" : Trim(text.substr(0, bar));
  const std::string qualifier = bar == std::string::npos ? text : Trim(text.substr(bar + 1));
  TableList& list = parts_.tables;
  if (!tables.empty()) {
    while (StartsWith(tables, ",")) tables = Trim(tables.substr(1));
    while (text::EndsWith(tables, ",")) tables = Trim(tables.substr(0, tables.size() - 1));
    while (tables.find("  ") != std::string::npos) tables = text::Replace(tables, "  ", " ");
    while (tables.find(",,") != std::string::npos) tables = text::Replace(tables, ",,", ",");
    log_.AddLogAndSeparator("Sproutsmith Text is: " + tables);
    std::string last;
    for (const std::string& part : text::Split(tables, ",")) {
      const std::string name = Trim(part);
      if (name.empty()) continue;
      last = OwnerForm(name, owner_);
      list.Add(last, "", nullptr);
    }
    if (!last.empty()) list.set_last_added(last);
    if (!list.empty()) {
      log_.AddLogAndSeparator("Sproutsmith TableList (1) is: " + list.text());
    }
  }
  const std::string upper = UCase(qualifier);
  for (size_t at = upper.find(kOwnerPrefix); at != std::string::npos;
       at = upper.find(kOwnerPrefix, at)) {
    const size_t start = at + std::string(kOwnerPrefix).size();
    const size_t dot = qualifier.find('.', start);
    if (dot == std::string::npos) break;
    const std::string table = qualifier.substr(start, dot - start);
    log_.AddLogAndSeparator(std::string("Adding table (2): ") + kOwnerPrefix + table);
    list.Add(kOwnerPrefix + table, "", nullptr);
    at = dot + 1;
  }
  if (!list.empty()) {
    log_.AddLogAndSeparator("Sproutsmith TableList (2) is: " + list.text());
  }
  log_.AddLogAndSeparator("Finished working on Rule Sproutsmith Text");
}

void SelectionBuilder::AddExclusion(const std::string& table, const std::string& message) {
  std::string& ex = parts_.exclusion;
  if (UCase(ex).find(table + ".SYSTEM_ID") != std::string::npos) return;
  if (!initialize_) ++level_depth_;
  if (!ex.empty()) {
    ex += " OR ";
  } else {
    ex = "(";
    ++parts_.outer_depth;
  }
  if (level_depth_ == 1) {
    log_.AddLogAndSeparator(message);
    ex += "(";
  }
  ex += table + ".SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE " +
        "UPPER(TABLE_NAME) = '" + QuoteLiteral(table) + "' AND UPPER(RULE_NAME) = '" +
        dm::UpperLiteral(name_) + "')";
}

void SelectionBuilder::AddSid(const std::string& table) {
  if (UCase(parts_.sid_list).find(table + ".SYSTEM_ID") != std::string::npos) return;
  parts_.sid_list += ", " + Aliased(table + ".SYSTEM_ID");
  ++out_.sid_count;
  out_.sid_table = table;
}

void SelectionBuilder::LiteralItem(int number, TemplateItem& item) {
  if (item.Kind == kKindSeparator) {
    if (level_depth_ > 0 && !parts_.exclusion.empty()) {
      log_.AddLogAndSeparator("Placing end parenthesis into Sproutsmith qualifier text");
      parts_.exclusion += ")";
    }
    level_depth_ = 0;
  }
  if (item.Text.empty()) return;
  std::string t = Trim(item.Text);
  if (StartsWithNoCase(t, kOwnerPrefix)) {
    t = Trim(t.substr(std::string(kOwnerPrefix).size()));
  } else if (!owner_.empty() && StartsWithNoCase(t, owner_ + ".")) {
    t = Trim(t.substr(owner_.size() + 1));
  }
  item.Text = t;
  std::string& select = parts_.select_list;
  if (!select.empty()) select += ", ";
  const ExternalLink* link = parsed_.LinkOfItem(number);
  if (link && !link->Tables.empty()) {
    select += Aliased(item.Text);
  } else {
    // A literal folder name may hold an apostrophe ("O'BRIEN FILES").
    select += "'" + QuoteLiteral(item.Text) + "'";
  }
}

void SelectionBuilder::ColumnItem(int number, const TemplateItem& item) {
  if (item.Table.empty() || item.Column.empty()) return;  // an empty "%%" token
  const std::string column = item.Table + "." + item.Column;
  std::string& select = parts_.select_list;
  const std::string entry = UCase(Aliased(column));
  if (select.empty()) {
    select = entry;
  } else if (!(item.Column == "SYSTEM_ID" && UCase(select).find(column) != std::string::npos)) {
    select += ", " + entry;
  }
  if (item.Column != "SYSTEM_ID") {
    const std::string direction = options_.CheckProcessDescending != 0 ? " DESC" : " ASC";
    std::string& order = parts_.order_list;
    if (order.empty()) {
      order = column + direction;
    } else if (UCase(order).find(UCase(column)) == std::string::npos) {
      order += ", " + UCase(column) + direction;
    }
  }
  const std::string table = UCase(item.Table);
  if (table != "PROFILE") {
    bool go_on = true;
    if (parts_.tables.empty()) {
      log_.AddLogAndSeparator(std::string("Adding table (3a): ") + kOwnerPrefix + table);
      parts_.tables.Add(kOwnerPrefix + table, "", nullptr);
    } else {
      go_on = parts_.tables.Add(kOwnerPrefix + table, "Adding table (3b): ", &log_);
    }
    if (go_on) {
      parts_.tables.set_last_added(kOwnerPrefix + table);
      AddExclusion(table, "Placing start parenthesis into Sproutsmith qualifier text (1)");
      AddSid(table);
    } else if (std::erase(deferred_exclusions_, table) > 0) {
      // The exclusion put off at the link table is due now: without it a new row of this
      // table (a new matter of a known client) would never be selected.
      AddExclusion(table, "Placing start parenthesis into Sproutsmith qualifier text (1)");
    }
  }
  LinkTable(number, item);
}

void SelectionBuilder::FindWorkspaceLinks(const std::string& table, const TemplateItem& item) {
  log_.AddLogAndSeparator("Identifying any links related to workspaces for " + table);
  const std::string sql =
      "SELECT COLNAME, FTBNAME, MULTI_VALUE FROM [OWNER].DOCSCOLUMN WHERE TBNAME = '" +
      QuoteLiteral(table) + "' AND FTBNAME IN ('GROUPS', 'PEOPLE')";
  connection_.RunQuery(sql, [&] {
    const std::string column = UCase(Trim(connection_.Column(1)));
    const std::string foreign = UCase(Trim(connection_.Column(2)));
    if (foreign == "GROUPS") out_.group_link = {table, column, item.LinkColumn};
    if (foreign == "PEOPLE") out_.people_link = {table, column, UCase(item.LinkColumn)};
    return true;
  });
}

void SelectionBuilder::LinkTable(int number, const TemplateItem& item) {
  const std::string link = UCase(item.LinkTable);
  if (link.empty() || link == "PROFILE") return;
  if (parts_.tables.Add(kOwnerPrefix + link, "Adding table (4): ", &log_)) {
    if (text::Val(rule_[RuleKey::kWorkspaceAuthor]) != 0 && link != "PEOPLE" && link != "GROUPS") {
      FindWorkspaceLinks(link, item);
    }
  }
  if (UCase(parts_.exclusion).find(link + ".SYSTEM_ID") == std::string::npos) {
    bool later = false;
    for (int i = number + 1; i <= parsed_.ItemCount(); ++i) {
      const std::string t = UCase(parsed_.Item(i).Table);
      if (t != "PROFILE" && t == link) later = true;
    }
    if (later) {
      log_.AddLogAndSeparator("Skipping Sproutsmith qualifying table " + link + " for now");
      deferred_exclusions_.push_back(link);
    } else {
      AddExclusion(link, "Placing start parenthesis into Sproutsmith qualifier text (2)");
    }
  }
  AddSid(link);
  const std::string open = std::string("LEFT OUTER JOIN ") + kOwnerPrefix + link + " ";
  if (UCase(parts_.join_list).find(open) == std::string::npos) {
    JoinEntry join{link, UCase(link + "." + item.LinkColumn),
                   UCase(item.Table + "." + item.KeyColumn), UCase(item.Table)};
    log_.AddLogAndSeparator("Adding join qualifier " + link + " ON " + join.Condition());
    parts_.join_list += open + "ON " + join.Condition() + " ";
    parts_.joins.push_back(join);
  }
}

void SelectionBuilder::ItemPass() {
  for (int i = 1; i <= parsed_.ItemCount(); ++i) {
    TemplateItem& item = parsed_.Item(i);
    if (item.Kind != kKindColumn) {
      LiteralItem(i, item);
    } else {
      ColumnItem(i, item);
    }
  }
  if (level_depth_ != 0 && !parts_.exclusion.empty()) {
    log_.AddLogAndSeparator("Placing last end parenthesis into Sproutsmith qualifier text");
    parts_.exclusion += ")";
  }
  log_.AddLogAndSeparator("Sproutsmith Join list so far: " + parts_.join_list);
}

void SelectionBuilder::RuleParametersStep() {
  if (context_.state.CancelRequested || text::Val(rule_[RuleKey::kOverrideRuleParameters]) != 0) {
    log_.AddLogAndSeparator("Skipping rule parameters");
    return;
  }
  out_.parameters = ParseRuleParameters(rule_[RuleKey::kValues], parsed_, library_,
                                        context_.clock.Now(), cache_, dictionary_, log_);
  parts_.parameter_text = out_.parameters.text;
  parts_.parameter_tables = out_.parameters.tables;
}

void SelectionBuilder::ExternalTables() {
  for (const ExternalLink& link : parsed_.links) {
    if (link.Tables.empty()) continue;
    for (const std::string& part : text::Split(UCase(Trim(link.Tables)), ",")) {
      const std::string name = Trim(part);
      if (name.empty()) continue;
      const std::string owned = OwnerForm(name, owner_);
      parts_.tables.Add(owned, "Adding external linked table: ", &log_);
      parts_.tables.set_last_added(owned);
    }
  }
}

void SelectionBuilder::DocumentTypesAndProfile() {
  TableList& list = parts_.tables;
  if (TemplateSelectsFrom(parsed_, "DOCUMENTTYPES", owner_)) {
    if (parts_.sid_list.find("DOCUMENTTYPES.SYSTEM_ID") == std::string::npos) {
      parts_.sid_list += ", " + Aliased("DOCUMENTTYPES.SYSTEM_ID");
      ++out_.sid_count;
      out_.sid_table = "DOCUMENTTYPES";
    }
    if (!list.Contains("[OWNER].DOCUMENTTYPES") && !list.Contains(owner_ + ".DOCUMENTTYPES")) {
      list.Append("[OWNER].DOCUMENTTYPES");
      const JoinEntry join{"DOCUMENTTYPES", "DOCUMENTTYPES.SYSTEM_ID", "PROFILE.DOCUMENTTYPE",
                           "PROFILE"};
      log_.AddLogAndSeparator("Adding join qualifier [OWNER].DOCUMENTTYPES ON " + join.Condition() +
                              " ");
      parts_.join_list += "LEFT OUTER JOIN [OWNER].DOCUMENTTYPES ON " + join.Condition() + " ";
      parts_.joins.push_back(join);
    }
  }
  if (TemplateSelectsFrom(parsed_, "PROFILE", owner_)) {
    if (parts_.sid_list.find("PROFILE.SYSTEM_ID") == std::string::npos) {
      parts_.sid_list += ", " + Aliased("PROFILE.SYSTEM_ID");
      ++out_.sid_count;
      out_.sid_table = "PROFILE";
    }
    if (!list.Contains("[OWNER].PROFILE") && !list.Contains(owner_ + ".PROFILE")) {
      list.Append("[OWNER].PROFILE");
    }
  }
}

bool SelectionBuilder::Incomplete() {
  if (!Trim(parts_.tables.text()).empty() &&
      !(parts_.select_list.empty() && parts_.sid_list.empty())) {
    return false;
  }
  ReportIncomplete();
  return true;
}

void SelectionBuilder::ReportIncomplete() {
  log_.SetStatus("Notice: SQL incomplete - check rule syntax. Unable to process rule " + name_);
  const std::string row_text = library_ + " - " + name_;
  for (auto it = options_.ListResults.rbegin(); it != options_.ListResults.rend(); ++it) {
    if (it->text != row_text) continue;
    if (it->state == "Working...") it->state = "Syntax Error";
    break;
  }
}

void SelectionBuilder::RowLimit() {
  const std::string last = parts_.tables.last_added();
  if (last.empty()) return;
  const long m = request_.row_limit_option;
  const std::string& site = context_.state.SiteName;
  if (IsVarnel(site) && text::EndsWith(UCase(last), "MATTER")) {
    out_.row_limit = m;
    return;
  }
  if (IsVarnel(site) &&
      (name_ == "AB-F-PG/CLIENT/MATTER/DT" || name_ == "AB-E-PG/CLIENT/MATTER/DT")) {
    const std::string k =
        name_ == "AB-F-PG/CLIENT/MATTER/DT" ? "DT_FOLDERNAME" : "DT_FR_FOLDERNAME";
    const dm::FirstRow count =
        connection_.ReadFirstRow("SELECT COUNT(DISTINCT " + k + ") FROM [OWNER].PCDT WHERE (" + k +
                                 " <> '' AND " + k + " IS NOT NULL)");
    if (count.found()) {
      out_.row_limit = count.Number(1) != 0 ? static_cast<long>(count.Number(1)) * m : 7 * m;
    }
    return;
  }
  if (IsVarnel(site) &&
      (name_ == "AB-F-PG/CLIENT/MATTER/DT/SUB" || name_ == "AB-E-PG/CLIENT/MATTER/DT/SUB")) {
    const std::string k = name_ == "AB-F-PG/CLIENT/MATTER/DT/SUB" ? "NAME_EN" : "NAME_FR";
    const dm::FirstRow count = connection_.ReadFirstRow(
        "SELECT COUNT(DISTINCT " + k + ") FROM [OWNER].SUBTYPES WHERE (" + k + " <> '' AND " + k +
        " IS NOT NULL) AND (DISABLED <> 'Y' OR DISABLED IS NULL)");
    if (count.found()) {
      out_.row_limit = count.Number(1) != 0 ? static_cast<long>(count.Number(1)) * m : 8 * m;
    }
    return;
  }
  log_.AddLogAndSeparator("Getting count of bottom-level items from table " + last);
  const std::string table = BareTableName(last);
  const double disabled =
      connection_
          .ReadFirstRow(
              "SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'DISABLED' AND "
              "TBNAME = '" +
              QuoteLiteral(table) + "'")
          .Number(1);
  const std::string filter =
      disabled != 0 ? " WHERE (DISABLED NOT IN ('1', 'Y') OR DISABLED IS NULL)" : "";
  const double count =
      connection_.ReadFirstRow("SELECT COUNT(*) FROM [OWNER]." + table + filter).Number(1);
  if (count != 0) out_.row_limit = static_cast<long>(count) * m;
}

void SelectionBuilder::SaveOrReuse() {
  if (options_.CheckReUseSQL != 0 && !request_.reuse_statement.empty()) {
    out_.statement = request_.reuse_statement;
    out_.saved_index = store_.FindSaved(library_, name_);
    return;
  }
  out_.saved_index = store_.SaveStatement(library_, name_, Trim(out_.statement));
  log_.AddLogAndSeparator("Saving the SQL statement from this run of rule " + name_);
}

void SelectionBuilder::Initialize() {
  if (!initialize_) return;
  const std::string name = dm::UpperLiteral(name_);
  if (IsVarnel(context_.state.SiteName)) {
    log_.AddLogAndSeparator("Initializing folder column item PRACCODE");
    connection_.RunStatement(
        "DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE TABLE_NAME = 'PRACCODE' AND "
        "UPPER(RULE_NAME) = '" +
        name + "'");
  }
  if (out_.sid_count > 0) {
    log_.AddLogAndSeparator("Initializing folder column item " + out_.sid_table);
    connection_.RunStatement("DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE TABLE_NAME = '" +
                             dm::SqlQuote(out_.sid_table) + "' AND UPPER(RULE_NAME) = '" + name +
                             "'");
  } else {
    log_.AddLogAndSeparator("NOT Initializing folders because no System_ID values found");
  }
}

Selection SelectionBuilder::Run() {
  parts_.tables = parsed_.tables;
  out_.row_limit = request_.provisional_row_limit;
  QualifierTables();
  ItemPass();
  RuleParametersStep();
  ExternalTables();
  DocumentTypesAndProfile();
  if (connection_.facts().IsOracle()) {
    parts_.select_list = text::Replace(parts_.select_list, " AS \"", " \"");
    parts_.sid_list = text::Replace(parts_.sid_list, " AS \"", " \"");
  }
  out_.sid_list = parts_.sid_list;
  parsed_.tables = parts_.tables;
  if (!parts_.sid_list.empty()) {
    log_.AddLogAndSeparator("Table Sid List: " + parts_.sid_list);
  }
  if (Incomplete()) return out_;
  RowLimit();

  AssemblyOptions assembly;
  assembly.engine = connection_.facts().DatabaseEngine;
  assembly.owner = owner_;
  assembly.outer_join_equals = connection_.facts().OuterJoinEquals;
  assembly.initialize = initialize_;
  assembly.text_max_folders = options_.TextMaxFolders;
  assembly.site_name = context_.state.SiteName;
  assembly.rule_name = name_;
  assembly.library_name = library_;
  assembly.sproutsmith_text = rule_[RuleKey::kSproutsmithText];
  out_.statement = AssembleStatement(parts_, parsed_, assembly, &out_.row_limit, log_);
  if (out_.statement.empty()) {
    ReportIncomplete();
    return out_;
  }
  out_.complete = true;
  SaveOrReuse();
  Initialize();
  return out_;
}

}  // namespace

Selection BuildSelection(const rules::RuleRecord& rule, ParsedTemplate& parsed,
                         const SelectionRequest& request, Context& context,
                         dm::Connection& connection, rules::RuleStore& store,
                         ForeignKeyCache& cache, DataDictionary& dictionary) {
  return SelectionBuilder(rule, parsed, request, context, connection, store, cache, dictionary)
      .Run();
}

}  // namespace sproutsmith::templ
