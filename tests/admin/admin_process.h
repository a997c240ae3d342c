#pragma once
// sproutsmith-admin (or the program itself) run as a real child process over a test
// installation: SPROUTSMITH_DM names the installation, XDG_CONFIG_HOME a per-user settings
// folder of the test, TEMP the folder of the daily log.

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/program_process.h"
#include "platform/dmapi/demo_installation.h"
#include "platform/dmapi/installation.h"
#include "platform/os/settings_store.h"
#include "support/dm_installation.h"
#include "support/product_name.h"
#include "support/temp_dir.h"

#if !defined(SPROUTSMITH_ADMIN_BINARY) || !defined(SPROUTSMITH_PROGRAM)
#error "The build passes the paths of sproutsmith-admin and sproutsmith."
#endif

namespace sproutsmith::admin {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class AdminProcess {
 public:
  explicit AdminProcess(testing::DmInstallation& install)
      : AdminProcess(install.WriteConfig(), install.dir.path().string()) {}
  // Over the configuration file `config`; the tool's own folders go into `folder`.
  AdminProcess(std::string config, const std::string& folder)
      : config_(std::move(config)),
        home_(folder),
        settings_(folder + "/config/sproutsmith"),
        temp_(folder + "/temp"),
        work_(folder + "/work") {
    for (const std::string& f : {temp_, work_}) std::filesystem::create_directories(f);
  }

  // Runs the tool with `args`, `input` on its stdin (never a terminal).
  Outcome Run(const std::vector<std::string>& args, const std::string& input = "") const {
    return RunBinary(SPROUTSMITH_ADMIN_BINARY, args, input);
  }
  // One unattended cycle of the program itself over the same installation and settings.
  Outcome RunCycle() const { return RunBinary(SPROUTSMITH_PROGRAM, {"/G", "/X"}, ""); }

  Outcome RunBinary(const std::string& binary, const std::vector<std::string>& args,
                    const std::string& input) const {
    const std::string in = work_ + "/stdin", out = work_ + "/stdout", err = work_ + "/stderr";
    testing::WriteFile(in, input);
    testing::WriteFile(err, "");
    const pid_t pid =
        app::SpawnProgram(binary, args, app::ProgramEnvironment("", config_, home_), err, out, in);
    return {app::WaitProgram(pid), testing::ReadFile(out), testing::ReadFile(err)};
  }

  void SetSetting(const std::string& section, const std::string& key,
                  const std::string& value) const {
    os::SettingsStore store(settings_);
    store.Save(testing::kProductName, section, key, value);
  }
  std::string Setting(const std::string& section, const std::string& key) const {
    const os::SettingsStore store(settings_);
    return store.Get(testing::kProductName, section, key, "<absent>");
  }
  std::string SettingsFile() const {
    return testing::ReadFile(settings_ + "/" + testing::kProductName + ".ini");
  }
  // Every line of the daily logs written so far.
  std::string Log() const {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(temp_)) {
      if (entry.path().extension() == ".LOG") all += testing::ReadFile(entry.path().string());
    }
    return all;
  }
  const std::string& config() const { return config_; }
  // The folder of the daily log and the run reports.
  const std::string& temp() const { return temp_; }
  std::string WorkFile(const std::string& name, const std::string& content) const {
    testing::WriteFile(work_ + "/" + name, content);
    return work_ + "/" + name;
  }

 private:
  std::string config_, home_, settings_, temp_, work_;
};

// The demo installation a new user gets (three clients of two matters in DEMO), made in a
// temporary folder, with the tool over it.
struct DemoProcess {
  DemoProcess() {
    const dmapi::DemoOptions options{.data = {.clients = 3, .matters_per_client = 2}};
    const Status made = dmapi::CreateDemoInstallation(dir.File("dm"), options, &demo);
    if (!made.ok()) throw std::runtime_error(made.text);
    process = std::make_unique<AdminProcess>(demo.config_path, dir.path().string());
  }
  const std::string& DemoFile() const { return demo.library_paths.at(0); }
  const std::string& ArchiveFile() const { return demo.library_paths.at(1); }

  testing::TempDir dir;
  dmapi::DemoInstallation demo;
  std::unique_ptr<AdminProcess> process;
};

}  // namespace sproutsmith::admin
