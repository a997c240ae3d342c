#include "template/row_intake.h"

#include <cstdlib>

#include "dm/connection.h"
#include "text/text.h"

namespace sproutsmith::templ {

using rules::RuleKey;
using text::Number;
using text::Trim;
using text::UCase;

namespace {

// "TABLE.COLUMN" headings carry table values, which are stored trimmed; constant columns
// keep their blanks.
bool IsTableColumn(const std::string& heading) {
  const size_t dot = heading.find('.');
  return dot != std::string::npos && dot != 0 && heading.rfind('.') != heading.size() - 1 &&
         heading.find(' ') == std::string::npos;
}

std::string Spliced(const std::string& e, size_t at, size_t length, const std::string& value) {
  return Trim(e.substr(0, at)) + value + Trim(e.substr(at + length));
}

}  // namespace

std::string FillEmailTemplate(const std::string& email_template,
                              const std::vector<std::string>& headings,
                              const std::vector<std::string>& values) {
  std::string e = Trim(email_template);
  for (size_t c = 0; c < headings.size() && c < values.size(); ++c) {
    const std::string name = Trim(headings[c]);
    // A nameless (constant) column would match any "%".
    if (name.empty()) continue;
    const std::string value = Trim(values[c]);
    const std::string full = "%" + name + "%";
    const size_t dot = name.rfind('.');
    const std::string short_form =
        dot == std::string::npos ? name + "%" : "." + Trim(name.substr(dot + 1)) + "%";
    size_t at = e.find(full);
    if (at != std::string::npos) {
      e = Spliced(e, at, full.size(), value);
      continue;
    }
    at = e.find(short_form);
    if (at == std::string::npos || at == 0) continue;
    const size_t open = e.rfind('%', at - 1);
    if (open == std::string::npos) continue;
    e = Spliced(e, open, at + short_form.size() - open, value);
  }
  return e;
}

Intake RunSelection(const IntakeRequest& request, const rules::RuleRecord& rule, Context& context,
                    dm::Connection& connection, rules::RuleStore& store) {
  Intake intake;
  log::Log& log = context.log;
  runtime::Options& options = context.options;
  dmapi::SqlObject* sql = connection.sql();
  const bool ran = connection.RunSQL(request.statement);
  if (ran && sql && dm::SqlSucceeded(sql->GetSQLErrorCode())) {
    intake.matched = std::llabs(sql->GetRowCount());
  }
  const long long r = intake.matched;
  if (request.saved_index > 0 && request.saved_index <= store.SavedCount()) {
    rules::SavedStatement& saved = store.Saved(request.saved_index);
    saved.pending.clear();
    saved.row_count = Number(r);
  }
  log.SetStatus(Number(r) + " SQL value(s) match the folder template");
  log.Separator();
  long long to_read = r;
  if (r > request.row_limit && request.row_limit != 0 &&
      request.saved_statement.find("SELECT DISTINCT TOP ") != std::string::npos &&
      options.CheckReUseSQL == 0) {
    log.AddLogAndSeparator("Only the first " + Number(request.row_limit) +
                           " item(s) will be processed in this cycle");
    to_read = request.row_limit;
  }
  const std::string name = rule[RuleKey::kName];
  log.SetStatus("Reading " + Number(r) + " SQL rows for rule " + name);
  log.Separator();

  std::vector<std::string> headings;
  intake.columns = sql && r > 0 ? sql->ColumnCount() : 0;
  for (int c = 1; c <= intake.columns; ++c) headings.push_back(sql->ColumnName(c));
  intake.result.SetHeadings(headings);
  intake.emails.assign(static_cast<size_t>(to_read) + 1, "");
  const std::string email_template = rule[RuleKey::kEmailTemplate];
  int read = 0;
  if (to_read > 0 && sql && sql->MoveFirst()) {
    while (true) {
      ++read;
      std::vector<std::string> values;
      for (int c = 1; c <= intake.columns; ++c) {
        const std::string value = connection.Column(c);
        values.push_back(IsTableColumn(headings[static_cast<size_t>(c - 1)]) ? Trim(value) : value);
      }
      if (!email_template.empty()) {
        intake.emails[static_cast<size_t>(read)] =
            FillEmailTemplate(email_template, headings, values);
      }
      intake.result.AddRow(std::move(values));
      options.LabelTotal = Number(read);
      if (read % 100 == 0) context.ui.Yield();
      if (context.state.CancelRequested || read >= to_read || !sql->MoveNext()) break;
    }
  }
  if (sql) sql->ReleaseResults();
  if (context.state.CancelRequested) {
    intake.cancelled = true;
    return intake;
  }
  intake.rows_read = read;
  if (read == 0) return intake;
  log.SetStatus(Number(read) + " new folder(s) with " + Number(intake.columns) +
                " SQL item(s) will be processed.");
  log.Separator();
  const std::string connected = UCase(Trim(connection.LibraryName()));
  const std::string master = UCase(Trim(rule[RuleKey::kMasterfolderLibrary]));
  if (dmapi::LibraryList* libraries = connection.libraries()) {
    for (int i = 1; i <= libraries->Count(); ++i) {
      const std::string library = libraries->Name(i);
      const std::string upper = UCase(Trim(library));
      const bool search = upper == connected || (!master.empty() && upper == master);
      if (search) log.AddLog("Setting " + library + " as a Search Library");
      libraries->SetSearchFlag(i, search);
    }
  }
  log.Separator();
  return intake;
}

}  // namespace sproutsmith::templ
