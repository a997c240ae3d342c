#include "app/dm_session_seam.h"

#include <filesystem>

#include "platform/dmapi/demo_installation.h"
#include "platform/dmapi/installation.h"
#include "text/text.h"

namespace sproutsmith::app {

DmSessionSeam::DmSessionSeam(Context& context, std::unique_ptr<dmapi::Client> client,
                             std::string problem, std::string computer_name)
    : context_(context), client_(std::move(client)), problem_(std::move(problem)) {
  if (!client_) return;
  connection_ = std::make_unique<dm::Connection>(context_, *client_);
  rules_ = std::make_unique<rules::RuleStore>(context_, *connection_);
  rules_->Attach();
  nodes_ = std::make_unique<rules::RunningNodes>(context_, *connection_, computer_name);
  compiler_ = std::make_unique<templ::TemplateCompiler>(context_, *connection_, *rules_);
  builder_ = std::make_unique<folders::FolderBuilder>(context_, *connection_);
}

void DmSessionSeam::AttachHost(const SeamHost& host) {
  if (!connection_) return;
  // "Exit now?" after a failed object check ends the program once the current work returns.
  connection_->SetProgramEnd(host.end_program);
  tree_ = std::make_unique<LibraryTree>(context_, *connection_, *rules_, host.window);
  cycle_ = std::make_unique<ProcessingCycle>(
      CycleParts{context_, host.window, *connection_, *rules_, *nodes_, *compiler_, *tree_,
                 *builder_, host.lock_workstation, host.end_program, host.cycle_ended});
}

bool DmSessionSeam::StartFusion() {
  if (!connection_) {
    // The installation itself is missing or broken: say which file and why.
    context_.log.AddLog("Error: " + problem_);
    context_.log.Separator();
    return false;
  }
  return connection_->StartFusion();
}

std::vector<std::string> DmSessionSeam::LibraryNames() {
  return connection_ ? connection_->LibraryNames() : std::vector<std::string>{};
}

std::string DmSessionSeam::UserId() { return connection_ ? connection_->UserId() : ""; }

std::string DmSessionSeam::CurrentLibraryName() {
  return connection_ ? connection_->LibraryName() : "";
}

std::string DmSessionSeam::RunScalar(const std::string& sql) {
  if (!connection_ || !connection_->RunSQL(sql)) return "";
  auto* object = connection_->sql();
  std::string value;
  if (object && object->GetSQLErrorCode() == 0 && object->GetRowCount() > 0) {
    value = connection_->Column(1);
  }
  if (object) object->ReleaseResults();
  return value;
}

void DmSessionSeam::ActiveStatus(int mode, const std::string& rule) {
  if (nodes_) nodes_->ActiveStatus(mode, rule);
}

void DmSessionSeam::ReleaseObjects() {
  if (connection_) connection_->ReleaseObjects();
}

bool DmSessionSeam::Go() { return cycle_ ? cycle_->Go() : true; }

InstallationChoice OpenDmInstallation(const os::Clock& clock, const os::Environment& env,
                                      dmapi::DatabaseOpener opener) {
  InstallationChoice choice;
  const bool named = !env.Variable(dmapi::kConfigEnvironmentVariable).empty();
  const std::string path = dmapi::DefaultConfigPath(env);
  std::error_code ec;
  if (!named && !std::filesystem::exists(path, ec)) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    dmapi::DemoInstallation demo;
    if (Status s = dmapi::CreateDemoInstallation(folder, dmapi::DemoOptions{}, &demo); !s.ok()) {
      choice.problem = "Unable to create the demo DM installation in " + folder + ": " + s.text;
      return choice;
    }
    choice.created_demo = folder;
  }
  std::string error;
  choice.client = dmapi::OpenInstallation(path, &error, &clock, std::move(opener));
  if (!choice.client) choice.problem = error;
  return choice;
}

}  // namespace sproutsmith::app
