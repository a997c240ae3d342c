#include "app/installation_choice.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <vector>

#include "platform/dmapi/demo_installation.h"
#include "platform/os/status.h"

namespace sproutsmith::app {

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
      choice.problem = "the DM installation's configuration " + path + " does not exist: set " +
                       dmapi::kConfigEnvironmentVariable +
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
    std::cerr << "Created the demo DM installation in " << folder << std::endl;
  }
  std::string error;
  choice.client = dmapi::OpenInstallation(path, &error, &clock, std::move(opener));
  if (!choice.client) choice.problem = error;
  return choice;
}

}  // namespace sproutsmith::app
