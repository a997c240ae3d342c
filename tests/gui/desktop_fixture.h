#pragma once
// The window program in a test: a real engine and DM session over SQLite demo libraries in a
// temporary folder, the real main window on Qt's offscreen platform, and message boxes and
// the library chooser answered from a script (every box recorded with its title).

#include <gtest/gtest.h>

#include <QApplication>
#include <QTreeWidget>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/dm_session_seam.h"
#include "app/engine.h"
#include "gui/main_window.h"
#include "gui/qt_ui.h"
#include "support/dm_installation.h"
#include "support/product_name.h"
#include "support/recording_launcher.h"
#include "support/temp_dir.h"

namespace sproutsmith::gui {

struct Box {
  std::string text;
  runtime::MessageStyle style;
  std::string title;
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
    ui_->SetMessagePresenter([this](const std::string& text, runtime::MessageStyle style,
                                    const std::string& title) {
      boxes_.push_back({text, style, title});
      if (style != runtime::MessageStyle::kYesNo && style != runtime::MessageStyle::kYesNoCancel) {
        return runtime::Answer::kNone;
      }
      if (answers_.empty()) return runtime::Answer::kNo;
      const runtime::Answer answer = answers_.front();
      answers_.pop_front();
      return answer;
    });
    ui_->SetLibraryChooser([this](const std::vector<std::string>&) {
      if (chosen_.empty()) return std::string();
      std::string library = chosen_.front();
      chosen_.pop_front();
      return library;
    });
    parts.ui = std::move(ui);
    parts.make_dm = [this](Context& context) -> std::unique_ptr<app::DmSeam> {
      auto made = std::make_unique<app::DmSessionSeam>(context, install_.OpenClient(), "", "PC1");
      seam_ = made.get();
      return made;
    };
    auto launcher = std::make_unique<testing::RecordingLauncher>();
    launcher->viewer = viewer_;
    launcher_ = launcher.get();
    parts.launcher = std::move(launcher);
    parts.environment = std::make_unique<os::FixedEnvironment>(env_);
    parts.screen = {20000, 12000};
    engine_ = std::make_unique<app::Engine>(std::move(parts));
    window_ = std::make_unique<MainWindow>(*engine_, *ui_, seam_);
    window_->Start(args);
    return *window_;
  }

  // Ends the program as the Exit button does (when it has not ended yet) and drops it.
  void Close() {
    if (window_ && !engine_->Ended()) window_->ClickExit();
    window_.reset();
    engine_.reset();
    seam_ = nullptr;
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
  static std::vector<std::string> Children(QTreeWidgetItem* item) {
    std::vector<std::string> texts;
    for (int i = 0; i < item->childCount(); ++i)
      texts.push_back(item->child(i)->text(0).toStdString());
    return texts;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const Box& box : boxes_) texts.push_back(box.text);
    return texts;
  }
  bool Shown(const std::string& text) const {
    for (const Box& box : boxes_) {
      if (box.text == text) return true;
    }
    return false;
  }
  std::vector<std::string> LogLines() const { return testing::ReadLines(engine_->LogPath()); }
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
  app::DmSessionSeam* seam_ = nullptr;
  testing::RecordingLauncher* launcher_ = nullptr;
  std::string viewer_ = "/usr/bin/xdg-open";  // the desktop's default viewer ("": none)
  std::vector<Box> boxes_;
  std::deque<runtime::Answer> answers_;
  std::deque<std::string> chosen_;
};

}  // namespace sproutsmith::gui
