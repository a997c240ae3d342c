#pragma once
// An engine on real files in a temporary folder, with a fixed clock, a scripted Ui, a
// recording launcher and a fixed environment; with or without a real DM installation.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/engine.h"
#include "support/dm_installation.h"
#include "support/product_name.h"
#include "support/recording_launcher.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {

class EngineTest : public ::testing::Test {
 protected:
  static constexpr const char* kProduct = testing::kProductName;

  EngineTest() {
    std::filesystem::create_directories(dir_.File("temp"));
    std::filesystem::create_directories(dir_.File("program"));
    env_.variables["TEMP"] = dir_.File("temp");
    env_.program_folder = dir_.File("program");
  }

  // Every part but the DM installation; the test keeps a pointer to the Ui.
  EngineParts NewEngineParts() {
    EngineParts parts;
    parts.clock = std::make_unique<os::FixedClock>(text::DateTime{2026, 12, 6, 9, 4, 29});
    parts.settings = std::make_unique<os::SettingsStore>(dir_.File("config"));
    auto ui = std::make_unique<testing::ScriptedUi>();
    ui_ = ui.get();
    parts.ui = std::move(ui);
    parts.launcher = std::make_unique<testing::RecordingLauncher>();
    parts.environment = std::make_unique<os::FixedEnvironment>(env_);
    parts.screen = {20000, 12000};
    return parts;
  }
  // The engine of a machine without a DM installation: start-up fails, saying why.
  Engine& BuildWithoutDm() {
    EngineParts parts = NewEngineParts();
    parts.installation.problem = kNoInstallation;
    engine_ = std::make_unique<Engine>(std::move(parts));
    return *engine_;
  }
  static constexpr const char* kNoInstallation = "the DM installation's configuration is missing";

  std::string DefaultLog() { return dir_.File(std::string("temp/") + kProduct + ".LOG"); }
  std::string DatedLog() { return dir_.File(std::string("temp/") + kProduct + "_20261206.LOG"); }
  // Mid-run, as at a row's end, the engine's lines so far; once it ended, what it wrote itself.
  std::vector<std::string> LogLines() {
    if (engine_ && !engine_->Ended()) engine_->log().Flush();
    return testing::ReadLines(DatedLog());
  }
  std::string Saved(const std::string& section, const std::string& key) {
    return os::SettingsStore(dir_.File("config")).Get(kProduct, section, key, "(absent)");
  }
  void Save(const std::string& section, const std::string& key, const std::string& value) {
    ASSERT_TRUE(os::SettingsStore(dir_.File("config")).Save(kProduct, section, key, value));
  }
  int Count(const std::string& fragment) { return testing::CountHolding(LogLines(), fragment); }
  std::string BuildLine() { return engine_->identity().BuildLine(); }
  static std::string Separator() { return std::string(70, '-'); }

  testing::TempDir dir_;
  os::FixedEnvironment env_;
  std::unique_ptr<Engine> engine_;
  testing::ScriptedUi* ui_ = nullptr;
};

// The engine over a real DM installation (SQLite libraries in the test's folder): the engine
// makes its DM session, as the program does.
class InstalledEngineTest : public EngineTest {
 protected:
  // `adjust` changes the parts before the engine is made (another file system, ...).
  Engine& BuildReal(const std::function<void(EngineParts&)>& adjust = {}) {
    EngineParts parts = NewEngineParts();
    parts.installation.client = install_.OpenClient();
    parts.stop_requested = [this] { return stop_; };
    parts.computer_name = "PC1";
    if (adjust) adjust(parts);
    engine_ = std::make_unique<Engine>(std::move(parts));
    session_ = &engine_->session();
    return *engine_;
  }
  std::string Report() { return engine_ ? testing::ReadFile(engine_->ReportPath()) : ""; }

  testing::DmInstallation install_;
  Session* session_ = nullptr;
  bool stop_ = false;  // what an outside stop request reads
};

}  // namespace sproutsmith::app
