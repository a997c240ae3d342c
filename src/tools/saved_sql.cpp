// The saved-statement editor's operations and the stored form of a statement.

#include "tools/saved_sql.h"

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::tools {

using runtime::Answer;
using runtime::MessageStyle;
using text::Format;
using text::Number;
using text::Trim;

namespace {

constexpr char kSpaceMarker[] = "<SPC>";

// The text box's text without the blanks and line breaks around it: a line break at either
// end would otherwise be stored as a blank marker.
std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \r\n") - first + 1);
}

std::string RightTrimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

std::string EncodeSpaces(std::string_view text) {
  std::string s(text);
  for (char& c : s) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != ' ') {
      out += s[i];
    } else if (i + 1 == s.size() || s[i + 1] != ' ') {
      out += kSpaceMarker;
    }
  }
  return out;
}

std::vector<std::string> SplitParts(std::string_view encoded) {
  std::vector<std::string> parts;
  for (size_t at = 0; at < encoded.size(); at += kSavedPartLength) {
    std::string part(encoded.substr(at, kSavedPartLength));
    if (at + kSavedPartLength >= encoded.size()) part = RightTrimmed(part);
    if (!Trim(part).empty()) parts.push_back(part);
  }
  return parts;
}

SavedSqlEditor::SavedSqlEditor(Context& context, dm::Connection& connection,
                               rules::RuleStore& rules, std::string library, std::string rule)
    : context_(context),
      connection_(connection),
      rules_(rules),
      library_(std::move(library)),
      rule_(std::move(rule)) {}

std::string SavedSqlEditor::Open() {
  for (int i = 1; i <= rules_.SavedCount(); ++i) {
    const rules::SavedStatement& entry = rules_.Saved(i);
    if (text::UCase(entry.library) == text::UCase(library_) &&
        text::UCase(entry.rule) == text::UCase(rule_)) {
      return Trim(entry.statement);
    }
  }
  rules_.SaveStatement(library_, rule_, "");
  return "";
}

TestResult SavedSqlEditor::Test(const std::string& text) {
  if (Trim(text).empty()) return TestResult::kEmpty;
  return log::Trap(context_.log, "ButtonTest_Click", TestResult::kFailed,
                   [&] { return TestBody(text); });
}

TestResult SavedSqlEditor::TestBody(const std::string& text) {
  dm::Reconnect back(connection_);
  if (!connection_.ConnectLibrary(library_)) return TestResult::kFailed;
  connection_.RunSQL(text);
  dmapi::SqlObject* sql = connection_.sql();
  const long number = sql ? sql->ErrNumber() : 0;
  TestResult result = TestResult::kPassed;
  // Error 9 only says that the statement returned no result set.
  if (!dm::SqlSucceeded(number)) {
    context_.ShowMessage("SQL Error: " + Number(number) + "\r\n (" + sql->ErrDescription() +
                             ")\r\n occurred trying to run "
                             "test on " +
                             library_,
                         MessageStyle::kCritical);
    result = TestResult::kFailed;
  } else {
    last_row_count_ = sql ? sql->GetRowCount() : 0;
    context_.ShowMessage(
        "Results: " + Number(last_row_count_) + " item(s) returned from test on " + library_,
        MessageStyle::kInformation);
  }
  connection_.Release();
  return result;
}

SaveResult SavedSqlEditor::Save(std::string& text, Testing testing) {
  text = Trimmed(text);
  if (!text.empty()) {
    if (context_.ShowMessage("Do you want to test this SQL statement before saving it?",
                             MessageStyle::kYesNo) != Answer::kYes) {
      if (testing == Testing::kRequired) return SaveResult::kUntested;
    } else if (Test(text) == TestResult::kFailed) {
      return SaveResult::kNotSaved;
    }
  } else if (context_.ShowMessage("Do you want to clear the saved SQL statement?",
                                  MessageStyle::kYesNo) != Answer::kYes) {
    return SaveResult::kNotSaved;
  }
  return log::Trap(context_.log, "ButtonOK_Click", SaveResult::kWriteFailed,
                   [&] { return SaveBody(text); });
}

SaveResult SavedSqlEditor::SaveBody(const std::string& text) {
  dm::Reconnect back(connection_);
  if (!text::EqualsNoCase(connection_.LibraryName(), library_) &&
      !connection_.ConnectLibrary(library_)) {
    return SaveResult::kWriteFailed;
  }
  const std::string rule = dm::SqlQuote(rule_);
  bool written = connection_.RunStatement(
      "DELETE FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY LIKE "
      "'RULE_SPROUTSMITH_SQL%' AND SUB_KEY = '" +
      rule + "'");
  const std::vector<std::string> parts = SplitParts(EncodeSpaces(text));
  for (size_t n = 1; n <= parts.size(); ++n) {
    const bool part = connection_.RunStatement(
        "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, "
        "KEY_TYPE) VALUES('ARBORLINE', 'RULE_SPROUTSMITH_SQL_" +
        Format(static_cast<long long>(n), "0") + "', '" + rule + "', '" +
        dm::SqlQuote(parts[n - 1]) + "', NULL, 1)");
    written = written && part;
  }
  if (written) UpdateMemory(text);
  context_.ShowMessage(
      "Rule Sproutsmith SQL text saved for the rule " + rule_ + " in library " + library_,
      MessageStyle::kInformation);
  if (!written) return SaveResult::kWriteFailed;
  return text.empty() ? SaveResult::kCleared : SaveResult::kSaved;
}

void SavedSqlEditor::UpdateMemory(const std::string& text) {
  rules_.SaveStatement(library_, rule_, text);
  const int index = rules_.Find(connection_.LibraryName(), rule_);
  if (index == 0) return;
  rules::RuleRecord& record = rules_.Rule(index);
  const long piece = static_cast<long>(kRecordPieceLength);
  record.Set(rules::RuleKey::kSproutsmithSql1, text::Mid(text, 1, piece));
  record.Set(rules::RuleKey::kSproutsmithSql2, text::Mid(text, piece + 1, piece));
  record.Set(rules::RuleKey::kSproutsmithSql3, text::Mid(text, 2 * piece + 1));
}

bool SavedSqlEditor::Cancel(const std::string& text) {
  if (text.empty()) return true;
  return context_.ShowMessage("Are you sure you want to exit without saving?",
                              MessageStyle::kYesNo) == Answer::kYes;
}

}  // namespace sproutsmith::tools
