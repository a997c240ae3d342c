// Running-node rows in QUIL_SETTINGS: clean-up, test, registration and the menu command
// that clears them all.

#include "rules/running_nodes.h"

#include <cstdlib>

#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::rules {

using text::Number;
using text::Trim;
using text::UCase;

namespace {

constexpr size_t kComputerNameBuffer = 255;

constexpr char kClearQuestion[] =
    "This procedure will reset your enterprise libraries to remove the RUNNING_NODES setting "
    "in the QUIL_SETTINGS table so that any library that is 'held' from processing (due to a "
    "crash of a computer running QUIL_SPROUTSMITH, or exiting the program via Task Manager). You "
    "should only run this procedure if NO computers are running QUIL_SPROUTSMITH on any library, "
    "otherwise unpredictable results may occur.\r\n\r\n"
    "Are you sure you want to run this procedure?";

// Puts the verbose-log option back however the call ends.
class LogMethodGuard {
 public:
  explicit LogMethodGuard(int& value) : value_(value), saved_(value) {}
  ~LogMethodGuard() { value_ = saved_; }
  LogMethodGuard(const LogMethodGuard&) = delete;
  LogMethodGuard& operator=(const LogMethodGuard&) = delete;

 private:
  int& value_;
  int saved_;
};

}  // namespace

RunningNodes::RunningNodes(Context& context, dm::Connection& connection,
                           std::string_view computer_name)
    : context_(context), connection_(connection) {
  const std::string_view name = computer_name.substr(0, computer_name.find('\0'));
  computer_name_ = std::string(name.substr(0, kComputerNameBuffer));
}

bool RunningNodes::ActiveStatus(int mode, std::string_view rule) {
  const std::string r(rule);
  return log::Trap(context_.log, "ActiveStatus", false, [&] { return ActiveStatusBody(mode, r); });
}

bool RunningNodes::ActiveStatusBody(int mode, const std::string& rule) {
  // Program end after a failed start has no library to clean up, and no session to check:
  // asking would log an error the failed start already reported.
  if (connection_.LibraryName().empty()) return false;
  if (!connection_.CheckFusion("ActiveStatus", dm::Repair::kNone, dm::OnFailure::kQuiet))
    return false;
  bool result = false;
  {
    LogMethodGuard guard(context_.options.CheckLogMethod);
    if (context_.options.CheckDisplayErrors == 0) context_.options.CheckLogMethod = 0;
    if (computer_name_.empty()) computer_name_ = connection_.UserId();

    const std::string computer = dm::SqlQuote(computer_name_);
    // Besides this computer's own rows, rows without text or time belong to nobody.
    connection_.RunStatement(
        "DELETE FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = "
        "'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES' AND ((CHAR_VAL LIKE '" +
        dm::LikeLiteral(computer) +
        ":%' OR CHAR_VAL IS NULL OR CHAR_VAL = '') OR DATE_VAL IS NULL)");

    if (!Trim(rule).empty() && mode != kCleanUpOnly) {
      if (mode == kRegisterRule) {
        if (!connection_.facts().IsOracle()) {
          connection_.RunStatement(
              "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, "
              "DATE_VAL) VALUES('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', '" +
              computer + ":" + dm::SqlQuote(rule) + "', GETDATE())");
        }
      } else if (mode == kTestRule) {
        result = AnotherComputerWorksOn(rule);
      }
    }
  }
  context_.ui.Yield();
  return result;
}

bool RunningNodes::ConfirmRegistration(std::string_view rule) {
  const std::string r(rule);
  return log::Trap(context_.log, "ActiveStatus", false, [&] {
    if (!connection_.CheckFusion("ActiveStatus", dm::Repair::kNone, dm::OnFailure::kQuiet) ||
        connection_.LibraryName().empty())
      return false;
    // Oracle libraries hold no rows: there is nothing to confirm against.
    if (connection_.facts().IsOracle()) return true;
    bool confirmed = false;
    {
      LogMethodGuard guard(context_.options.CheckLogMethod);
      if (context_.options.CheckDisplayErrors == 0) context_.options.CheckLogMethod = 0;
      confirmed = !AnotherComputerWorksOn(r);
    }
    if (!confirmed) ActiveStatusBody(kCleanUpOnly, "");
    return confirmed;
  });
}

bool RunningNodes::AnotherComputerWorksOn(const std::string& rule) {
  auto& log = context_.log;
  const std::string library = connection_.LibraryName();
  log.AddLogAndSeparator("Determining whether another computer is actively working on rule " +
                         rule + " in library " + library);
  bool found = false;
  const std::string me = UCase(Trim(computer_name_));
  const std::string wanted = UCase(Trim(rule));
  const auto row = [&] {
    const std::string value = Trim(connection_.Column(1));
    const size_t colon = value.find(':');
    // A hand-written row without "computer:" names no rule.
    if (value.empty() || colon == std::string::npos) return true;
    const std::string computer = UCase(Trim(value.substr(0, colon)));
    const std::string held = UCase(Trim(value.substr(colon + 1)));
    if (computer == me || held != wanted) return true;
    log.AddLogAndSeparator("Computer " + computer + " is actively working on rule " + rule +
                           " in library " + library + " since " + connection_.Column(2));
    found = true;
    return false;
  };
  connection_.RunQuery(
      "SELECT CHAR_VAL, DATE_VAL FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND "
      "SECTION_KEY = 'SPROUTSMITH' AND SUB_KEY = 'RUNNING_NODES'",
      row);
  return found;
}

void RunningNodes::ShowStatus(const std::string& text) {
  context_.options.LabelStatus = text;
  context_.ui.StatusChanged(text);
  context_.ui.Yield();
}

void RunningNodes::MNClearRunningNodes() {
  if (context_.ShowMessage(kClearQuestion, runtime::MessageStyle::kYesNo) !=
      runtime::Answer::kYes) {
    return;
  }
  const std::string status = context_.options.LabelStatus;
  context_.ui.SetBusy(true);
  log::TrapVoid(context_.log, "MNClearRunningNodes", [&] { ClearAllLibraries(); });
  context_.ui.SetBusy(false);
  ShowStatus(status);
}

void RunningNodes::ClearAllLibraries() {
  auto& log = context_.log;
  const std::string remembered = connection_.LibraryName();
  const std::vector<std::string> libraries = connection_.LibraryNames();
  long long count = 0;
  for (const std::string& name : libraries) {
    ShowStatus("Connecting to library " + name);
    if (!connection_.ConnectLibrary(name)) continue;
    log.SetStatus("Clearing library " + name);
    log.Separator();
    long long cleared = 0;
    connection_.RunStatement(
        "DELETE FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SUB_KEY = "
        "'RUNNING_NODES'",
        &cleared);
    count += std::llabs(cleared);
  }
  if (!remembered.empty()) connection_.ConnectLibrary(remembered);
  log.SetStatus("Finished clearing " + Number(count) + " item(s) from " + Number(libraries.size()) +
                " libraries");
  log.Separator();
}

}  // namespace sproutsmith::rules
