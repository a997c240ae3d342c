// Resetting a rule's tracking rows and setting them to the rows that exist now.

#include "tools/rule_baseline.h"

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "template/foreign_keys.h"
#include "template/library_access.h"
#include "template/template_item.h"
#include "template/template_parser.h"
#include "text/text.h"

namespace sproutsmith::tools {

using runtime::Answer;
using runtime::MessageStyle;
using text::Number;
using text::Trim;
using text::UCase;

namespace {

constexpr char kCaution[] =
    "You should use EXTREME CAUTION when running this procedure.\r\n\r\n"
    "ARE YOU ABSOLUTELY CERTAIN THAT YOU WISH TO CONTINUE?";

// The rule's rows, matched by name exactly: with LIKE, "A_B" would also take rule "AXB".
std::string RuleCondition(const std::string& rule) {
  return "UPPER(RULE_NAME) = '" + dm::SqlQuote(UCase(rule)) + "'";
}

// A name that can stand in a FROM clause as it is.
bool PlainTableName(const std::string& name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '$' || c == '#';
    if (!ok) return false;
  }
  return true;
}

void AddOnce(std::vector<std::string>& tables, const std::string& table) {
  if (table.empty() || table == "PROFILE") return;
  for (const std::string& t : tables) {
    if (t == table) return;
  }
  tables.push_back(table);
}

}  // namespace

RuleBaseline::RuleBaseline(Context& context, dm::Connection& connection, rules::RuleStore& rules)
    : context_(context), connection_(connection), rules_(rules) {}

void RuleBaseline::Inform(const std::string& text) {
  context_.ShowMessage(text, MessageStyle::kInformation);
}

template <typename Body>
BaselineOutcome RuleBaseline::Frame(const char* procedure, const LibraryChooser& choose,
                                    Body&& body) {
  log::Log& log = context_.log;
  const std::string status = context_.options.LabelStatus;
  BaselineOutcome outcome;
  {
    dm::Reconnect back(connection_);
    context_.ui.SetBusy(true);
    context_.ui.Yield();
    log.SetStatus("Selecting library to process");
    outcome = log::Trap(log, procedure, BaselineOutcome{}, [&] {
      if (!choose || !choose()) return BaselineOutcome{BaselineStatus::kNoLibrary};
      const std::string library = connection_.LibraryName();
      if (!connection_.library_state().HasQuilSettings) {
        context_.ShowMessage("You must create the QUIL_SETTINGS table in library " + library +
                                 " before you can manage Arborline",
                             MessageStyle::kExclamation);
        return BaselineOutcome{BaselineStatus::kNoSettingsTable, library};
      }
      BaselineOutcome result = body(library);
      result.library = library;
      return result;
    });
    log.Separator();
  }
  context_.options.LabelStatus = status;
  context_.ui.StatusChanged(status);
  context_.ui.SetBusy(false);
  return outcome;
}

BaselineOutcome RuleBaseline::ResetRule(const std::string& rule, const LibraryChooser& choose) {
  return Frame("MNInitialRules", choose,
               [&](const std::string& library) { return ResetBody(rule, library); });
}

BaselineOutcome RuleBaseline::ResetBody(const std::string& rule, const std::string& library) {
  const std::string& product = context_.identity.product_name;
  const long long count = connection_
                              .ReadFirstRow("SELECT COUNT(*) FROM [OWNER].QUIL_SPROUTSMITH WHERE " +
                                            RuleCondition(rule))
                              .Integer(1);
  if (count == 0) {
    Inform("There are no values currently set for rule " + rule + " in library " + library +
           " - no need to continue.");
    return {BaselineStatus::kNothingToReset};
  }
  const std::string question = "Warning: This option will remove all information about " +
                               Number(count) + " rule item(s) previously processed by " + product +
                               " for rule " + rule + " in library " + library + ". After this, " +
                               product +
                               " will process all the rows in the template tables for this "
                               "rule. " +
                               kCaution;
  if (context_.ShowMessage(question, MessageStyle::kYesNo) != Answer::kYes) {
    Inform("Wise choice");
    return {BaselineStatus::kDeclined};
  }
  context_.ui.SetBusy(true);
  BaselineOutcome outcome{BaselineStatus::kCompleted};
  connection_.RunStatement("DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE " + RuleCondition(rule),
                           &outcome.removed);
  const std::string done =
      "Procedure complete with " + Number(outcome.removed) + " row(s) removed.";
  context_.log.AddLog(done);
  Inform(done);
  return outcome;
}

BaselineOutcome RuleBaseline::SetRuleToCurrent(const std::string& rule,
                                               const LibraryChooser& choose) {
  return Frame("MNCurrentRules", choose,
               [&](const std::string& library) { return CurrentBody(rule, library); });
}

BaselineOutcome RuleBaseline::CurrentBody(const std::string& rule, const std::string& library) {
  log::Log& log = context_.log;
  const std::string& product = context_.identity.product_name;
  const std::string question =
      "Warning: This option will set the System_ID values in the QUIL_SPROUTSMITH table for "
      "rule " +
      rule + " in library " + library + " so that no existing metadata will be processed when " +
      product +
      " runs. This means that only newly-added metadata from this point forward will be "
      "processed. " +
      kCaution;
  if (context_.ShowMessage(question, MessageStyle::kYesNo) != Answer::kYes) {
    Inform("Wise choice.");
    return {BaselineStatus::kDeclined};
  }
  const int index = rules_.Find(library, rule);
  if (index == 0) {
    log.SetStatus("Error: Rule " + rule + " not found in library " + library);
    log.Separator();
    return {BaselineStatus::kRuleNotFound};
  }
  const rules::RuleRecord& record = rules_.Rule(index);
  log.SetStatus("Processing QUIL_SETTINGS table system_ids for library " + library);
  log.Separator();
  log.SetStatus("Parsing Rule Template " + record[rules::RuleKey::kTemplate]);
  log.Separator();
  const std::optional<std::vector<std::string>> tables = TemplateTables(record);
  if (!tables) return {BaselineStatus::kUnparsable};

  // Rows are written under the rule's name as the cycle writes them, so its exclusion and
  // this baseline speak of the same rows.
  const std::string name = record.Name();
  BaselineOutcome outcome{BaselineStatus::kCompleted};
  connection_.RunStatement("DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE " + RuleCondition(name),
                           &outcome.removed);
  for (const std::string& table : *tables) {
    log.SetStatus("Processing " + table);
    log.Separator();
    if (!PlainTableName(table)) {
      log.AddLogAndSeparator("Warning: " + table + " is not a table name - skipped");
      continue;
    }
    const std::string quoted = dm::SqlQuote(table);
    connection_.RunStatement("DELETE FROM [OWNER].QUIL_SPROUTSMITH WHERE TABLE_NAME = '" + quoted +
                             "' AND " + RuleCondition(name));
    long long added = 0;
    connection_.RunStatement(
        "INSERT INTO [OWNER].QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
        "SELECT SYSTEM_ID, '" +
            quoted + "', '" + dm::SqlQuote(name) + "', 0, '' FROM [OWNER]." + table +
            " ORDER BY SYSTEM_ID",
        &added);
    outcome.added += added;
  }
  const std::string done = "Procedure complete with " + Number(outcome.added) +
                           " row(s) added and " + Number(outcome.removed) + " row(s) removed.";
  log.AddLog(done);
  Inform(done);
  return outcome;
}

std::optional<std::vector<std::string>> RuleBaseline::TemplateTables(
    const rules::RuleRecord& rule) {
  // The cycle's own parser resolves the tokens, so a token reaches the table the
  // selection reads (PROFILE.DOCUMENTTYPE leads to DOCUMENTTYPES) and library prefixes
  // name no table.
  const std::string library = connection_.LibraryName();
  templ::ForeignKeyCache cache;
  templ::DocsColumnDictionary dictionary(connection_);
  templ::ParsedTemplate parsed;
  if (!templ::ParseTemplateText(rule[rules::RuleKey::kTemplate], nullptr,
                                templ::EnvironmentOf(connection_, library, context_.clock.Now()),
                                cache, dictionary, context_.log, &parsed)) {
    return std::nullopt;
  }
  std::vector<std::string> tables;
  for (const templ::TemplateItem& item : parsed.items) {
    if (item.Kind != templ::kKindColumn || item.Table.empty()) continue;
    AddOnce(tables, UCase(Trim(item.Table)));
    // The cycle also records the table the last foreign key leaves from.
    AddOnce(tables, UCase(Trim(item.LinkTable)));
  }
  return tables;
}

}  // namespace sproutsmith::tools
