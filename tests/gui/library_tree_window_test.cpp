// The library/rule tree of the window: rules load when a library is opened, the operator's
// marks reach the settings at program end and come back in the next process.

#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "desktop_fixture.h"
#include "platform/schema/test_data.h"

namespace sproutsmith::gui {
namespace {

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
  EXPECT_EQ(Children(archive),
            (std::vector<std::string>{schema::kClientMattersRule, schema::kClientsRule}));
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

}  // namespace
}  // namespace sproutsmith::gui
