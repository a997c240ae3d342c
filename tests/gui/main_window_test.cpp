// The main window: a processing cycle seen in it (Go, the counters, results and progress
// bars while it runs, the status colours, Esc while it waits, the window's keys); the
// library/rule tree, whose rules load when a library is opened and whose marks reach the
// settings at program end and come back in the next process; and what it shows without being
// asked: each rule's state in view and coloured, the log in the program's own viewer when the
// desktop has none (and at a rule's section on a double click), Help, the connected library
// told apart from the tree's marks, and a window that opens on the screen at the size it was
// left at.

#include <QActionGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>
#include <set>
#include <tuple>

#include "desktop_fixture.h"
#include "gui/log_viewer_window.h"
#include "platform/schema/rule_rows.h"
#include "platform/schema/test_data.h"

namespace sproutsmith::gui {
namespace {

using CycleWindowTest = DesktopTest;

TEST_F(CycleWindowTest, WhileGoRunsItIsOffAndTheCountersResultsAndBarsMoveToTheirEnd) {
  Install();
  Open();
  auto* go = Find<QPushButton>("Button_Go");
  auto* read = Find<QLabel>("LabelRead");
  auto* total = Find<QLabel>("LabelTotal");
  auto* results = Find<QTreeWidget>("ListResults");
  auto* rule = Find<QProgressBar>("ProgressRule");
  auto* cycle = Find<QProgressBar>("ProgressCycle");
  auto* rate = Find<QLabel>("LabelRate");
  auto* status = Find<QLabel>("LabelStatus");
  ASSERT_TRUE(go->isEnabled());
  EXPECT_TRUE(Find<QLabel>("LabelLibraryName")->text().contains("DEMO"));
  EXPECT_FALSE(rule->isEnabled()) << "idle before the first cycle";
  EXPECT_EQ(rate->text(), "Idle");
  // Every yield shows the models: what the window passes through must not depend on the
  // machine's speed.
  ui_->SetSyncInterval(0);

  bool go_enabled = false;
  bool bars_enabled = true;
  bool rate_seen = false;
  std::set<std::string> reads, states, colours;
  std::set<std::pair<int, int>> rule_values;  // (value, maximum)
  std::set<int> cycle_values;
  int max_total = 0;
  {
    Sampler sampler([&] {
      if (!engine_->state().CycleRunning) return;
      go_enabled |= go->isEnabled();
      reads.insert(read->text().toStdString());
      max_total = std::max(max_total, total->text().toInt());
      for (int i = 0; i < results->topLevelItemCount(); ++i) {
        states.insert(results->topLevelItem(i)->text(1).toStdString());
      }
      colours.insert(status->styleSheet().toStdString());
      if (rule->maximum() <= 1) return;
      rule_values.insert({rule->value(), rule->maximum()});
      cycle_values.insert(cycle->value());
      bars_enabled &= rule->isEnabled() && cycle->isEnabled();
      rate_seen |= rate->text().endsWith(" folders/s");
    });
    QTest::mouseClick(go, Qt::LeftButton);
  }
  EXPECT_FALSE(go_enabled);
  EXPECT_GE(reads.size(), 3u) << "the row counter should move while rows are built";
  EXPECT_GT(max_total, 0);
  EXPECT_TRUE(states.count("Working...")) << "the running rule shows as working";
  EXPECT_TRUE(colours.count("color: #c00000;")) << "red while running";
  EXPECT_GE(rule_values.size(), 3u) << "the rule's bar should move while rows are built";
  EXPECT_GE(cycle_values.size(), 2u) << "the cycle's bar should move from rule to rule";
  EXPECT_TRUE(bars_enabled);
  EXPECT_TRUE(rate_seen);

  // Afterwards: Go again, the status dark blue, one results row per rule with its folders,
  // every rule done, the last rule's rows all read, both bars idle again.
  EXPECT_TRUE(go->isEnabled());
  EXPECT_EQ(status->styleSheet(), "color: #0000c0;");
  ASSERT_EQ(results->topLevelItemCount(), 4);
  EXPECT_EQ(results->topLevelItem(0)->text(0), "DEMO - CLIENT MATTERS");
  EXPECT_EQ(results->topLevelItem(3)->text(0), "ARCHIVE - CLIENTS");
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(results->topLevelItem(i)->text(1).endsWith(" folder(s) added"))
        << results->topLevelItem(i)->text(1).toStdString();
  }
  EXPECT_EQ(cycle->maximum(), 4);
  EXPECT_EQ(cycle->value(), 4);
  EXPECT_EQ(rule->value(), rule->maximum());
  EXPECT_EQ(rule->text(), QString("%1 of %1 rows").arg(rule->maximum()));
  EXPECT_FALSE(rule->isEnabled());
  EXPECT_FALSE(cycle->isEnabled());
  EXPECT_TRUE(rate->text().startsWith("Idle")) << rate->text().toStdString();
}

TEST_F(CycleWindowTest, EscEndsTheLoopDelayAtOnceWithoutTheCancelBox) {
  Install();
  Open();
  Find<QCheckBox>("CheckLoop")->setChecked(true);
  auto* delay = Find<QLineEdit>("TextLoopDelay");
  delay->selectAll();
  QTest::keyClicks(delay, "30");
  ASSERT_EQ(engine_->options().CheckLoop, 1);
  ASSERT_EQ(engine_->options().TextLoopDelay, "30");
  int passes_seen = 0;
  {
    Sampler sampler([&] {
      if (passes_seen > 0 || !engine_->state().InLoopDelay) return;
      passes_seen = engine_->Cycles();
      QTest::keyClick(Find<QPushButton>("Button_Go"), Qt::Key_Escape);
    });
    QElapsedTimer clock;
    clock.start();
    window_->ClickGo();
    EXPECT_LT(clock.elapsed(), 20000) << "Esc must end the wait at once";
  }
  EXPECT_EQ(passes_seen, 1);
  for (const testing::ShownMessage& box : script_.messages) EXPECT_NE(box.text, "Task Canceled");
  EXPECT_FALSE(engine_->state().CycleRunning);
  EXPECT_FALSE(engine_->state().InLoopDelay);
  EXPECT_TRUE(Find<QPushButton>("Button_Go")->isEnabled());
}

TEST_F(CycleWindowTest, TheWindowsKeysResizeTheResultsAndLockTheOptions) {
  Install({{.name = "DEMO"}});
  Open();
  auto* results = Find<QTreeWidget>("ListResults");
  auto* go = Find<QPushButton>("Button_Go");
  const int start = results->font().pointSize();
  QTest::keyClick(go, Qt::Key_Plus);
  EXPECT_EQ(results->font().pointSize(), start + 2);
  for (int i = 0; i < 10; ++i) QTest::keyClick(go, Qt::Key_Plus);
  EXPECT_EQ(results->font().pointSize(), 18);  // not above 16 before the step
  for (int i = 0; i < 10; ++i) QTest::keyClick(go, Qt::Key_Minus);
  EXPECT_EQ(results->font().pointSize(), 6);  // not below 8 before the step

  // Shift+Insert in any control of the window locks and unlocks the options.
  auto* loop_delay = Find<QLineEdit>("TextLoopDelay");
  for (const bool locked : {true, false}) {
    QTest::keyClick(loop_delay, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(engine_->state().Locked, locked);
    EXPECT_EQ(Find<QTreeWidget>("TVRules")->isEnabled(), !locked);
    EXPECT_EQ(Find<QTabWidget>("TabStrip")->tabBar()->isEnabled(), !locked);
    EXPECT_EQ(Find<QLabel>("LabelLocked")->isHidden(), !locked);
  }
}

TEST_F(CycleWindowTest, AnUnattendedStartRunsItsCycleAndEndsTheProgram) {
  Install({{.name = "DEMO"}});
  Open({"/G", "/X"});
  EXPECT_TRUE(engine_->Ended());
  EXPECT_TRUE(script_.messages.empty());
  EXPECT_EQ(engine_->ExitStatus(), app::kExitFinished);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_NE(install_.Scalar("DEMO", "SELECT COUNT(*) FROM QUIL_SPROUTSMITH"), "0");
}

using LibraryTreeWindowTest = DesktopTest;

TEST_F(LibraryTreeWindowTest, OpeningALibraryLoadsItsRulesAndTheMarksSurviveARestart) {
  Install({{.name = "DEMO"},
           {.name = "ARCHIVE", .engine_code = 2},
           {.name = "BARE", .with_quil_tables = false}});
  Open();
  EXPECT_EQ(window_->windowTitle().toStdString(), "Arborline\u2122 Sproutsmith For OpenText eDocs");
  EXPECT_FALSE(window_->windowIcon().isNull());
  QTreeWidgetItem* demo = LibraryItem("DEMO");
  QTreeWidgetItem* archive = LibraryItem("ARCHIVE");
  ASSERT_TRUE(demo && archive);
  // Unopened libraries show that they can be opened, and hold no rule yet.
  EXPECT_EQ(demo->childCount(), 0);
  EXPECT_EQ(demo->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  EXPECT_EQ(demo->checkState(0), Qt::Checked);

  archive->setExpanded(true);
  ASSERT_EQ(archive->childCount(), 2);
  EXPECT_EQ(archive->child(0)->text(0).toStdString(), schema::kClientMattersRule);
  EXPECT_EQ(archive->child(1)->text(0).toStdString(), schema::kClientsRule);
  EXPECT_EQ(archive->child(0)->checkState(0), Qt::Checked);
  EXPECT_EQ(demo->childCount(), 0);  // only the opened library loads

  // The operator's marks go to the model at once.
  archive->child(1)->setCheckState(0, Qt::Unchecked);
  demo->setCheckState(0, Qt::Unchecked);
  EXPECT_FALSE(engine_->window().TVRules[1].rules[1].checked);
  EXPECT_FALSE(engine_->window().TVRules[0].checked);

  // The next process shows them: they were saved at program end.
  Close();
  Open();
  EXPECT_EQ(LibraryItem("DEMO")->checkState(0), Qt::Unchecked);
  QTreeWidgetItem* again = LibraryItem("ARCHIVE");
  again->setExpanded(true);
  ASSERT_EQ(again->childCount(), 2);
  EXPECT_EQ(again->child(0)->checkState(0), Qt::Checked);
  EXPECT_EQ(again->child(1)->checkState(0), Qt::Unchecked);

  // A library without the settings table is unchecked and does not open.
  QTreeWidgetItem* bare = LibraryItem("BARE");
  ASSERT_TRUE(bare);
  bare->setExpanded(true);
  EXPECT_EQ(bare->checkState(0), Qt::Unchecked);
  EXPECT_FALSE(bare->isExpanded());
}

TEST_F(LibraryTreeWindowTest, F5OnARuleOpensItsSavedSqlEditorAndToggleInvertsEveryMark) {
  Install({{.name = "DEMO"}});
  Open();
  QTreeWidget* tree = Find<QTreeWidget>("TVRules");
  QTreeWidgetItem* demo = LibraryItem("DEMO");
  demo->setExpanded(true);
  ASSERT_EQ(demo->childCount(), 2);
  tree->setCurrentItem(demo->child(1));
  std::string opened;
  QTimer::singleShot(0, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    opened = modal->objectName().toStdString();
    modal->close();  // an empty editor closes without a question
  });
  QTest::keyClick(tree, Qt::Key_F5);
  EXPECT_EQ(opened, "QuilRuleSQL");
  EXPECT_TRUE(script_.messages.empty()) << script_.messages.front().text;

  demo->child(0)->setCheckState(0, Qt::Unchecked);
  QMenu* libraries = Find<QMenu>("MNLibraries");
  emit libraries->aboutToShow();
  QAction* toggle = libraries->findChild<QAction*>("MNToggleLibs");
  ASSERT_NE(toggle, nullptr);
  toggle->trigger();
  EXPECT_EQ(demo->checkState(0), Qt::Unchecked);
  EXPECT_EQ(demo->child(0)->checkState(0), Qt::Checked);
  EXPECT_EQ(demo->child(1)->checkState(0), Qt::Unchecked);
}

constexpr int kStateColumn = 1;

class WindowAtAGlanceTest : public DesktopTest {
 protected:
  LogViewerWindow* Viewer() { return window_->findChild<LogViewerWindow*>("LogViewer"); }
  // The results row of `rule` ("DEMO - CLIENTS").
  QTreeWidgetItem* Result(const char* rule) {
    const QList<QTreeWidgetItem*> found =
        Find<QTreeWidget>("ListResults")->findItems(rule, Qt::MatchExactly, 0);
    EXPECT_EQ(found.size(), 1) << rule;
    return found.value(0);
  }
};

TEST_F(WindowAtAGlanceTest, EveryRulesStateIsInViewColouredAndADoubleClickShowsItsLog) {
  viewer_ = "/usr/bin/xdg-open";  // the desktop viewer cannot go to a line: the own one does
  Install();
  Open();
  window_->ClickGo();
  auto* results = Find<QTreeWidget>("ListResults");
  ASSERT_EQ(results->topLevelItemCount(), 4);
  const QRect view = results->viewport()->rect();
  for (int i = 0; i < results->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = results->topLevelItem(i);
    SCOPED_TRACE(item->text(0).toStdString());
    const QRect rule = results->visualRect(results->model()->index(i, 0));
    const QRect state = results->visualRect(results->model()->index(i, kStateColumn));
    EXPECT_TRUE(view.contains(rule.topLeft())) << "the rule's name starts in view";
    EXPECT_TRUE(view.contains(state)) << "the state lies wholly in view";
    EXPECT_GE(state.width(), results->fontMetrics().horizontalAdvance(item->text(kStateColumn)))
        << "the state is not cut";
    EXPECT_EQ(item->foreground(kStateColumn).color(), QColor(0x00, 0x70, 0x00)) << "finished";
  }

  // A double click (as the window system sends it) opens the log at the rule's section.
  for (const char* rule : {"DEMO - CLIENTS", "DEMO - CLIENT MATTERS"}) {
    SCOPED_TRACE(rule);
    const QPoint at = results->visualItemRect(Result(rule)).center();
    QTest::mousePress(results->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(results->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(results->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_NE(Viewer(), nullptr);
    std::string section = rule;
    section.replace(section.find(" - "), 3, " rule ");
    const QString top = Viewer()->text()->cursorForPosition(QPoint(1, 1)).block().text();
    EXPECT_EQ(top.toStdString(), "Processing library " + section);
  }
  EXPECT_TRUE(launcher_->launches.empty());

  // A rule whose statement fails is red.
  schema::RuleDefinition broken =
      schema::StandardRule("BROKEN", "%CLIENTS% %\\% %MATTER.CLIENT_ID.CLIENT_ID%");
  broken.SetText("RULE_SPROUTSMITH_TEXT", "CLIENT.NO_SUCH_COLUMN = 1");
  ASSERT_TRUE(schema::WriteRule(*install_.OpenLibrary("DEMO"), broken).ok());
  Open();
  window_->ClickGo();
  ASSERT_NE(Result("DEMO - BROKEN"), nullptr);
  EXPECT_EQ(Result("DEMO - BROKEN")->foreground(kStateColumn).color(), QColor(0xc0, 0x00, 0x00));
}

TEST_F(WindowAtAGlanceTest, ViewLogUsesTheDesktopsViewerElseItsOwnScrolledToTheEnd) {
  Install({{.name = "DEMO"}});
  for (const std::string viewer : {"/usr/bin/xdg-open", ""}) {
    SCOPED_TRACE("desktop viewer \"" + viewer + "\"");
    viewer_ = viewer;
    Open();
    window_->ClickGo();
    Trigger("MNLogView");
    EXPECT_EQ(Viewer() == nullptr, !viewer.empty());
    EXPECT_EQ(launcher_->launches.size(), viewer.empty() ? 0u : 1u);
    EXPECT_EQ(testing::ReadFile(engine_->LogPath()).find("File not found"), std::string::npos);
  }
  LogViewerWindow* viewer = Viewer();
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_TRUE(viewer->text()->isReadOnly());
  EXPECT_TRUE(viewer->text()->toPlainText().contains("Finished processing."));
  QScrollBar* bar = viewer->text()->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum()) << "scrolled to the end";

  // Lines the program logs later appear without asking.
  engine_->log().AddLog("Warning: a line written after the viewer opened");
  engine_->log().Flush();
  viewer->Refresh();
  EXPECT_TRUE(viewer->text()->toPlainText().contains("a line written after the viewer opened"));
  EXPECT_EQ(bar->value(), bar->maximum()) << "still at the end";

  // Searchable: Enter in the find box selects the next match.
  auto* find = viewer->findChild<QLineEdit*>("TextFind");
  QTest::keyClicks(find, "Finished with library DEMO");
  QTest::keyClick(find, Qt::Key_Return);
  EXPECT_EQ(viewer->text()->textCursor().selectedText(), "Finished with library DEMO");
}

TEST_F(WindowAtAGlanceTest, HelpTellsWhereEverythingIsAndShowsTheReadme) {
  Install();
  Open();
  window_->SetDmConfiguration("/srv/dm/dm.conf");
  Trigger("MNHelpAbout");
  auto* about = window_->findChild<QMessageBox*>("AboutBox");
  ASSERT_NE(about, nullptr);
  const std::string text = about->text().toStdString();
  for (const std::string& part :
       {engine_->identity().version_text, "build " + engine_->identity().build_number,
        engine_->settings().FilePath(engine_->identity().product_name),
        std::string("/srv/dm/dm.conf"), engine_->LogPath(), engine_->ReportPath()}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  }
  about->close();

  Trigger("MNHelpProgramReadme");
  ASSERT_NE(Viewer(), nullptr);
  EXPECT_TRUE(Viewer()->text()->toPlainText().startsWith("# Sproutsmith\n"));

  // The connected library: a radio mark in bold, one of a kind, never a tree check mark.
  auto* menu = Find<QMenu>("MNLibraries");
  emit menu->aboutToShow();
  QStringList connected;
  for (QAction* action : menu->actions()) {
    if (action->objectName() != "MNLibList") continue;
    ASSERT_NE(action->actionGroup(), nullptr);
    EXPECT_TRUE(action->actionGroup()->isExclusive());
    EXPECT_EQ(action->font().bold(), action->isChecked());
    if (action->isChecked()) connected << action->text();
  }
  EXPECT_EQ(connected, QStringList{"DEMO"});
}

TEST_F(WindowAtAGlanceTest, TheWindowOpensOnTheScreenAtTheSizeItWasLeftAt) {
  Install({{.name = "DEMO"}});
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  Open();
  window_->resize(560, 700);
  window_->move(screen.left() + 60, screen.top() + 70);
  Close();
  EXPECT_EQ(Saved("General", "Screen.Width"), "8400");
  EXPECT_EQ(Saved("General", "Screen.Height"), "10500");

  const std::string product = runtime::Identity().product_name;
  // The twips saved, and the size the window opens at (empty: as large as the screen).
  const std::tuple<const char*, const char*, const char*, QSize> cases[] = {
      {"as it was left", "8400", "10500", QSize(560, 700)},
      {"larger than the screen", "90000", "90000", QSize()}};
  for (const auto& [name, width, height, size] : cases) {
    SCOPED_TRACE(name);
    Close();  // its program end saves the window's own place
    os::SettingsStore store(dir_.File("config"));
    ASSERT_TRUE(store.Save(product, "General", "Screen.Width", width));
    ASSERT_TRUE(store.Save(product, "General", "Screen.Height", height));
    Open();
    const QSize expected = size.isEmpty() ? screen.size() : size;
    EXPECT_EQ(size.isEmpty() ? window_->frameGeometry().size() : window_->size(), expected);
    EXPECT_TRUE(screen.contains(window_->frameGeometry())) << "never off the screen";
  }
}

}  // namespace
}  // namespace sproutsmith::gui
