#include "app/session.h"

#include "app/rights_check.h"

namespace sproutsmith::app {

Session::Session(Context& context, MainWindowModel& window, InstallationChoice installation,
                 std::string computer_name, SessionHost host, bool read_only)
    : context_(context),
      client_(std::move(installation.client)),
      problem_(std::move(installation.problem)) {
  if (!client_) return;
  connection_ = std::make_unique<dm::Connection>(context_, *client_);
  connection_->SetReadOnly(read_only);
  // "Exit now?" after a failed object check ends the program once the current work returns.
  connection_->SetProgramEnd(host.end_program);
  rules_ = std::make_unique<rules::RuleStore>(context_, *connection_);
  rules_->Attach();
  nodes_ = std::make_unique<rules::RunningNodes>(context_, *connection_, computer_name);
  compiler_ = std::make_unique<templ::TemplateCompiler>(context_, *connection_, *rules_);
  builder_ = std::make_unique<folders::FolderBuilder>(context_, *connection_);
  tree_ = std::make_unique<LibraryTree>(context_, *connection_, *rules_, window);
  cycle_ = std::make_unique<ProcessingCycle>(CycleParts{
      context_, window, *connection_, *rules_, *nodes_, *compiler_, *tree_, *builder_,
      std::move(host.lock_workstation), std::move(host.end_program), std::move(host.cycle_ended)});
}

Session::~Session() { ReleaseObjects(); }

bool Session::StartFusion() {
  if (!connection_) {
    // The installation itself is missing or broken: say which file and why.
    context_.log.AddLogAndSeparator("Error: " + problem_);
    return false;
  }
  return connection_->StartFusion();
}

std::vector<std::string> Session::LibraryNames() const {
  return connection_ ? connection_->LibraryNames() : std::vector<std::string>{};
}

std::string Session::UserId() const { return connection_ ? connection_->UserId() : ""; }

std::string Session::CurrentLibraryName() const {
  return connection_ ? connection_->LibraryName() : "";
}

bool Session::UserMayRunProgram() {
  if (!connection_) return false;
  const dm::FirstRow count = connection_->ReadFirstRow(RightsCheckSql(connection_->UserId()));
  return count.succeeded && count.Number(1) != 0;
}

void Session::ActiveStatus(int mode, const std::string& rule) {
  if (nodes_) nodes_->ActiveStatus(mode, rule);
}

void Session::ReleaseObjects() {
  if (connection_) connection_->ReleaseObjects();
}

bool Session::Go() { return cycle_ ? cycle_->Go() : true; }

}  // namespace sproutsmith::app
