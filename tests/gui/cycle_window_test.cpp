// A processing cycle seen in the window: Go, the counters, results and progress bars while it
// runs, the status colours, Esc while it waits, and the window's keys.

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <set>

#include "desktop_fixture.h"

namespace sproutsmith::gui {
namespace {

class CycleWindowTest : public DesktopTest {
 protected:
  QString StatusColour() { return Find<QLabel>("LabelStatus")->styleSheet(); }
};

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
      colours.insert(StatusColour().toStdString());
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
  EXPECT_EQ(StatusColour(), "color: #0000c0;");
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
  EXPECT_FALSE(Shown("Task Canceled"));
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

}  // namespace
}  // namespace sproutsmith::gui
