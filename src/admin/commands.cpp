#include "admin/commands.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "admin/admin_session.h"
#include "admin/admin_ui.h"
#include "admin/doctor.h"
#include "admin/general_options.h"
#include "admin/rule_preview.h"
#include "admin/run_status.h"
#include "app/saved_options.h"
#include "platform/dmapi/installation.h"
#include "platform/os/environment.h"
#include "platform/os/file_system.h"
#include "text/text.h"
#include "tools/node_cleanup.h"
#include "tools/rule_baseline.h"
#include "tools/saved_sql.h"
#include "tools/tracking_viewer.h"

namespace sproutsmith::admin {

using text::EqualsNoCase;
using text::Trim;
using text::UCase;

namespace {

inline constexpr int kDefaultPreviewRows = 20;

struct Arguments {
  std::vector<std::string> words;  // the command and its operands
  std::optional<int> limit;        // --limit N
  bool yes = false;
  bool rows = false;
  bool all_computers = false;
  bool help = false;
};

// A failure with its one-line reason.
struct Failure {
  std::string reason;
};

std::string MarkOf(bool checked) { return checked ? "[x]" : "[ ]"; }

std::string Joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

class Admin {
 public:
  using Command = int (Admin::*)(const std::vector<std::string>&);
  // A line of the help text: the command's form and what it does (a '\n' starts a line
  // under the first).
  struct Synopsis {
    const char* form;
    const char* what;
  };
  // Each command once: its name, how many operands it takes, what runs it and its help.
  struct Entry {
    const char* heading;  // of the help text's group the command belongs to
    const char* name;
    size_t fewest;
    size_t most;
    Command run;
    std::vector<Synopsis> usage;
  };
  static const std::vector<Entry>& Commands();

  Admin(const Arguments& args, std::istream& in, std::ostream& out, std::ostream& err,
        bool in_is_terminal)
      : args_(args),
        in_(in),
        out_(out),
        err_(err),
        ui_(in, out, args.yes, in_is_terminal),
        session_(ui_) {}

  int Run();

 private:
  int Usage(const std::string& problem);
  int Fail(const std::string& reason);
  std::string Operand(size_t index) const { return args_.words.at(index); }

  void StartDm(bool read_only = false);
  std::string Library(const std::string& name, bool read_only = false);
  // The rule as `library` names it; a rule the library does not have is refused.
  std::string Rule(const std::string& library, const std::string& name);
  // The rule as the rule store names it: trimmed, capitals.
  static std::string RuleName(const std::string& name) { return UCase(Trim(name)); }
  // The library's tree node with its rules loaded (and their saved marks).
  app::LibraryNode ExpandedNode(const std::string& library);
  // Chooses `library` the way the window's maintenance commands let the operator choose.
  tools::LibraryChooser ChooserOf(const std::string& library);

  int Libraries(const std::vector<std::string>& operands);
  int Check(const std::vector<std::string>& operands);
  int Uncheck(const std::vector<std::string>& operands);
  int SetMark(const std::vector<std::string>& operands, bool checked);
  int Reset(const std::vector<std::string>& operands);
  int SetCurrent(const std::vector<std::string>& operands);
  int Options(const std::vector<std::string>& operands);
  int Option(const std::vector<std::string>& operands);
  int Baseline(const std::vector<std::string>& operands, bool reset);
  int Tracking(const std::vector<std::string>& operands);
  int Untrack(const std::vector<std::string>& operands);
  int Sql(const std::vector<std::string>& operands);
  int ClearNodes(const std::vector<std::string>& operands);
  int RunStatus(const std::vector<std::string>& operands);
  int Preview(const std::vector<std::string>& operands);
  int Doctor(const std::vector<std::string>& operands);

  const Arguments& args_;
  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
  AdminUi ui_;
  AdminSession session_;
};

const std::vector<Admin::Entry>& Admin::Commands() {
  constexpr size_t kAny = static_cast<size_t>(-1);
  constexpr const char* kMarks =
      "Libraries and rules (the marks that choose what a cycle works on):";
  constexpr const char* kOptions = "Options (the General settings):";
  constexpr const char* kTracking = "Tracking rows (QUIL_SPROUTSMITH):";
  static const std::vector<Entry> commands = {
      {kMarks,
       "libraries",
       0,
       0,
       &Admin::Libraries,
       {{"libraries", "each library and its rules with their marks"}}},
      {kMarks,
       "check",
       1,
       1,
       &Admin::Check,
       {{"check LIB | LIB:RULE", "mark a library or a rule [x]"}}},
      {kMarks,
       "uncheck",
       1,
       1,
       &Admin::Uncheck,
       {{"uncheck LIB | LIB:RULE", "clear the mark [ ]"}}},
      {kOptions, "options", 0, 0, &Admin::Options, {{"options", "every option with its value"}}},
      {kOptions,
       "option",
       1,
       2,
       &Admin::Option,
       {{"option NAME", "one option's value"},
        {"option NAME VALUE", "set it (booleans: yes/no, -1/0; numbers 0 or more;\ntimes HH:MM)"}}},
      {kTracking,
       "reset",
       2,
       2,
       &Admin::Reset,
       {{"reset LIB RULE", "forget every row the rule has processed"}}},
      {kTracking,
       "set-current",
       2,
       2,
       &Admin::SetCurrent,
       {{"set-current LIB RULE", "record every row that exists now as processed"}}},
      {kTracking,
       "tracking",
       1,
       2,
       &Admin::Tracking,
       {{"tracking LIB [RULE] [--rows]", "rows per rule and table (--rows: each row)"}}},
      {kTracking,
       "untrack",
       4,
       kAny,
       &Admin::Untrack,
       {{"untrack LIB RULE TABLE SID...", "remove the given rows"}}},
      {"Saved statement of a rule:",
       "sql",
       1,
       kAny,
       &Admin::Sql,
       {{"sql show LIB RULE", "print it"},
        {"sql set LIB RULE FILE|-", "replace it by the text of FILE (- : stdin)"},
        {"sql clear LIB RULE", "remove it"},
        {"sql test LIB RULE", "run it and count its rows"}}},
      {"Runs:",
       "status",
       0,
       0,
       &Admin::RunStatus,
       {{"status",
         "each rule's last run, the unchecked libraries and\nwhether a run is under way, "
         "from the run reports"}}},
      {"Running-node rows:",
       "clear-nodes",
       0,
       1,
       &Admin::ClearNodes,
       {{"clear-nodes [LIB]", "clear this computer's rows (all libraries)"},
        {"clear-nodes --all-computers", "clear every computer's rows in every library"}}},
      {"Before scheduling:",
       "preview",
       2,
       2,
       &Admin::Preview,
       {{"preview LIB RULE [--limit N]",
         "a dry run: the rule's statement, its row count and\nthe folder path of the first N rows "
         "(default 20),\neach folder marked existing or new; writes nothing"}}},
      {"Before scheduling:",
       "doctor",
       0,
       0,
       &Admin::Doctor,
       {{"doctor",
         "check the installation, the libraries, the log\nfolder and the General "
         "settings (OK or FAIL each)"}}},
  };
  return commands;
}

int Admin::Usage(const std::string& problem) {
  err_ << "sproutsmith-admin: " << problem << "\n(see sproutsmith-admin --help)" << std::endl;
  return kExitUsage;
}

int Admin::Fail(const std::string& reason) {
  out_.flush();
  err_ << "sproutsmith-admin: " << reason << std::endl;
  return kExitFailure;
}

void Admin::StartDm(bool read_only) {
  if (Status started = session_.StartDm(read_only); !started.ok()) throw Failure{started.text};
}

std::string Admin::Library(const std::string& name, bool read_only) {
  StartDm(read_only);
  const std::string library = session_.FindLibrary(name);
  if (library.empty()) {
    throw Failure{"no library " + Trim(name) +
                  " in this DM session (libraries: " + Joined(session_.Libraries()) + ")"};
  }
  return library;
}

std::string Admin::Rule(const std::string& library, const std::string& name) {
  const std::string wanted = RuleName(name);
  if (wanted.empty()) throw Failure{"no rule name given"};
  std::vector<std::string> names;
  for (const app::CheckNode& rule : ExpandedNode(library).rules) {
    if (EqualsNoCase(Trim(rule.text), wanted)) return rule.text;
    names.push_back(rule.text);
  }
  throw Failure{"no rule " + Trim(name) + " under library " + library +
                " (rules: " + (names.empty() ? std::string("none") : Joined(names)) + ")"};
}

app::LibraryNode Admin::ExpandedNode(const std::string& library) {
  app::LibraryNode node = app::ReadLibraryNode(session_.settings(), session_.product(), library);
  session_.tree().ExpandLibraryNode(node);
  return node;
}

tools::LibraryChooser Admin::ChooserOf(const std::string& library) {
  return [this, library] {
    ui_.SetLibraryChoice(library);
    return session_.tree().SelectLibrary();
  };
}

int Admin::Run() {
  const std::vector<std::string>& w = args_.words;
  if (args_.help) {
    out_ << admin::Usage();
    return kExitDone;
  }
  if (w.empty()) return Usage("no command given");
  const std::string command = w[0];
  if (args_.limit && command != "preview") return Usage("--limit is an option of preview");
  const std::vector<std::string> operands(w.begin() + 1, w.end());
  for (const Entry& entry : Commands()) {
    if (command != entry.name) continue;
    if (operands.size() < entry.fewest || operands.size() > entry.most) {
      return Usage("wrong number of arguments for " + command);
    }
    try {
      return (this->*entry.run)(operands);
    } catch (const Failure& failure) {
      return Fail(failure.reason);
    }
  }
  return Usage("unknown command " + command);
}

int Admin::Check(const std::vector<std::string>& operands) { return SetMark(operands, true); }
int Admin::Uncheck(const std::vector<std::string>& operands) { return SetMark(operands, false); }
int Admin::Reset(const std::vector<std::string>& operands) { return Baseline(operands, true); }
int Admin::SetCurrent(const std::vector<std::string>& operands) {
  return Baseline(operands, false);
}

int Admin::RunStatus(const std::vector<std::string>&) {
  return ShowStatus(session_.ConfiguredLogFile(), dmapi::DefaultConfigPath(os::SystemEnvironment()),
                    os::ComputerName(), out_);
}

int Admin::Libraries(const std::vector<std::string>&) {
  StartDm();
  std::vector<std::string> unreachable;
  for (const std::string& library : session_.Libraries()) {
    const bool saved =
        app::ReadLibraryNode(session_.settings(), session_.product(), library).checked;
    out_ << MarkOf(saved) << ' ' << library;
    if (const std::string reason = session_.WhyUnreachable(library); !reason.empty()) {
      out_ << "  (unreachable: " << reason << ")\n";
      unreachable.push_back(library);
      continue;
    }
    out_ << '\n';
    const app::LibraryNode node = ExpandedNode(library);
    for (const app::CheckNode& rule : node.rules) {
      out_ << "    " << MarkOf(rule.checked) << ' ' << rule.text << '\n';
    }
    if (node.rules.empty()) out_ << "    (no rules)\n";
  }
  if (!unreachable.empty()) throw Failure{"unreachable: " + Joined(unreachable)};
  return kExitDone;
}

int Admin::SetMark(const std::vector<std::string>& operands, bool checked) {
  const std::string& target = operands[0];
  const size_t colon = target.find(':');
  const std::string library = Library(target.substr(0, colon));
  os::SettingsStore& settings = session_.settings();
  if (colon == std::string::npos) {
    if (!settings.Save(session_.product(), app::kLibraries, library, app::MarkText(checked))) {
      throw Failure{"unable to write " + settings.FilePath(session_.product())};
    }
    out_ << MarkOf(checked) << ' ' << library << '\n';
    return kExitDone;
  }
  const std::string rule = Rule(library, target.substr(colon + 1));
  if (!settings.Save(session_.product(), app::kRules, app::RuleKey(library, rule),
                     app::MarkText(checked))) {
    throw Failure{"unable to write " + settings.FilePath(session_.product())};
  }
  out_ << MarkOf(checked) << ' ' << library << ':' << rule << '\n';
  return kExitDone;
}

int Admin::Options(const std::vector<std::string>&) {
  for (const GeneralOption& option : GeneralOptions()) {
    Option({option.key});
  }
  return kExitDone;
}

int Admin::Option(const std::vector<std::string>& operands) {
  const GeneralOption* option = FindGeneralOption(operands[0]);
  if (option == nullptr) {
    throw Failure{"unknown option " + operands[0] + " (options: " + GeneralOptionNames() + ")"};
  }
  os::SettingsStore& settings = session_.settings();
  const std::string& product = session_.product();
  if (operands.size() == 2) {
    const std::optional<std::string> value = NormalizeOptionValue(*option, operands[1]);
    if (!value) throw Failure{"not a value for " + std::string(option->key) + ": " + operands[1]};
    if (!settings.Save(product, app::kGeneral, option->key, *value)) {
      throw Failure{"unable to write " + settings.FilePath(product)};
    }
  }
  std::string fallback = option->fallback;
  if (EqualsNoCase(option->key, "LogFile")) fallback = session_.context().state.LogFile;
  const std::string value = settings.Get(product, app::kGeneral, option->key, "\x01");
  if (value == "\x01") {
    out_ << option->key << " = " << fallback << " (default)\n";
  } else {
    out_ << option->key << " = " << value << '\n';
  }
  return kExitDone;
}

int Admin::Baseline(const std::vector<std::string>& operands, bool reset) {
  const std::string library = Library(operands[0]);
  const std::string rule = Rule(library, operands[1]);
  Context& context = session_.context();
  tools::RuleBaseline baseline(context, session_.connection(), session_.rules());
  const tools::BaselineOutcome outcome = reset
                                             ? baseline.ResetRule(rule, ChooserOf(library))
                                             : baseline.SetRuleToCurrent(rule, ChooserOf(library));
  using tools::BaselineStatus;
  switch (outcome.status) {
    case BaselineStatus::kCompleted:
    case BaselineStatus::kNothingToReset:
      return kExitDone;
    case BaselineStatus::kDeclined:
      throw Failure{"not confirmed: nothing was changed"};
    case BaselineStatus::kNoLibrary:
      throw Failure{"unable to connect to library " + library};
    case BaselineStatus::kNoSettingsTable:
      throw Failure{"library " + library + " has no QUIL_SETTINGS table"};
    case BaselineStatus::kRuleNotFound:
      throw Failure{"Rule " + rule + " not found in library " + library};
    case BaselineStatus::kUnparsable:
      throw Failure{"the template of rule " + rule + " could not be parsed"};
    case BaselineStatus::kFailed:
      break;
  }
  throw Failure{"the command broke off (see " + session_.LogFile() + ")"};
}

int Admin::Tracking(const std::vector<std::string>& operands) {
  const std::string library = Library(operands[0]);
  const std::string rule = operands.size() > 1 ? Rule(library, operands[1]) : "";
  tools::TrackingViewer viewer(session_.context(), session_.connection());
  if (!viewer.Open(ChooserOf(library)))
    throw Failure{"unable to list QUIL_SPROUTSMITH in " + library};
  std::vector<tools::TrackingRow> rows;
  for (const tools::TrackingRow& row : viewer.rows()) {
    if (rule.empty() || EqualsNoCase(Trim(row.rule), rule)) rows.push_back(row);
  }
  out_ << viewer.caption() << '\n';
  if (args_.rows) {
    out_ << "RULE\tTABLE\tSID\n";
    for (const tools::TrackingRow& row : rows) {
      out_ << row.rule << '\t' << row.table << '\t' << row.sid << '\n';
    }
  } else {
    out_ << "RULE\tTABLE\tROWS\n";
    for (const tools::TrackingCount& c : tools::CountByRuleAndTable(rows)) {
      out_ << c.rule << '\t' << c.table << '\t' << c.rows << '\n';
    }
  }
  return kExitDone;
}

int Admin::Untrack(const std::vector<std::string>& operands) {
  for (size_t i = 3; i < operands.size(); ++i) {
    if (!text::IsNumeric(operands[i])) return Usage("not a SID: " + operands[i]);
  }
  const std::string library = Library(operands[0]);
  Rule(library, operands[1]);
  tools::TrackingViewer viewer(session_.context(), session_.connection());
  if (!viewer.Open(ChooserOf(library)))
    throw Failure{"unable to list QUIL_SPROUTSMITH in " + library};
  // The rows are picked from the listing, as in the window, so the names are the stored ones.
  std::vector<tools::TrackingRow> selected;
  for (size_t i = 3; i < operands.size(); ++i) {
    bool found = false;
    for (const tools::TrackingRow& row : viewer.rows()) {
      if (!EqualsNoCase(Trim(row.rule), Trim(operands[1])) ||
          !EqualsNoCase(Trim(row.table), Trim(operands[2])) ||
          text::Val(row.sid) != text::Val(operands[i])) {
        continue;
      }
      found = true;
      bool listed = false;
      for (const tools::TrackingRow& s : selected) listed = listed || s == row;
      if (!listed) selected.push_back(row);
    }
    if (!found) {
      err_ << "sproutsmith-admin: not tracked: " << operands[1] << ' ' << operands[2] << ' '
           << operands[i] << '\n';
    }
  }
  if (selected.empty()) throw Failure{"none of the given rows is tracked in " + library};
  if (!viewer.Remove(selected)) throw Failure{"not confirmed: nothing was changed"};
  return kExitDone;
}

int Admin::Sql(const std::vector<std::string>& operands) {
  const std::string& action = operands[0];
  const size_t wanted = action == "set" ? 4 : 3;
  if ((action != "show" && action != "set" && action != "clear" && action != "test") ||
      operands.size() != wanted) {
    return Usage("sql takes show, clear or test LIB RULE, or set LIB RULE FILE|-");
  }
  std::string statement;
  if (action == "set") {
    const std::string& file = operands[3];
    if (file == "-") {
      ui_.StopAsking();
      statement.assign(std::istreambuf_iterator<char>(in_), std::istreambuf_iterator<char>());
    } else {
      if (!os::ReadWholeFile(file, &statement).ok()) throw Failure{"unable to read " + file};
    }
  }
  const std::string library = Library(operands[1]);
  const std::string rule = Rule(library, operands[2]);
  dm::Connection& connection = session_.connection();
  if (!connection.ConnectLibrary(library)) throw Failure{"unable to connect to library " + library};
  if (session_.rules().Find(connection.LibraryName(), rule) == 0) {
    throw Failure{"Rule " + rule + " not found in library " + library};
  }
  tools::SavedSqlEditor editor(session_.context(), connection, session_.rules(), library, rule);
  const std::string saved = editor.Open();
  if (action == "show") {
    if (saved.empty()) {
      err_ << "sproutsmith-admin: rule " << rule << " in library " << library
           << " has no saved statement\n";
    } else {
      out_ << saved << '\n';
    }
    return kExitDone;
  }
  if (action == "test") {
    if (saved.empty())
      throw Failure{"rule " + rule + " in library " + library + " has no saved statement"};
    if (editor.Test(saved) != tools::TestResult::kPassed)
      throw Failure{"the saved statement failed"};
    return kExitDone;
  }
  switch (editor.Save(statement, tools::Testing::kRequired)) {
    case tools::SaveResult::kSaved:
      if (const size_t parts = tools::SplitParts(tools::EncodeSpaces(statement)).size();
          parts > 3) {
        err_ << "sproutsmith-admin: warning: the statement is stored in " << parts
             << " parts; the program reads only the first three\n";
      }
      return kExitDone;
    case tools::SaveResult::kCleared:
      return kExitDone;
    case tools::SaveResult::kNotSaved:
      throw Failure{"nothing was saved"};
    case tools::SaveResult::kUntested:
      throw Failure{"not tested: nothing was saved (--yes tests it and saves it if it passes)"};
    case tools::SaveResult::kWriteFailed:
      break;
  }
  throw Failure{"the statement could not be written (see " + session_.LogFile() + ")"};
}

int Admin::ClearNodes(const std::vector<std::string>& operands) {
  if (args_.all_computers) {
    if (!operands.empty()) return Usage("--all-computers clears every library");
    StartDm();
    session_.nodes().MNClearRunningNodes();
    if (ui_.last_answer() != runtime::Answer::kYes) {
      throw Failure{"not confirmed: nothing was changed"};
    }
    // The command's outcome is its last status line; the status shown before comes back.
    for (const std::string& status : ui_.statuses()) {
      if (text::StartsWith(status, "Finished clearing ")) out_ << status << '\n';
    }
    return kExitDone;
  }
  std::vector<std::string> libraries;
  if (operands.empty()) {
    StartDm();
    libraries = session_.Libraries();
  } else {
    libraries.push_back(Library(operands[0]));
  }
  const std::vector<std::string> cleared = tools::ClearComputerNodes(
      session_.context(), session_.connection(), session_.nodes(), libraries);
  for (const std::string& library : cleared) {
    out_ << "Cleared the running-node rows of " << session_.nodes().ComputerName() << " in "
         << library << '\n';
  }
  if (cleared.size() != libraries.size()) {
    throw Failure{"unable to connect to every library (cleared: " + Joined(cleared) + ")"};
  }
  return kExitDone;
}

int Admin::Preview(const std::vector<std::string>& operands) {
  const std::string library = Library(operands[0], true);
  const std::string rule = Rule(library, operands[1]);
  const int limit = args_.limit.value_or(kDefaultPreviewRows);
  const RulePreview preview = PreviewRule(session_.context(), session_.connection(),
                                          session_.rules(), library, rule, limit);
  if (!preview.problem.empty()) throw Failure{preview.problem};
  out_ << "Preview of rule " << rule << " in library " << library
       << " (a dry run: nothing is written)\n"
       << "Statement:\n"
       << preview.statement << '\n'
       << "Rows selected: " << preview.matched;
  if (preview.rows_read != preview.matched) out_ << " (a cycle takes " << preview.rows_read << ")";
  out_ << '\n';
  std::set<std::string> created;  // a folder several rows lead to is made once
  for (size_t r = 0; r < preview.rows.size(); ++r) {
    out_ << "Row " << r + 1 << ":\n";
    const PreviewRow& row = preview.rows[r];
    if (row.no_folders) out_ << "  (level 1 is blank: no folders for this row)\n";
    for (const PreviewFolder& folder : row.folders) {
      std::string mark;
      switch (folder.state) {
        case PreviewFolder::State::kExists:
          mark = "exists #" + std::to_string(folder.number);
          break;
        case PreviewFolder::State::kNew:
          mark = "new";
          created.insert(UCase(folder.library) + "\n" + UCase(folder.path));
          break;
        case PreviewFolder::State::kBlank:
          out_ << "  (level " << folder.level << " is blank: skipped)\n";
          continue;
        case PreviewFolder::State::kSearchFailed:
          mark = "search failed";
          break;
      }
      out_ << "  " << mark << std::string(mark.size() < 13 ? 13 - mark.size() : 1, ' ')
           << folder.path;
      if (!EqualsNoCase(folder.library, library)) out_ << "  (in library " << folder.library << ")";
      if (!folder.found_name.empty()) {
        out_ << (folder.renamed ? "  (renamed from \"" : "  (found as \"") << folder.found_name
             << "\")";
      }
      if (folder.state == PreviewFolder::State::kSearchFailed) out_ << "  (the row stops here)";
      out_ << '\n';
    }
  }
  if (preview.rows.size() < static_cast<size_t>(preview.rows_read)) {
    out_ << "(" << preview.rows_read - static_cast<int>(preview.rows.size())
         << " more row(s) not shown; --limit N shows more)\n";
  }
  out_ << "Folders a cycle would create for the rows shown: " << created.size() << '\n';
  return kExitDone;
}

int Admin::Doctor(const std::vector<std::string>&) {
  int failed = 0;
  for (const DoctorCheck& check :
       RunDoctorChecks(os::SystemEnvironment(), session_.settings(), session_.product(),
                       session_.context().state.LogFile)) {
    if (check.ok) {
      out_ << "OK   " << check.what << '\n';
    } else {
      out_ << "FAIL " << check.what << ": " << check.fix << '\n';
      ++failed;
    }
  }
  if (failed > 0) throw Failure{std::to_string(failed) + " check(s) failed"};
  return kExitDone;
}

}  // namespace

std::string Usage() {
  std::string text =
      "Usage: sproutsmith-admin COMMAND [ARGUMENTS] [--yes]\n"
      "\n"
      "The maintenance tasks of Sproutsmith, on the DM installation the program uses\n"
      "(SPROUTSMITH_DM, else the per-user one) and its per-user settings. Messages are\n"
      "printed and narrated in the program's daily log.\n";
  std::string heading;
  for (const Admin::Entry& entry : Admin::Commands()) {
    if (entry.heading != heading) {
      heading = entry.heading;
      text += "\n" + heading + "\n";
    }
    for (const Admin::Synopsis& line : entry.usage) {
      std::string form = std::string("  ") + line.form;
      form.resize(std::max<size_t>(form.size(), 30), ' ');
      std::string what = line.what;
      for (size_t at = what.find('\n'); at != std::string::npos; at = what.find('\n', at + 1)) {
        what.insert(at + 1, 31, ' ');
      }
      text += form + " " + what + "\n";
    }
  }
  return text +
         "\n"
         "A command that names a library or a rule refuses one the installation does not\n"
         "have, before it asks anything. Questions are answered Yes by --yes; on a\n"
         "terminal they are asked, otherwise the answer is No and nothing changes. sql set\n"
         "saves only a statement that was tested and passed.\n"
         "Exit status: 0 done, 1 failure (reason on stderr), 2 usage error.\n"
         "--help prints this text, --version the version and the commit it was built from.\n";
}

int RunAdmin(const std::vector<std::string>& raw, std::istream& in, std::ostream& out,
             std::ostream& err, bool in_is_terminal) {
  Arguments args;
  for (size_t i = 0; i < raw.size(); ++i) {
    const std::string& a = raw[i];
    if (a == "--limit") {
      const std::string n = i + 1 < raw.size() ? raw[++i] : "";
      if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos || n.size() > 6 ||
          std::stoi(n) < 1) {
        err << "sproutsmith-admin: --limit takes a number of rows of 1 or more\n"
            << "(see sproutsmith-admin --help)" << std::endl;
        return kExitUsage;
      }
      args.limit = std::stoi(n);
    } else if (a == "--yes" || a == "-y") {
      args.yes = true;
    } else if (a == "--rows") {
      args.rows = true;
    } else if (a == "--all-computers") {
      args.all_computers = true;
    } else if (a == "--help" || a == "-h") {
      args.help = true;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      err << "sproutsmith-admin: unknown option " << a << "\n(see sproutsmith-admin --help)"
          << std::endl;
      return kExitUsage;
    } else {
      args.words.push_back(a);
    }
  }
  Admin admin(args, in, out, err, in_is_terminal);
  return admin.Run();
}

}  // namespace sproutsmith::admin
