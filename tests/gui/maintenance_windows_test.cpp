// The two maintenance windows over real tracking rows and saved statements: the tracking
// viewer's sorting and removal, and the saved-SQL editor's Test, OK and Cancel.

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "desktop_fixture.h"
#include "gui/saved_sql_dialog.h"
#include "gui/tracking_viewer_dialog.h"
#include "tools/saved_sql.h"
#include "tools/tracking_viewer.h"

namespace sproutsmith::gui {
namespace {

using runtime::Answer;

class MaintenanceWindowsTest : public DesktopTest {
 protected:
  void SetUp() override {
    Install({{.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}});
    Open();
  }
  void Track(const std::string& rule, const std::string& table, int sid) {
    install_.Exec("DEMO",
                  "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
                  "VALUES (" +
                      std::to_string(sid) + ", '" + table + "', '" + rule + "', 0, '')");
  }
  static std::vector<std::string> Column(QTreeWidget* list, int column) {
    std::vector<std::string> values;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      values.push_back(list->topLevelItem(i)->text(column).toStdString());
    }
    return values;
  }
  // A real click in the middle of the column's header section.
  static void ClickHeader(QTreeWidget* list, int column) {
    QHeaderView* header = list->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  }
  static void Click(QDialog& dialog, const char* button) {
    auto* b = dialog.findChild<QPushButton*>(button);
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  static QString Count(QDialog& dialog) { return dialog.findChild<QLabel*>("LabelCount")->text(); }
  std::string SavedParts(const std::string& rule) {
    return install_.Scalar(
        "DEMO",
        "SELECT COALESCE(GROUP_CONCAT(CHAR_VAL, '|'), '') FROM (SELECT CHAR_VAL FROM "
        "QUIL_SETTINGS WHERE MASTER_KEY = 'ARBORLINE' AND SECTION_KEY LIKE "
        "'RULE_SPROUTSMITH_SQL%' AND SUB_KEY = '" +
            rule + "' ORDER BY SECTION_KEY)");
  }
};

TEST_F(MaintenanceWindowsTest, TheViewerSortsByEachColumnAndRemovesOnlyTheSelectedRows) {
  Track("B RULE", "CLIENT", 10);
  Track("A RULE", "MATTER", 9);
  Track("C RULE", "CLIENT", 100);
  Track("A RULE", "CLIENT", 2);
  const std::string connected = seam_->CurrentLibraryName();
  tools::TrackingViewer viewer(engine_->context(), *seam_->connection());
  chosen_ = {"DEMO"};
  ASSERT_TRUE(viewer.Open([this] { return seam_->tree()->SelectLibrary(); }));
  TrackingViewerDialog dialog(viewer);
  dialog.show();
  QTreeWidget* list = dialog.list();
  EXPECT_EQ(dialog.windowTitle(), "Quil_Sproutsmith contents in library DEMO (Total: 4)");
  EXPECT_EQ(Count(dialog), "4 row(s)");
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"A RULE", "A RULE", "B RULE", "C RULE"}));

  struct Sort {
    int column;
    std::vector<std::string> values;  // that column after the click
  };
  const Sort clicks[] = {
      {2, {"2", "9", "10", "100"}},  // SIDs sort as numbers
      {2, {"100", "10", "9", "2"}},  // the same column again reverses
      {1, {"CLIENT", "CLIENT", "CLIENT", "MATTER"}},
      {0, {"A RULE", "A RULE", "B RULE", "C RULE"}},
      {0, {"C RULE", "B RULE", "A RULE", "A RULE"}},
      {1, {"CLIENT", "CLIENT", "CLIENT", "MATTER"}},  // another column starts ascending
  };
  for (const Sort& sort : clicks) {
    ClickHeader(list, sort.column);
    EXPECT_EQ(Column(list, sort.column), sort.values) << "column " << sort.column;
  }

  // Select B RULE/CLIENT/10 and A RULE/MATTER/9; Delete removes just those two.
  list->clearSelection();
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const std::string sid = list->topLevelItem(i)->text(2).toStdString();
    if (sid == "10" || sid == "9") list->topLevelItem(i)->setSelected(true);
  }
  answers_ = {Answer::kYes};
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_TRUE(Shown(
      "Are you sure you want to remove 2 selected row(s) from QUIL_SPROUTSMITH in library DEMO?"));
  EXPECT_TRUE(Shown("2 row(s) removed from QUIL_SPROUTSMITH in library DEMO"));
  EXPECT_EQ(install_.Query("DEMO",
                           "SELECT RULE_NAME, TABLE_NAME, SID FROM QUIL_SPROUTSMITH ORDER BY SID"),
            (testing::Rows{{"A RULE", "CLIENT", "2"}, {"C RULE", "CLIENT", "100"}}));
  EXPECT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(dialog.windowTitle(), "Quil_Sproutsmith contents in library DEMO (Total: 2)");

  EXPECT_EQ(Count(dialog), "2 row(s)");

  // Shift+Delete does nothing; a No keeps the rows; F5 and Refresh list rows added
  // meanwhile; the Remove button removes what is selected; Close closes.
  list->selectAll();
  QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
  answers_ = {Answer::kNo};
  boxes_.clear();
  emit dialog.popup()->actions().front()->triggered();
  EXPECT_EQ(BoxTexts().size(), 1u);
  EXPECT_EQ(install_.Scalar("DEMO", "SELECT COUNT(*) FROM QUIL_SPROUTSMITH"), "2");
  Track("D RULE", "CLIENT", 7);
  QTest::keyClick(list, Qt::Key_F5);
  EXPECT_EQ(list->topLevelItemCount(), 3);
  Track("E RULE", "CLIENT", 8);
  Click(dialog, "ButtonRefresh");
  EXPECT_EQ(Count(dialog), "4 row(s)");
  EXPECT_FALSE(dialog.findChild<QPushButton*>("ButtonRemove")->isEnabled()) << "nothing selected";
  list->topLevelItem(0)->setSelected(true);
  answers_ = {Answer::kYes};
  Click(dialog, "ButtonRemove");
  EXPECT_EQ(Count(dialog), "3 row(s)");
  EXPECT_EQ(install_.Scalar("DEMO", "SELECT COUNT(*) FROM QUIL_SPROUTSMITH"), "3");
  Click(dialog, "ButtonClose");
  EXPECT_FALSE(dialog.isVisible());

  dialog.close();
  viewer.Close();
  EXPECT_EQ(seam_->CurrentLibraryName(), connected);
}

TEST_F(MaintenanceWindowsTest, TheEditorTestsSavesAndCancelsAsTheOperatorAnswers) {
  const std::string rule = "CLIENTS";
  tools::SavedSqlEditor editor(engine_->context(), *seam_->connection(), *seam_->rules(), "DEMO",
                               rule);
  auto dialog = std::make_unique<SavedSqlDialog>(editor);
  dialog->show();
  auto* text = dialog->findChild<QPlainTextEdit*>("TextRuleSQL");
  auto* test = dialog->findChild<QPushButton*>("ButtonTest");
  auto* ok = dialog->findChild<QPushButton*>("ButtonOK");
  auto* cancel = dialog->findChild<QPushButton*>("ButtonCancel");
  ASSERT_TRUE(text && test && ok && cancel);
  EXPECT_TRUE(text->toPlainText().isEmpty());
  const std::string clients = install_.Scalar("DEMO", "SELECT COUNT(*) FROM CLIENT");

  // Test: the row count, or the error.
  text->setPlainText("SELECT SYSTEM_ID FROM [OWNER].CLIENT");
  QTest::mouseClick(test, Qt::LeftButton);
  ASSERT_FALSE(boxes_.empty());
  EXPECT_EQ(boxes_.back().text, "Results: " + clients + " item(s) returned from test on DEMO");
  text->setPlainText("SELECT NOTHING FROM [OWNER].NO_SUCH_TABLE");
  QTest::mouseClick(test, Qt::LeftButton);
  EXPECT_EQ(boxes_.back().text.rfind("SQL Error: ", 0), 0u) << boxes_.back().text;

  // OK with a failing test first: nothing saved, the editor stays.
  answers_ = {Answer::kYes};
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(SavedParts(rule), "");

  // OK without the test: saved with its blanks marked, and the editor closes.
  text->setPlainText("  SELECT  SYSTEM_ID FROM CLIENT  ");
  answers_ = {Answer::kNo};
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_TRUE(Shown("Do you want to test this SQL statement before saving it?"));
  EXPECT_TRUE(Shown("Rule Sproutsmith SQL text saved for the rule CLIENTS in library DEMO"));
  EXPECT_EQ(SavedParts(rule), "SELECT<SPC>SYSTEM_ID<SPC>FROM<SPC>CLIENT");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog->isVisible());

  // Cancel with text asks; No keeps the editor, Yes closes it without saving.
  dialog = std::make_unique<SavedSqlDialog>(editor);
  dialog->show();
  text = dialog->findChild<QPlainTextEdit*>("TextRuleSQL");
  EXPECT_EQ(text->toPlainText().toStdString(), "SELECT  SYSTEM_ID FROM CLIENT");
  text->setPlainText("SELECT 1");
  answers_ = {Answer::kNo};
  QTest::mouseClick(dialog->findChild<QPushButton*>("ButtonCancel"), Qt::LeftButton);
  EXPECT_TRUE(Shown("Are you sure you want to exit without saving?"));
  EXPECT_TRUE(dialog->isVisible());
  answers_ = {Answer::kYes};
  QTest::keyClick(text, Qt::Key_Escape);  // Esc is Cancel too
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(SavedParts(rule), "SELECT<SPC>SYSTEM_ID<SPC>FROM<SPC>CLIENT");

  // Clearing: OK on an empty box asks, and Yes removes every stored part.
  dialog = std::make_unique<SavedSqlDialog>(editor);
  dialog->show();
  dialog->findChild<QPlainTextEdit*>("TextRuleSQL")->clear();
  answers_ = {Answer::kYes};
  QTest::mouseClick(dialog->findChild<QPushButton*>("ButtonOK"), Qt::LeftButton);
  EXPECT_TRUE(Shown("Do you want to clear the saved SQL statement?"));
  EXPECT_EQ(SavedParts(rule), "");
  for (const Box& box : boxes_)
    EXPECT_EQ(box.title, "Arborline\u2122 Sproutsmith for OpenText eDOCS");
}

}  // namespace
}  // namespace sproutsmith::gui
