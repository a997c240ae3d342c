#pragma once
// The main window: tabs General / Libraries / Options / Pause, the library/rule tree, the
// options, counters, results list and status label, Go and Exit, and the menus. The engine's
// models are the truth: the window writes the operator's changes into them at once and shows
// them again at every yield point, so a running cycle's counters and results move on screen.
// Clicks reach a running cycle only through the engine's flags.

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/engine.h"
#include "app/session.h"
#include "gui/qt_ui.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QWidget;

namespace sproutsmith::gui {

class CheckListBinding;
class CheckTreeBinding;
class LogViewerWindow;
class ResultsList;
class SplashWindow;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Works the engine's DM session (without an installation the tree and the maintenance
  // commands stay idle).
  MainWindow(app::Engine& engine, QtUi& ui, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Start-up (with "/G" its cycle) while the splash shows; then the window takes its place.
  void Start(const std::vector<std::string>& args);
  // The window catches up with the engine's models.
  void SyncFromModels();

  // Menu commands, also for tests.
  void ClickGo();
  void ClickExit();
  void OpenTrackingViewer();
  void OpenSavedSqlEditor(const std::string& library, const std::string& rule);
  void SetRuleToCurrent(const std::string& rule);
  void ResetRule(const std::string& rule);
  void ClearRunningNodes();
  // View Log: the desktop's viewer when it has one, else the program's own viewer.
  void ViewLog();
  // The log in the program's viewer at the section of the results list's row `row`.
  void OpenLogAt(int row);
  void ShowAbout();
  // The README shipped inside the program.
  void ShowReadme();

  // Where the DM configuration file is, for the About box.
  void SetDmConfiguration(const std::string& path) { dm_configuration_ = path; }

 signals:
  // The program end has run: the process may end.
  void programEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildGeneralTab();
  QWidget* BuildLibrariesTab();
  QWidget* BuildOptionsTab();
  QWidget* BuildPauseTab();
  void BuildMenus();
  void FillLibraryMenu(QMenu* menu);
  void FillRuleMenu(QMenu* menu, const std::vector<std::string>& rules,
                    void (MainWindow::*command)(const std::string&));
  QCheckBox* BindCheck(const char* name, const char* label, int& value);
  QLineEdit* BindText(const char* name, std::string& value);
  void SyncResults();
  void SyncProgress();
  LogViewerWindow* OwnViewer();
  void ApplyPlacement();
  // Pulls the window, frame and all, onto its screen.
  void KeepFrameOnScreen();
  void EndedCheck();
  bool ToolsAvailable() const;
  // The session's connected library (the menu's marks lag behind it until the first switch).
  std::string ConnectedLibrary();
  // Runs a maintenance command unless a cycle is running (its library must stay put).
  void RunTool(const std::function<void()>& command);

  app::Engine& engine_;
  QtUi& ui_;
  app::Session& session_;
  std::unique_ptr<SplashWindow> splash_;
  QTabWidget* tabs_ = nullptr;
  QLabel* library_label_ = nullptr;
  QLabel* locked_label_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* total_ = nullptr;
  QLabel* read_ = nullptr;
  QLabel* added_ = nullptr;
  QLabel* errors_ = nullptr;
  ResultsList* results_ = nullptr;
  QProgressBar* rule_progress_ = nullptr;
  QProgressBar* cycle_progress_ = nullptr;
  QLabel* rate_ = nullptr;
  QPointer<LogViewerWindow> viewer_;
  std::string dm_configuration_;
  QTreeWidget* rules_tree_ = nullptr;
  QTreeWidget* pause_days_ = nullptr;
  QPushButton* go_ = nullptr;
  QPushButton* exit_ = nullptr;
  QPushButton* log_dir_ = nullptr;
  QLineEdit* pause_start_ = nullptr;
  QLineEdit* pause_end_ = nullptr;
  QWidget* run_options_ = nullptr;
  QWidget* processing_options_ = nullptr;
  QMenu* library_menu_ = nullptr;
  QAction* time_stamp_ = nullptr;
  QAction* log_view_ = nullptr;
  QAction* log_purge_ = nullptr;
  QAction* readme_ = nullptr;
  std::vector<QAction*> tool_actions_;
  CheckTreeBinding* rules_binding_ = nullptr;
  CheckListBinding* pause_binding_ = nullptr;
  // Every bound check box and text box, refreshed from its model value at each sync.
  std::vector<std::function<void()>> refreshers_;
  bool placed_ = false;
  bool ended_signalled_ = false;
};

}  // namespace sproutsmith::gui
