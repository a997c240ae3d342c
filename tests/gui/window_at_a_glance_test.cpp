// What the main window shows without being asked: each rule's state in view and coloured,
// the log in the program's own viewer when the desktop has none (and at a rule's section on
// a double click), Help, the connected library told apart from the tree's marks, and a
// window that opens on the screen at the size it was left at.

#include <QActionGroup>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>

#include "desktop_fixture.h"
#include "gui/log_viewer_window.h"
#include "platform/schema/rule_rows.h"

namespace sproutsmith::gui {
namespace {

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

  struct Case {
    const char* name;
    const char* width;  // twips saved
    const char* height;
    QSize expected;  // empty: as large as the screen
  };
  const std::string product = runtime::Identity().product_name;
  for (const Case& c : {Case{"as it was left", "8400", "10500", QSize(560, 700)},
                        Case{"larger than the screen", "90000", "90000", QSize()}}) {
    SCOPED_TRACE(c.name);
    Close();  // its program end saves the window's own place
    os::SettingsStore store(dir_.File("config"));
    ASSERT_TRUE(store.Save(product, "General", "Screen.Width", c.width));
    ASSERT_TRUE(store.Save(product, "General", "Screen.Height", c.height));
    Open();
    const QSize expected = c.expected.isEmpty() ? screen.size() : c.expected;
    EXPECT_EQ(c.expected.isEmpty() ? window_->frameGeometry().size() : window_->size(), expected);
    EXPECT_TRUE(screen.contains(window_->frameGeometry())) << "never off the screen";
  }
}

}  // namespace
}  // namespace sproutsmith::gui
