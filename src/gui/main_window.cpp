#include "gui/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
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
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/library_tree.h"
#include "app/pause.h"
#include "app/saved_options.h"
#include "gui/check_tree_binding.h"
#include "gui/log_viewer_window.h"
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

constexpr int kRuleColumn = 0;
constexpr int kStateColumn = 1;
constexpr int kStartedColumn = 2;

// What a rule's state says at a glance.
QColor StateColour(const runtime::ResultsRow& row) {
  if (row.state == "Working...") return QColor(0x00, 0x00, 0xc0);
  if (row.Broken()) return QColor(0xc0, 0x00, 0x00);
  // Ran, but not everything: failed rows, a busy library.
  if (row.rows_failed > 0 || row.state == "Library busy") return QColor(0xa0, 0x58, 0x00);
  return QColor(0x00, 0x70, 0x00);
}

// The log's line that opens a rule's section, from its results row ("LIBRARY - RULE").
QString SectionLine(const std::string& row_text) {
  const std::string::size_type dash = row_text.find(" - ");
  if (dash == std::string::npos) return {};
  return Q("Processing library " + row_text.substr(0, dash) + " rule " + row_text.substr(dash + 3));
}

QProgressBar* Bar(const char* name, QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName(name);
  bar->setRange(0, 1);
  bar->setValue(0);
  bar->setTextVisible(true);
  return bar;
}

}  // namespace

// The results list keeps "library - rule" and its state in view at any width: the start
// time comes last and is what a narrow window scrolls to.
class ResultsList : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;

  void FitColumns() {
    QHeaderView* h = header();
    auto wanted = [&](int column) {
      return std::max(sizeHintForColumn(column), h->sectionSizeHint(column));
    };
    const int width = viewport()->width();
    const int state = std::min(wanted(kStateColumn), width / 2);
    const int rule = std::max(std::min(wanted(kRuleColumn), width - state), 0);
    h->resizeSection(kRuleColumn, rule);
    h->resizeSection(kStateColumn, state);
    h->resizeSection(kStartedColumn, std::max(wanted(kStartedColumn), width - rule - state));
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QTreeWidget::resizeEvent(event);
    FitColumns();
  }
};

MainWindow::MainWindow(app::Engine& engine, QtUi& ui, QWidget* parent)
    : QMainWindow(parent),
      engine_(engine),
      ui_(ui),
      session_(engine.session()),
      splash_(new SplashWindow) {
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

  auto* progress = new QGridLayout;
  rule_progress_ = Bar("ProgressRule", page);
  cycle_progress_ = Bar("ProgressCycle", page);
  rate_ = new QLabel(page);
  rate_->setObjectName("LabelRate");
  // A long text must not widen the window.
  rate_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  progress->addWidget(new QLabel("Rule"), 0, 0);
  progress->addWidget(rule_progress_, 0, 1);
  progress->addWidget(new QLabel("Cycle"), 1, 0);
  progress->addWidget(cycle_progress_, 1, 1);
  progress->addWidget(rate_, 2, 1);
  progress->setColumnStretch(1, 1);
  layout->addLayout(progress);

  results_ = new ResultsList;
  results_->setObjectName("ListResults");
  results_->setHeaderLabels({"Rule", "State", "Started"});
  results_->setRootIsDecorated(false);
  results_->setUniformRowHeights(true);
  results_->header()->setStretchLastSection(false);
  results_->header()->setSectionResizeMode(QHeaderView::Interactive);
  results_->setToolTip("Double-click a rule for its part of the log");
  connect(results_, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item, int) { OpenLogAt(results_->indexOfTopLevelItem(item)); });
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
        if (session_.Available()) {
          session_.tree().ExpandLibraryNode(node);
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
  log_view_ = file->addAction("&View Log", this, &MainWindow::ViewLog);
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
    if (log.HasDesktopViewer()) {
      log.MNHelpReadme();
    } else if (QFile::exists(Q(engine_.state().ReadmePath))) {
      OwnViewer()->ShowFile(Q(engine_.state().ReadmePath));
    }
    SyncFromModels();
  });
  readme_->setObjectName("MNHelpReadme");
  help->addAction("Sproutsmith &README", this, &MainWindow::ShowReadme)
      ->setObjectName("MNHelpProgramReadme");
  help->addSeparator();
  help->addAction("&About", this, &MainWindow::ShowAbout)->setObjectName("MNHelpAbout");
}

LogViewerWindow* MainWindow::OwnViewer() {
  if (viewer_.isNull()) viewer_ = new LogViewerWindow(this);
  viewer_->show();
  viewer_->raise();
  viewer_->activateWindow();
  return viewer_;
}

void MainWindow::ViewLog() {
  log::LogCommands& log = engine_.log_commands();
  if (log.HasDesktopViewer()) {
    log.MNLogView();
  } else {
    const std::string path = log.LogToView();
    if (!path.empty()) OwnViewer()->ShowFile(Q(path));
  }
  SyncFromModels();
}

void MainWindow::OpenLogAt(int row) {
  const auto& rows = engine_.options().ListResults;
  if (row < 0 || row >= static_cast<int>(rows.size())) return;
  const std::string path = engine_.log_commands().LogToView();
  if (path.empty()) return;
  LogViewerWindow* viewer = OwnViewer();
  viewer->ShowFile(Q(path));
  viewer->GoToLast(SectionLine(rows[static_cast<size_t>(row)].text));
}

void MainWindow::ShowReadme() {
  QFile readme(":/README.md");
  if (!readme.open(QIODevice::ReadOnly)) return;
  OwnViewer()->ShowText("README", QString::fromUtf8(readme.readAll()));
}

void MainWindow::ShowAbout() {
  const runtime::Identity& id = engine_.identity();
  const auto line = [](const char* what, const std::string& where) {
    return QString("<p><b>%1</b><br>%2</p>").arg(what, Q(where).toHtmlEscaped());
  };
  const QString text =
      QString("<h3>%1</h3><p>Version %2, build %3</p>")
          .arg(Q(id.product_name).toHtmlEscaped(), Q(id.version_text), Q(id.build_number)) +
      line("Settings", engine_.settings().FilePath(id.product_name)) +
      line("DM configuration", dm_configuration_.empty() ? "(not known)" : dm_configuration_) +
      line("Log", engine_.LogPath()) + line("Report", engine_.ReportPath());
  auto* box =
      new QMessageBox(QMessageBox::Information, Q(id.program_title), text, QMessageBox::Ok, this);
  box->setObjectName("AboutBox");
  box->setTextFormat(Qt::RichText);
  box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void MainWindow::FillLibraryMenu(QMenu* menu) {
  menu->clear();
  // One library is the connected one: a radio mark and bold, unlike the tree's check marks
  // that choose what a cycle processes.
  auto* connected = new QActionGroup(menu);
  connected->setExclusive(true);
  for (const runtime::MenuEntry& entry : engine_.options().MNLibList) {
    QAction* action = menu->addAction(Q(entry.caption));
    action->setObjectName("MNLibList");
    action->setCheckable(true);
    connected->addAction(action);
    const bool current = entry.caption == ConnectedLibrary();
    action->setChecked(current);
    QFont font = action->font();
    font.setBold(current);
    action->setFont(font);
    action->setEnabled(ToolsAvailable());
    const std::string caption = entry.caption;
    connect(action, &QAction::triggered, this, [this, caption] {
      RunTool([this, caption] { session_.tree().ClickLibraryMenuEntry(caption); });
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

std::string MainWindow::ConnectedLibrary() { return session_.CurrentLibraryName(); }

bool MainWindow::ToolsAvailable() const {
  return session_.Available() && !engine_.state().CycleRunning && !engine_.state().InLoopDelay;
}

void MainWindow::RunTool(const std::function<void()>& command) {
  if (!ToolsAvailable()) return;
  command();
  SyncFromModels();
}

void MainWindow::SetRuleToCurrent(const std::string& rule) {
  RunTool([this, rule] {
    tools::RuleBaseline(engine_.context(), session_.connection(), session_.rules())
        .SetRuleToCurrent(rule, [this] { return session_.tree().SelectLibrary(); });
  });
}

void MainWindow::ResetRule(const std::string& rule) {
  RunTool([this, rule] {
    tools::RuleBaseline(engine_.context(), session_.connection(), session_.rules())
        .ResetRule(rule, [this] { return session_.tree().SelectLibrary(); });
  });
}

void MainWindow::OpenTrackingViewer() {
  RunTool([this] {
    tools::TrackingViewer viewer(engine_.context(), session_.connection());
    if (!viewer.Open([this] { return session_.tree().SelectLibrary(); })) return;
    TrackingViewerDialog dialog(viewer, this);
    dialog.exec();
    viewer.Close();
  });
}

void MainWindow::OpenSavedSqlEditor(const std::string& library, const std::string& rule) {
  RunTool([this, library, rule] {
    tools::SavedSqlEditor editor(engine_.context(), session_.connection(), session_.rules(),
                                 library, rule);
    SavedSqlDialog dialog(editor, this);
    dialog.exec();
  });
}

void MainWindow::ClearRunningNodes() {
  RunTool([this] {
    const std::vector<std::string> cleared = tools::ClearComputerNodes(
        engine_.context(), session_.connection(), session_.nodes(), session_.LibraryNames());
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

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (!placed_) return;
  app::WindowRect& rect = engine_.window().window;
  rect.width = width() * kTwipsPerPixel;
  rect.height = height() * kTwipsPerPixel;
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
  app::MainWindowModel& model = engine_.window();
  const app::WindowRect& rect = model.window;
  QSize size(static_cast<int>(rect.width / kTwipsPerPixel),
             static_cast<int>(rect.height / kTwipsPerPixel));
  // The size the window had when it last closed, where one was saved.
  const std::string& product = engine_.identity().product_name;
  const auto saved_width = app::ReadWindowCoordinate(engine_.settings(), product, "Screen.Width");
  const auto saved_height = app::ReadWindowCoordinate(engine_.settings(), product, "Screen.Height");
  if (saved_width && *saved_width > 0)
    size.setWidth(static_cast<int>(*saved_width / kTwipsPerPixel));
  if (saved_height && *saved_height > 0) {
    size.setHeight(static_cast<int>(*saved_height / kTwipsPerPixel));
  }
  size = size.expandedTo(minimumSizeHint());
  QPoint at(static_cast<int>(rect.left / kTwipsPerPixel),
            static_cast<int>(rect.top / kTwipsPerPixel));
  // Never off the display it opens on: a saved place from a larger or another screen is
  // pulled in, a saved size larger than the screen shrinks to it.
  const QScreen* screen = QGuiApplication::screenAt(at);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->availableGeometry();
    size = size.boundedTo(area.size());
    at.setX(std::clamp(at.x(), area.left(), area.left() + area.width() - size.width()));
    at.setY(std::clamp(at.y(), area.top(), area.top() + area.height() - size.height()));
    model.window_on_screen = true;
  }
  resize(size);
  move(at);
  placed_ = true;
  model.window = {at.x() * kTwipsPerPixel, at.y() * kTwipsPerPixel, width() * kTwipsPerPixel,
                  height() * kTwipsPerPixel};
}

void MainWindow::KeepFrameOnScreen() {
  // The frame's margins are known once the window is shown.
  const QScreen* screen = this->screen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QRect frame = frameGeometry();
  if (area.contains(frame)) return;
  const QSize margins = frame.size() - size();
  resize(size().boundedTo(area.size() - margins));
  move(std::clamp(frame.x(), area.left(), area.left() + area.width() - width() - margins.width()),
       std::clamp(frame.y(), area.top(), area.top() + area.height() - height() - margins.height()));
}

void MainWindow::SyncResults() {
  const auto& rows = engine_.options().ListResults;
  bool changed = false;
  while (results_->topLevelItemCount() > static_cast<int>(rows.size())) {
    delete results_->takeTopLevelItem(results_->topLevelItemCount() - 1);
    changed = true;
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    QTreeWidgetItem* item = static_cast<int>(i) < results_->topLevelItemCount()
                                ? results_->topLevelItem(static_cast<int>(i))
                                : new QTreeWidgetItem(results_);
    const runtime::ResultsRow& row = rows[i];
    const QString texts[] = {Q(row.text), Q(row.state), Q(row.start_time)};
    for (int c = 0; c < 3; ++c) {
      if (item->text(c) != texts[c]) {
        item->setText(c, texts[c]);
        changed = true;
      }
    }
    const QBrush colour(StateColour(row));
    if (item->foreground(kStateColumn) != colour) item->setForeground(kStateColumn, colour);
    const QString tip = QString("%1 row(s) selected, %2 folder(s) added, %3 row(s) failed")
                            .arg(row.rows_selected)
                            .arg(row.folders_added)
                            .arg(row.rows_failed);
    if (item->toolTip(kRuleColumn) != tip) {
      for (int c = 0; c < 3; ++c) item->setToolTip(c, tip);
    }
  }
  QFont font = results_->font();
  if (font.pointSize() != engine_.window().ListResultsFontSize) {
    font.setPointSize(engine_.window().ListResultsFontSize);
    results_->setFont(font);
    changed = true;
  }
  if (changed) results_->FitColumns();
}

void MainWindow::SyncProgress() {
  using Step = runtime::CycleProgress::Step;
  const runtime::CycleProgress& p = ui_.progress();
  const bool running = engine_.state().CycleRunning && p.step != Step::kCycleEnds;
  auto show = [](QProgressBar* bar, int value, int maximum, const QString& format) {
    if (bar->maximum() != maximum || bar->minimum() != 0) bar->setRange(0, maximum);
    if (bar->value() != value) bar->setValue(value);
    if (bar->format() != format) bar->setFormat(format);
  };
  // A range of 0 to 0 would make Qt animate a busy bar: an empty rule shows 0 of 1 or 1 of 1.
  if (p.rows_selected > 0) {
    show(rule_progress_, std::min(p.rows_read, p.rows_selected), p.rows_selected, "%v of %m rows");
  } else {
    const bool ended = p.step == Step::kRuleEnds || p.step == Step::kCycleEnds;
    show(rule_progress_, ended && !p.rule.empty() ? 1 : 0, 1,
         p.rule.empty() ? ""
         : ended        ? "No new rows"
                        : "Selecting rows...");
  }
  if (p.rules_checked > 0) {
    show(cycle_progress_, std::min(p.rules_done, p.rules_checked), p.rules_checked,
         "%v of %m rules");
  } else {
    show(cycle_progress_, 0, 1, "");
  }
  rule_progress_->setEnabled(running);
  cycle_progress_->setEnabled(running);
  rule_progress_->setToolTip(p.rule.empty() ? "" : Q(p.library + " - " + p.rule));

  QString rate = running ? "" : "Idle";
  const double seconds = ui_.RuleSeconds();
  if (p.rows_read > 0 && seconds > 0) {
    const QString speed = QString("%1 folder(s), %2 folders/s")
                              .arg(p.folders_added)
                              .arg(std::lround(p.folders_added / seconds));
    rate = running ? speed : "Idle (last rule: " + speed + ")";
  }
  SetTextIfChanged(rate_, rate.toStdString());
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
    KeepFrameOnScreen();
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
  SyncProgress();

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
