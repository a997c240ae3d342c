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
using Values = std::vector<std::string>;

class MaintenanceWindowsTest : public DesktopTest {
 protected:
  void SetUp() override {
    Install();
    Open();
  }
  void Track(const std::string& rule, const std::string& table, int sid) {
    install_.Exec("DEMO",
                  "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
                  "VALUES (" +
                      std::to_string(sid) + ", '" + table + "', '" + rule + "', 0, '')");
  }
  std::string Tracked() { return install_.Scalar("DEMO", "SELECT COUNT(*) FROM QUIL_SPROUTSMITH"); }
  static Values Column(QTreeWidget* list, int column) {
    Values values;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      values.push_back(list->topLevelItem(i)->text(column).toStdString());
    }
    return values;
  }
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
  // The boxes shown since the last call, one line each.
  std::string Boxes() {
    std::string texts;
    for (const testing::ShownMessage& box : script_.messages) texts += box.text + "\n";
    script_.messages.clear();
    return texts;
  }
};

TEST_F(MaintenanceWindowsTest, TheViewerSortsByEachColumnAndRemovesOnlyTheSelectedRows) {
  Track("B RULE", "CLIENT", 10);
  Track("A RULE", "MATTER", 9);
  Track("C RULE", "CLIENT", 100);
  Track("A RULE", "CLIENT", 2);
  const std::string connected = session_->CurrentLibraryName();
  tools::TrackingViewer viewer(engine_->context(), session_->connection());
  script_.files = {"DEMO"};
  ASSERT_TRUE(viewer.Open([this] { return session_->tree().SelectLibrary(); }));
  TrackingViewerDialog dialog(viewer);
  dialog.show();
  QTreeWidget* list = dialog.list();
  EXPECT_EQ(dialog.windowTitle(), "Quil_Sproutsmith contents in library DEMO (Total: 4)");
  EXPECT_EQ(Count(dialog), "4 row(s)");
  EXPECT_EQ(Column(list, 0), (Values{"A RULE", "A RULE", "B RULE", "C RULE"}));

  // The column clicked, and that column after the click.
  const std::pair<int, Values> clicks[] = {
      {2, {"2", "9", "10", "100"}},  // SIDs sort as numbers
      {2, {"100", "10", "9", "2"}},  // the same column again reverses
      {1, {"CLIENT", "CLIENT", "CLIENT", "MATTER"}},
      {0, {"A RULE", "A RULE", "B RULE", "C RULE"}},
      {0, {"C RULE", "B RULE", "A RULE", "A RULE"}},
      {1, {"CLIENT", "CLIENT", "CLIENT", "MATTER"}},  // another column starts ascending
  };
  for (const auto& [column, values] : clicks) {
    ClickHeader(list, column);
    EXPECT_EQ(Column(list, column), values) << "column " << column;
  }

  // Select B RULE/CLIENT/10 and A RULE/MATTER/9; Delete removes just those two.
  list->clearSelection();
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const std::string sid = list->topLevelItem(i)->text(2).toStdString();
    if (sid == "10" || sid == "9") list->topLevelItem(i)->setSelected(true);
  }
  script_.answers = {Answer::kYes};
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(Boxes(),
            "Are you sure you want to remove 2 selected row(s) from QUIL_SPROUTSMITH in library "
            "DEMO?\n2 row(s) removed from QUIL_SPROUTSMITH in library DEMO\n");
  EXPECT_EQ(install_.Query("DEMO",
                           "SELECT RULE_NAME, TABLE_NAME, SID FROM QUIL_SPROUTSMITH ORDER BY SID"),
            (testing::Rows{{"A RULE", "CLIENT", "2"}, {"C RULE", "CLIENT", "100"}}));
  EXPECT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(Count(dialog), "2 row(s)");

  // Shift+Delete does nothing; a No keeps the rows; F5 and Refresh list rows added
  // meanwhile; the Remove button removes what is selected; Close closes.
  list->selectAll();
  QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
  script_.answers = {Answer::kNo};
  emit dialog.popup()->actions().front()->triggered();
  EXPECT_EQ(Boxes(),
            "Are you sure you want to remove 2 selected row(s) from QUIL_SPROUTSMITH in library "
            "DEMO?\n");
  EXPECT_EQ(Tracked(), "2");
  Track("D RULE", "CLIENT", 7);
  QTest::keyClick(list, Qt::Key_F5);
  EXPECT_EQ(list->topLevelItemCount(), 3);
  Track("E RULE", "CLIENT", 8);
  Click(dialog, "ButtonRefresh");
  EXPECT_EQ(Count(dialog), "4 row(s)");
  EXPECT_FALSE(dialog.findChild<QPushButton*>("ButtonRemove")->isEnabled()) << "nothing selected";
  list->topLevelItem(0)->setSelected(true);
  script_.answers = {Answer::kYes};
  Click(dialog, "ButtonRemove");
  EXPECT_EQ(Count(dialog), "3 row(s)");
  EXPECT_EQ(Tracked(), "3");
  Click(dialog, "ButtonClose");
  EXPECT_FALSE(dialog.isVisible());

  dialog.close();
  viewer.Close();
  EXPECT_EQ(session_->CurrentLibraryName(), connected);
}

TEST_F(MaintenanceWindowsTest, TheEditorTestsSavesAndCancelsAsTheOperatorAnswers) {
  const std::string test_first = "Do you want to test this SQL statement before saving it?\n";
  const std::string leave = "Are you sure you want to exit without saving?\n";
  tools::SavedSqlEditor editor(engine_->context(), session_->connection(), session_->rules(),
                               "DEMO", "CLIENTS");
  std::unique_ptr<SavedSqlDialog> dialog;
  QPlainTextEdit* text = nullptr;
  auto reopen = [&] {
    dialog = std::make_unique<SavedSqlDialog>(editor);
    dialog->show();
    text = dialog->findChild<QPlainTextEdit*>("TextRuleSQL");
    ASSERT_NE(text, nullptr);
  };
  reopen();
  EXPECT_TRUE(text->toPlainText().isEmpty());

  // Test: the row count, or the error.
  text->setPlainText("SELECT SYSTEM_ID FROM [OWNER].CLIENT");
  Click(*dialog, "ButtonTest");
  EXPECT_EQ(Boxes(), "Results: " + install_.Scalar("DEMO", "SELECT COUNT(*) FROM CLIENT") +
                         " item(s) returned from test on DEMO\n");
  text->setPlainText("SELECT NOTHING FROM [OWNER].NO_SUCH_TABLE");
  Click(*dialog, "ButtonTest");
  const std::string error = Boxes();
  EXPECT_EQ(error.rfind("SQL Error: ", 0), 0u) << error;

  // OK with a failing test first: nothing saved, the editor stays.
  script_.answers = {Answer::kYes};
  Click(*dialog, "ButtonOK");
  EXPECT_EQ(Boxes(), test_first + error);
  EXPECT_TRUE(dialog->isVisible());

  // OK without the test: saved, and the editor closes.
  text->setPlainText("  SELECT  SYSTEM_ID FROM CLIENT  ");
  script_.answers = {Answer::kNo};
  Click(*dialog, "ButtonOK");
  EXPECT_EQ(Boxes(),
            test_first + "Rule Sproutsmith SQL text saved for the rule CLIENTS in library DEMO\n");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog->isVisible());

  // Cancel with text asks; No keeps the editor, Yes (to Esc, Cancel too) closes it unsaved.
  reopen();
  EXPECT_EQ(text->toPlainText().toStdString(), "SELECT  SYSTEM_ID FROM CLIENT");
  text->setPlainText("SELECT 1");
  script_.answers = {Answer::kNo, Answer::kYes};
  Click(*dialog, "ButtonCancel");
  EXPECT_TRUE(dialog->isVisible());
  QTest::keyClick(text, Qt::Key_Escape);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(Boxes(), leave + leave);

  // Clearing: OK on an empty box asks, and Yes clears.
  reopen();
  EXPECT_EQ(text->toPlainText().toStdString(), "SELECT  SYSTEM_ID FROM CLIENT");
  text->clear();
  script_.answers = {Answer::kYes};
  Click(*dialog, "ButtonOK");
  EXPECT_EQ(Boxes(),
            "Do you want to clear the saved SQL statement?\nRule Sproutsmith SQL text saved for "
            "the rule CLIENTS in library DEMO\n");
}

}  // namespace
}  // namespace sproutsmith::gui
