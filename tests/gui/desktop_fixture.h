#pragma once
// The window program in a test: a real engine and DM session over SQLite demo libraries in a
// temporary folder, the real main window on Qt's offscreen platform, and message boxes and
// the library chooser answered from `script_` (every box recorded with its title).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/engine.h"
#include "app/session.h"
#include "gui/main_window.h"
#include "gui/qt_ui.h"
#include "support/dm_installation.h"
#include "support/product_name.h"
#include "support/recording_launcher.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace sproutsmith::gui {

// Runs `sample` at every pass of the event loop while it lives (a cycle's yield points).
class Sampler {
 public:
  explicit Sampler(std::function<void()> sample) {
    QObject::connect(&timer_, &QTimer::timeout, std::move(sample));
    timer_.start(0);
  }

 private:
  QTimer timer_;
};

class DesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (QApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "gui_tests";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);
    }
  }

  DesktopTest() {
    std::filesystem::create_directories(dir_.File("temp"));
    std::filesystem::create_directories(dir_.File("program"));
    env_.variables["TEMP"] = dir_.File("temp");
    env_.program_folder = dir_.File("program");
  }
  ~DesktopTest() override { Close(); }
  // Whatever a test did, every box the program showed carries its title.
  void TearDown() override {
    for (const testing::ShownMessage& box : script_.messages)
      EXPECT_EQ(box.title, "Arborline\u2122 Sproutsmith for OpenText eDOCS") << box.text;
  }

  void Install(const std::vector<testing::LibrarySpec>& libraries = {
                   {.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}}) {
    install_.Create(libraries);
  }

  // A new process over the installation and the per-user settings: engine and window, then
  // start-up with `args`.
  MainWindow& Open(const std::vector<std::string>& args = {}) {
    Close();
    app::EngineParts parts;
    parts.clock = std::make_unique<os::FixedClock>(text::DateTime{2026, 12, 6, 9, 4, 29});
    parts.settings = std::make_unique<os::SettingsStore>(dir_.File("config"));
    auto ui = std::make_unique<QtUi>(runtime::Identity().program_title);
    ui_ = ui.get();
    ui_->SetMessagePresenter(
        [this](const std::string& text, runtime::MessageStyle style, const std::string& title) {
          return script_.MessageBox(text, style, title);
        });
    ui_->SetLibraryChooser(
        [this](const std::vector<std::string>& names) { return script_.ChooseLibrary(names); });
    parts.ui = std::move(ui);
    parts.installation.client = install_.OpenClient();
    parts.computer_name = "PC1";
    auto launcher = std::make_unique<testing::RecordingLauncher>();
    launcher->viewer = viewer_;
    launcher_ = launcher.get();
    parts.launcher = std::move(launcher);
    parts.environment = std::make_unique<os::FixedEnvironment>(env_);
    parts.screen = {20000, 12000};
    engine_ = std::make_unique<app::Engine>(std::move(parts));
    session_ = &engine_->session();
    window_ = std::make_unique<MainWindow>(*engine_, *ui_);
    window_->Start(args);
    return *window_;
  }

  // Ends the program as the Exit button does (when it has not ended yet) and drops it.
  void Close() {
    if (window_ && !engine_->Ended()) window_->ClickExit();
    window_.reset();
    engine_.reset();
    session_ = nullptr;
    launcher_ = nullptr;
  }

  template <typename Widget>
  Widget* Find(const char* name) {
    Widget* widget = window_->findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QTreeWidgetItem* LibraryItem(const std::string& name) {
    QTreeWidget* tree = Find<QTreeWidget>("TVRules");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      if (tree->topLevelItem(i)->text(0).toStdString() == name) return tree->topLevelItem(i);
    }
    ADD_FAILURE() << "no library node " << name;
    return nullptr;
  }
  void Trigger(const char* action) { Find<QAction>(action)->trigger(); }
  std::string Saved(const std::string& section, const std::string& key) {
    return os::SettingsStore(dir_.File("config"))
        .Get(engine_ ? engine_->identity().product_name : testing::kProductName, section, key,
             "(absent)");
  }
  // Where screenshots go: build/screenshots/ (the temporary folder outside a build).
  std::string ScreenshotPath(const std::string& name) {
    const char* build = std::getenv("SPROUTSMITH_BUILD_DIR");
    const std::filesystem::path folder = build != nullptr
                                             ? std::filesystem::path(build) / "screenshots"
                                             : std::filesystem::path(dir_.File("screenshots"));
    std::filesystem::create_directories(folder);
    return (folder / name).string();
  }

  testing::TempDir dir_;
  os::FixedEnvironment env_;
  testing::DmInstallation install_;
  std::unique_ptr<app::Engine> engine_;
  std::unique_ptr<MainWindow> window_;
  QtUi* ui_ = nullptr;
  app::Session* session_ = nullptr;
  testing::RecordingLauncher* launcher_ = nullptr;
  std::string viewer_ = "/usr/bin/xdg-open";  // the desktop's default viewer ("": none)
  testing::ScriptedUi script_;                // answers and chosen libraries queued, boxes recorded
};

}  // namespace sproutsmith::gui
