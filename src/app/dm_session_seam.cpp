#include "app/dm_session_seam.h"

#include <unistd.h>

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

namespace {

// Made beside the per-user folder's files and moved in only when whole, the configuration
// last: a start that dies half-way leaves no file that blocks the next one.
Status MakeDemoInstallation(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    // Left by a start that died while making one; the run lock keeps out any other maker.
    if (entry.path().filename().string().starts_with(".demo-")) fs::remove_all(entry.path(), ec);
  }
  const fs::path aside = fs::path(folder) / (".demo-" + std::to_string(::getpid()));
  dmapi::DemoInstallation demo;
  Status made = dmapi::CreateDemoInstallation(aside.string(), dmapi::DemoOptions{}, &demo);
  std::vector<fs::path> moves;
  for (const std::string& library : demo.library_paths) moves.emplace_back(library);
  moves.emplace_back(demo.config_path);
  for (size_t i = 0; made.ok() && i < moves.size(); ++i) {
    fs::rename(moves[i], fs::path(folder) / moves[i].filename(), ec);
    if (ec) made = Status::Error(moves[i].string() + ": cannot be moved in: " + ec.message());
  }
  fs::remove_all(aside, ec);
  return made;
}

}  // namespace

InstallationChoice OpenDmInstallation(const os::Clock& clock, const os::Environment& env,
                                      bool may_make_demo, dmapi::DatabaseOpener opener) {
  InstallationChoice choice;
  const bool named = !env.Variable(dmapi::kConfigEnvironmentVariable).empty();
  const std::string path = dmapi::DefaultConfigPath(env);
  std::error_code ec;
  if (!named && !std::filesystem::exists(path, ec)) {
    if (!may_make_demo) {
      choice.problem = "the DM installation's configuration " + path +
                       " does not exist: set " + dmapi::kConfigEnvironmentVariable +
                       " to the installation's dm.conf, or make a trial one with " +
                       "sproutsmith-dm init-demo";
      return choice;
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (Status s = MakeDemoInstallation(folder); !s.ok()) {
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
