#pragma once
// The editor of a rule's saved selection statement: the statement, Test, OK and Cancel, and
// a status bar with the library and the rule. Closing the window any other way counts as
// Cancel, so unsaved text is never dropped without the question.

#include <QDialog>

#include "tools/saved_sql.h"

class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace sproutsmith::gui {

class SavedSqlDialog : public QDialog {
  Q_OBJECT

 public:
  // Fills the box from the editor's saved statement.
  SavedSqlDialog(tools::SavedSqlEditor& editor, QWidget* parent = nullptr);

  void Test();
  void Ok();
  void reject() override;  // Cancel, the close box and Esc

 private:
  std::string Text() const;

  tools::SavedSqlEditor& editor_;
  QPlainTextEdit* text_;
};

}  // namespace sproutsmith::gui
