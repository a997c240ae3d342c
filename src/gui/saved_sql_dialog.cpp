#include "gui/saved_sql_dialog.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace sproutsmith::gui {

SavedSqlDialog::SavedSqlDialog(tools::SavedSqlEditor& editor, QWidget* parent)
    : QDialog(parent), editor_(editor), text_(new QPlainTextEdit(this)) {
  setObjectName("QuilRuleSQL");
  setWindowTitle(QString::fromStdString("Saved SQL of rule " + editor.rule()));
  text_->setObjectName("TextRuleSQL");
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->setPlainText(QString::fromStdString(editor_.Open()));

  auto* test = new QPushButton("&Test", this);
  test->setObjectName("ButtonTest");
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ButtonOK");
  ok->setDefault(false);
  ok->setAutoDefault(false);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("ButtonCancel");
  connect(test, &QPushButton::clicked, this, &SavedSqlDialog::Test);
  connect(ok, &QPushButton::clicked, this, &SavedSqlDialog::Ok);
  connect(cancel, &QPushButton::clicked, this, &SavedSqlDialog::reject);

  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBarInfo");
  status->setSizeGripEnabled(false);
  status->addWidget(new QLabel(QString::fromStdString(editor_.library()), status), 1);
  status->addWidget(new QLabel(QString::fromStdString(editor_.rule()), status), 1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(test);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_, 1);
  layout->addLayout(buttons);
  layout->addWidget(status);
  resize(560, 360);
}

std::string SavedSqlDialog::Text() const { return text_->toPlainText().toStdString(); }

void SavedSqlDialog::Test() { editor_.Test(Text()); }

void SavedSqlDialog::Ok() {
  std::string text = Text();
  const tools::SaveResult result = editor_.Save(text);
  text_->setPlainText(QString::fromStdString(text));
  if (result == tools::SaveResult::kSaved || result == tools::SaveResult::kCleared) accept();
}

void SavedSqlDialog::reject() {
  if (editor_.Cancel(Text())) QDialog::reject();
}

}  // namespace sproutsmith::gui
