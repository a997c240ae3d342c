#include "gui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/library_tree.h"
#include "app/pause.h"
#include "gui/check_tree_binding.h"
#include "gui/resources.h"
#include "gui/saved_sql_dialog.h"
#include "gui/splash_window.h"
#include "gui/tracking_viewer_dialog.h"
#include "tools/node_cleanup.h"
#include "tools/rule_baseline.h"
#include "tools/saved_sql.h"
#include "tools/tracking_viewer.h"

namespace sproutsmith::gui {

namespace {

constexpr long kTwipsPerPixel = 15;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The window system stores colours as 0xBBGGRR.
QString CssColour(long bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF))
      .name();
}

void SetTextIfChanged(QLabel* label, const std::string& text) {
  const QString value = Q(text);
  if (label->text() != value) label->setText(value);
}

QLabel* Counter(const char* name, QWidget* parent) {
  auto* label = new QLabel("0", parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setFrameShape(QFrame::StyledPanel);
  label->setMinimumWidth(48);
  return label;
}

}  // namespace

MainWindow::MainWindow(app::Engine& engine, QtUi& ui, app::DmSessionSeam* seam, QWidget* parent)
    : QMainWindow(parent), engine_(engine), ui_(ui), seam_(seam), splash_(new SplashWindow) {
  RegisterResources();
  setObjectName("MainWindow");
  setWindowIcon(QIcon(":/sproutsmith.svg"));
  setWindowTitle(Q(engine_.identity().window_caption));

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);

  auto* top = new QHBoxLayout;
  library_label_ = new QLabel(central);
  library_label_->setObjectName("LabelLibraryName");
  library_label_->setToolTip("Right-click here to change current library");
  library_label_->setContextMenuPolicy(Qt::CustomContextMenu);
  locked_label_ = new QLabel("Options locked", central);
  locked_label_->setObjectName("LabelLocked");
  locked_label_->setStyleSheet("color: #a00000; font-weight: bold;");
  top->addWidget(library_label_, 1);
  top->addWidget(locked_label_);
  layout->addLayout(top);

  tabs_ = new QTabWidget(central);
  tabs_->setObjectName("TabStrip");
  tabs_->addTab(BuildGeneralTab(), "General");
  tabs_->addTab(BuildLibrariesTab(), "Libraries");
  tabs_->addTab(BuildOptionsTab(), "Options");
  tabs_->addTab(BuildPauseTab(), "Pause");
  layout->addWidget(tabs_, 1);

  status_ = new QLabel(central);
  status_->setObjectName("LabelStatus");
  status_->setWordWrap(true);
  status_->setFrameShape(QFrame::StyledPanel);
  status_->setMinimumHeight(status_->fontMetrics().height() * 2 + 8);
  layout->addWidget(status_);

  auto* buttons = new QHBoxLayout;
  go_ = new QPushButton("&Go", central);
  go_->setObjectName("Button_Go");
  exit_ = new QPushButton("E&xit", central);
  exit_->setObjectName("Button_Exit");
  buttons->addWidget(go_);
  buttons->addWidget(exit_);
  layout->addLayout(buttons);
  setCentralWidget(central);

  connect(go_, &QPushButton::clicked, this, &MainWindow::ClickGo);
  connect(exit_, &QPushButton::clicked, this, &MainWindow::ClickExit);
  BuildMenus();
  connect(library_label_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { library_menu_->popup(library_label_->mapToGlobal(at)); });

  ui_.AttachWindow(
      this, [this] { SyncFromModels(); },
      [this] { return go_->isEnabled() && engine_.state().CycleRunning; });
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  ui_.AttachWindow(nullptr, {});
}

QCheckBox* MainWindow::BindCheck(const char* name, const char* label, int& value) {
  auto* box = new QCheckBox(label);
  box->setObjectName(name);
  connect(box, &QCheckBox::toggled, this, [&value](bool on) { value = on ? 1 : 0; });
  refreshers_.push_back([box, &value] {
    if (box->isChecked() != (value == 1)) {
      const QSignalBlocker quiet(box);
      box->setChecked(value == 1);
    }
  });
  return box;
}

QLineEdit* MainWindow::BindText(const char* name, std::string& value) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  connect(edit, &QLineEdit::textEdited, this,
          [&value](const QString& text) { value = text.toStdString(); });
  refreshers_.push_back([edit, &value] {
    const QString text = Q(value);
    if (edit->text() != text) {
      const QSignalBlocker quiet(edit);
      edit->setText(text);
    }
  });
  return edit;
}

QWidget* MainWindow::BuildGeneralTab() {
  runtime::Options& o = engine_.options();
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);

  run_options_ = new QGroupBox("Run");
  run_options_->setObjectName("FrameRunOptions");
  auto* form = new QGridLayout(run_options_);
  form->addWidget(BindCheck("CheckLoop", "&Loop", o.CheckLoop), 0, 0);
  form->addWidget(new QLabel("Delay (seconds)"), 0, 1);
  form->addWidget(BindText("TextLoopDelay", o.TextLoopDelay), 0, 2);
  form->addWidget(BindCheck("CheckLogMethod", "&Verbose log", o.CheckLogMethod), 1, 0);
  form->addWidget(new QLabel("Max. folders"), 1, 1);
  form->addWidget(BindText("TextMaxFolders", o.TextMaxFolders), 1, 2);
  log_dir_ = new QPushButton("Log location...");
  log_dir_->setObjectName("ButtonLogDir");
  connect(log_dir_, &QPushButton::clicked, this, [this] {
    engine_.log_commands().ButtonLogDir();
    engine_.window().ButtonLogDirToolTip = engine_.state().LogFile;
    SyncFromModels();
  });
  form->addWidget(log_dir_, 2, 0, 1, 3);
  layout->addWidget(run_options_);

  auto* counters = new QGridLayout;
  total_ = Counter("LabelTotal", page);
  read_ = Counter("LabelRead", page);
  added_ = Counter("LabelAdded", page);
  errors_ = Counter("LabelErrors", page);
  counters->addWidget(new QLabel("Selected"), 0, 0);
  counters->addWidget(total_, 0, 1);
  counters->addWidget(new QLabel("Read"), 0, 2);
  counters->addWidget(read_, 0, 3);
  counters->addWidget(new QLabel("Added"), 1, 0);
  counters->addWidget(added_, 1, 1);
  counters->addWidget(new QLabel("Errors"), 1, 2);
  counters->addWidget(errors_, 1, 3);
  layout->addLayout(counters);

  results_ = new QTreeWidget;
  results_->setObjectName("ListResults");
  results_->setHeaderLabels({"Rule", "Started", "State"});
  results_->setRootIsDecorated(false);
  results_->header()->setStretchLastSection(true);
  results_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  results_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  layout->addWidget(results_, 1);
  return page;
}

QWidget* MainWindow::BuildLibrariesTab() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  rules_tree_ = new QTreeWidget;
  rules_tree_->setObjectName("TVRules");
  rules_tree_->setHeaderHidden(true);
  rules_tree_->setToolTip("F5 on a rule edits its saved SQL statement");
  layout->addWidget(rules_tree_);
  rules_binding_ = new CheckTreeBinding(
      rules_tree_, engine_.window().TVRules,
      [this](app::LibraryNode& node) {
        // A running cycle loads the rules of the libraries it needs itself; loading by hand
        // meanwhile would switch libraries under it.
        if (engine_.state().CycleRunning || engine_.state().InLoopDelay) return;
        if (app::LibraryTree* tree = seam_ ? seam_->tree() : nullptr) {
          tree->ExpandLibraryNode(node);
          SyncFromModels();  // the restored status text
        }
      },
      [this](const std::string& library, const std::string& rule) {
        OpenSavedSqlEditor(library, rule);
      });
  return page;
}

QWidget* MainWindow::BuildOptionsTab() {
  runtime::Options& o = engine_.options();
  processing_options_ = new QWidget;
  processing_options_->setObjectName("FrameOptions");
  auto* layout = new QVBoxLayout(processing_options_);
  layout->addWidget(BindCheck("CheckDisplayErrors", "Display &errors", o.CheckDisplayErrors));
  layout->addWidget(BindCheck("CheckReUseSQL", "&Re-use saved SQL", o.CheckReUseSQL));
  layout->addWidget(
      BindCheck("CheckProcessDescending", "Process &descending", o.CheckProcessDescending));
  layout->addWidget(
      BindCheck("CheckAddNewDocs", "&Queue documents of new folders", o.CheckAddNewDocs));
  layout->addWidget(
      BindCheck("CheckLockWorkstation", "Loc&k the workstation", o.CheckLockWorkstation));
  layout->addWidget(
      BindCheck("CheckInitialize", "&Initialize (record rows, build nothing)", o.CheckInitialize));
  layout->addStretch(1);
  return processing_options_;
}

QWidget* MainWindow::BuildPauseTab() {
  runtime::Options& o = engine_.options();
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(BindCheck("CheckPauseTime", "&Pause between", o.CheckPauseTime));
  auto* times = new QHBoxLayout;
  pause_start_ = BindText("TextPauseStart", o.TextPauseStart);
  pause_end_ = BindText("TextPauseEnd", o.TextPauseEnd);
  for (auto [edit, value] :
       {std::pair{pause_start_, &o.TextPauseStart}, std::pair{pause_end_, &o.TextPauseEnd}}) {
    edit->setMaxLength(8);
    connect(edit, &QLineEdit::editingFinished, this, [this, value] {
      *value = app::NormalizeTimeText(*value);
      SyncFromModels();
    });
  }
  times->addWidget(pause_start_);
  times->addWidget(new QLabel("and"));
  times->addWidget(pause_end_);
  layout->addLayout(times);
  pause_days_ = new QTreeWidget;
  pause_days_->setObjectName("TVPause");
  pause_days_->setHeaderHidden(true);
  pause_days_->setRootIsDecorated(false);
  layout->addWidget(pause_days_, 1);
  pause_binding_ = new CheckListBinding(pause_days_, engine_.window().TVPause);
  return page;
}

void MainWindow::BuildMenus() {
  log::LogCommands& log = engine_.log_commands();
  QMenu* file = menuBar()->addMenu("&File");
  log_view_ = file->addAction("&View Log", this, [this, &log] {
    log.MNLogView();
    SyncFromModels();
  });
  log_view_->setObjectName("MNLogView");
  log_purge_ = file->addAction("&Purge Log", this, [this, &log] {
    log.MNLogPurge();
    SyncFromModels();
  });
  log_purge_->setObjectName("MNLogPurge");
  time_stamp_ = file->addAction("&Time-stamp log file");
  time_stamp_->setObjectName("MNTimeStampLogFile");
  time_stamp_->setCheckable(true);
  connect(time_stamp_, &QAction::triggered, this, [this, &log] {
    log.MNTimeStampLogFile();
    SyncFromModels();
  });
  file->addSeparator();
  file->addAction("E&xit", this, &MainWindow::ClickExit);

  library_menu_ = menuBar()->addMenu("&Libraries");
  library_menu_->setObjectName("MNLibraries");
  connect(library_menu_, &QMenu::aboutToShow, this, [this] { FillLibraryMenu(library_menu_); });

  QMenu* options = menuBar()->addMenu("&Options");
  QMenu* current = options->addMenu("Set rule to current SIDs...");
  current->setObjectName("MNSetToCurrent");
  connect(current, &QMenu::aboutToShow, this, [this, current] {
    FillRuleMenu(current, engine_.options().MNRuleMenu1, &MainWindow::SetRuleToCurrent);
  });
  QMenu* initial = options->addMenu("Reset rule to initial SIDs...");
  initial->setObjectName("MNSetToStart");
  connect(initial, &QMenu::aboutToShow, this, [this, initial] {
    FillRuleMenu(initial, engine_.options().MNRuleMenu2, &MainWindow::ResetRule);
  });
  auto* display =
      options->addAction("Display Quil_Sproutsmith", this, &MainWindow::OpenTrackingViewer);
  display->setObjectName("MNDisplayQuilAuto");
  options->addSeparator();
  auto* clear = options->addAction("Clear this computer's running nodes", this,
                                   &MainWindow::ClearRunningNodes);
  clear->setObjectName("MNClearRunningNodes");
  tool_actions_ = {current->menuAction(), initial->menuAction(), display, clear};

  QMenu* help = menuBar()->addMenu("&Help");
  readme_ = help->addAction("&Read me", this, [this, &log] {
    log.MNHelpReadme();
    SyncFromModels();
  });
  readme_->setObjectName("MNHelpReadme");
}

void MainWindow::FillLibraryMenu(QMenu* menu) {
  menu->clear();
  for (const runtime::MenuEntry& entry : engine_.options().MNLibList) {
    QAction* action = menu->addAction(Q(entry.caption));
    action->setObjectName("MNLibList");
    action->setCheckable(true);
    action->setChecked(entry.caption == ConnectedLibrary());
    action->setEnabled(ToolsAvailable());
    const std::string caption = entry.caption;
    connect(action, &QAction::triggered, this, [this, caption] {
      RunTool([this, caption] { seam_->tree()->ClickLibraryMenuEntry(caption); });
    });
  }
  menu->addSeparator();
  QAction* toggle = menu->addAction("Toggle Libraries", this, [this] {
    app::ToggleLibraries(engine_.window());
    SyncFromModels();
  });
  toggle->setObjectName("MNToggleLibs");
  toggle->setEnabled(engine_.window().OptionsEnabled);
}

void MainWindow::FillRuleMenu(QMenu* menu, const std::vector<std::string>& rules,
                              void (MainWindow::*command)(const std::string&)) {
  menu->clear();
  for (const std::string& rule : rules) {
    QAction* action = menu->addAction(Q(rule));
    // "-" stands for "no rules" and does nothing.
    action->setEnabled(rule != "-" && ToolsAvailable());
    connect(action, &QAction::triggered, this, [this, command, rule] { (this->*command)(rule); });
  }
}

std::string MainWindow::ConnectedLibrary() {
  return seam_ && seam_->connection() ? seam_->connection()->LibraryName() : "";
}

bool MainWindow::ToolsAvailable() const {
  return seam_ && seam_->tree() && !engine_.state().CycleRunning && !engine_.state().InLoopDelay;
}

void MainWindow::RunTool(const std::function<void()>& command) {
  if (!ToolsAvailable()) return;
  command();
  SyncFromModels();
}

void MainWindow::SetRuleToCurrent(const std::string& rule) {
  RunTool([this, rule] {
    tools::RuleBaseline(engine_.context(), *seam_->connection(), *seam_->rules())
        .SetRuleToCurrent(rule, [this] { return seam_->tree()->SelectLibrary(); });
  });
}

void MainWindow::ResetRule(const std::string& rule) {
  RunTool([this, rule] {
    tools::RuleBaseline(engine_.context(), *seam_->connection(), *seam_->rules())
        .ResetRule(rule, [this] { return seam_->tree()->SelectLibrary(); });
  });
}

void MainWindow::OpenTrackingViewer() {
  RunTool([this] {
    tools::TrackingViewer viewer(engine_.context(), *seam_->connection());
    if (!viewer.Open([this] { return seam_->tree()->SelectLibrary(); })) return;
    TrackingViewerDialog dialog(viewer, this);
    dialog.exec();
    viewer.Close();
  });
}

void MainWindow::OpenSavedSqlEditor(const std::string& library, const std::string& rule) {
  RunTool([this, library, rule] {
    tools::SavedSqlEditor editor(engine_.context(), *seam_->connection(), *seam_->rules(), library,
                                 rule);
    SavedSqlDialog dialog(editor, this);
    dialog.exec();
  });
}

void MainWindow::ClearRunningNodes() {
  RunTool([this] {
    const std::vector<std::string> cleared = tools::ClearComputerNodes(
        engine_.context(), *seam_->connection(), *seam_->nodes(), seam_->LibraryNames());
    std::string names;
    for (const std::string& name : cleared) names += (names.empty() ? "" : ", ") + name;
    engine_.log().SetStatus("Cleared this computer's running nodes in " +
                            (names.empty() ? std::string("no library") : names));
  });
}

void MainWindow::Start(const std::vector<std::string>& args) {
  SyncFromModels();
  engine_.StartUp(args);
  SyncFromModels();
  EndedCheck();
}

void MainWindow::ClickGo() {
  // The button is disabled while a cycle runs; a queued click must not start a second one.
  if (engine_.state().CycleRunning || engine_.state().InLoopDelay || engine_.Ended()) return;
  engine_.Go();
  SyncFromModels();
  EndedCheck();
}

void MainWindow::ClickExit() {
  engine_.ClickExit();
  SyncFromModels();
  EndedCheck();
}

void MainWindow::EndedCheck() {
  if (!engine_.Ended() || ended_signalled_) return;
  ended_signalled_ = true;
  splash_->hide();
  hide();
  emit programEnded();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!engine_.Ended()) engine_.RequestClose();
  SyncFromModels();
  if (engine_.Ended()) {
    event->accept();
    EndedCheck();
  } else {
    // A running cycle was cancelled or the loop delay cut short: the window stays.
    event->ignore();
  }
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (!placed_) return;
  app::WindowRect& rect = engine_.window().window;
  rect.left = x() * kTwipsPerPixel;
  rect.top = y() * kTwipsPerPixel;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  // Keys of this window only, seen before its controls; dialogs keep their own keys.
  if (widget == nullptr || widget->window() != this) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  app::WindowKey which;
  if (key->key() == Qt::Key_Escape) {
    which = app::WindowKey::kEscape;
  } else if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::ShiftModifier) {
    which = app::WindowKey::kShiftInsert;
  } else if (key->key() == Qt::Key_Plus) {
    which = app::WindowKey::kPlus;
  } else if (key->key() == Qt::Key_Minus) {
    which = app::WindowKey::kMinus;
  } else {
    return false;
  }
  app::PressKey(engine_.context(), engine_.window(), which);
  SyncFromModels();
  return true;
}

void MainWindow::ApplyPlacement() {
  const app::WindowRect& rect = engine_.window().window;
  resize(static_cast<int>(rect.width / kTwipsPerPixel),
         static_cast<int>(rect.height / kTwipsPerPixel));
  move(static_cast<int>(rect.left / kTwipsPerPixel), static_cast<int>(rect.top / kTwipsPerPixel));
  placed_ = true;
}

void MainWindow::SyncResults() {
  const auto& rows = engine_.options().ListResults;
  while (results_->topLevelItemCount() > static_cast<int>(rows.size())) {
    delete results_->takeTopLevelItem(results_->topLevelItemCount() - 1);
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    QTreeWidgetItem* item = static_cast<int>(i) < results_->topLevelItemCount()
                                ? results_->topLevelItem(static_cast<int>(i))
                                : new QTreeWidgetItem(results_);
    const QString texts[] = {Q(rows[i].text), Q(rows[i].start_time), Q(rows[i].state)};
    for (int c = 0; c < 3; ++c) {
      if (item->text(c) != texts[c]) item->setText(c, texts[c]);
    }
  }
  QFont font = results_->font();
  if (font.pointSize() != engine_.window().ListResultsFontSize) {
    font.setPointSize(engine_.window().ListResultsFontSize);
    results_->setFont(font);
  }
}

void MainWindow::SyncFromModels() {
  const app::MainWindowModel& w = engine_.window();
  const runtime::Options& o = engine_.options();

  if (w.splash_visible && !engine_.Ended()) {
    splash_->Show(w.caption.empty() ? engine_.identity().window_caption : w.caption, w.splash_text,
                  o.LabelStatus);
  } else if (splash_->isVisible()) {
    splash_->hide();
  }
  if (!w.splash_visible && !placed_ && !w.caption.empty() && !engine_.Ended()) {
    ApplyPlacement();
    show();
    go_->setFocus();
  }
  if (!w.caption.empty() && windowTitle() != Q(w.caption)) setWindowTitle(Q(w.caption));

  SetTextIfChanged(status_, o.LabelStatus);
  const QString colour = "color: " + CssColour(w.LabelStatusColour) + ";";
  if (status_->styleSheet() != colour) status_->setStyleSheet(colour);
  SetTextIfChanged(total_, o.LabelTotal);
  SetTextIfChanged(read_, o.LabelRead);
  SetTextIfChanged(added_, o.LabelAdded);
  SetTextIfChanged(errors_, o.LabelErrors);
  SyncResults();

  for (const auto& refresh : refreshers_) refresh();
  rules_binding_->Sync();
  pause_binding_->Sync();

  const std::string library = ConnectedLibrary();
  SetTextIfChanged(library_label_, library.empty() ? "" : "Library: " + library);

  // The cycle marks itself running a yield before it disables Go; a click then would be lost.
  go_->setEnabled(w.ButtonGoEnabled && !engine_.state().CycleRunning);
  exit_->setEnabled(w.ButtonExitEnabled);
  exit_->setText(w.ButtonExitCaption == "Exit" ? "E&xit" : Q(w.ButtonExitCaption));
  exit_->setToolTip(Q(w.ButtonExitToolTip));
  pause_start_->setEnabled(w.TextPauseEnabled);
  pause_end_->setEnabled(w.TextPauseEnabled);
  locked_label_->setVisible(w.LabelLockedVisible);
  tabs_->tabBar()->setEnabled(w.OptionsEnabled);
  run_options_->setEnabled(w.OptionsEnabled);
  processing_options_->setEnabled(w.OptionsEnabled);
  rules_tree_->setEnabled(w.OptionsEnabled);
  log_dir_->setToolTip(Q(w.ButtonLogDirToolTip));
  time_stamp_->setChecked(o.MNTimeStampLogFile);
  log_view_->setEnabled(engine_.log().LogMenusEnabled());
  log_purge_->setEnabled(engine_.log().LogMenusEnabled());
  readme_->setVisible(w.MNHelpReadmeVisible);
  for (QAction* action : tool_actions_) action->setEnabled(ToolsAvailable());
}

}  // namespace sproutsmith::gui
