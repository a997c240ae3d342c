#include "gui/log_viewer_window.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

namespace sproutsmith::gui {

namespace {

// The log is written in batches at least once a second.
constexpr int kFollowIntervalMs = 1000;

QString LogText(const QByteArray& bytes) {
  QString text = QString::fromUtf8(bytes);
  text.remove(QLatin1Char('\r'));
  return text;
}

}  // namespace

LogViewerWindow::LogViewerWindow(QWidget* parent)
    : QDialog(parent),
      text_(new QPlainTextEdit(this)),
      find_(new QLineEdit(this)),
      found_(new QLabel(this)),
      follow_(new QTimer(this)) {
  setObjectName("LogViewer");
  setAttribute(Qt::WA_DeleteOnClose);
  text_->setObjectName("TextLog");
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  find_->setObjectName("TextFind");
  find_->setPlaceholderText("Find (Enter, F3: next)");
  find_->setClearButtonEnabled(true);
  found_->setObjectName("LabelFound");
  auto* next = new QPushButton("Find &next", this);
  next->setObjectName("ButtonFindNext");
  next->setAutoDefault(false);
  auto* close = new QPushButton("&Close", this);
  close->setObjectName("ButtonClose");
  close->setAutoDefault(false);
  connect(find_, &QLineEdit::returnPressed, this, &LogViewerWindow::FindNext);
  connect(next, &QPushButton::clicked, this, &LogViewerWindow::FindNext);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  auto* f3 = new QShortcut(QKeySequence(Qt::Key_F3), this);
  connect(f3, &QShortcut::activated, this, &LogViewerWindow::FindNext);
  auto* ctrl_f = new QShortcut(QKeySequence::Find, this);
  connect(ctrl_f, &QShortcut::activated, this, [this] {
    find_->setFocus();
    find_->selectAll();
  });
  connect(follow_, &QTimer::timeout, this, &LogViewerWindow::Refresh);

  auto* bar = new QHBoxLayout;
  bar->addWidget(find_, 1);
  bar->addWidget(next);
  bar->addWidget(found_);
  bar->addStretch(0);
  bar->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_, 1);
  layout->addLayout(bar);
  resize(820, 560);
}

void LogViewerWindow::ShowFile(const QString& path) {
  path_ = path;
  setWindowTitle(QFileInfo(path).fileName());
  Load();
  follow_->start(kFollowIntervalMs);
}

void LogViewerWindow::ShowText(const QString& title, const QString& text) {
  follow_->stop();
  path_.clear();
  setWindowTitle(title);
  text_->setPlainText(text);
  text_->moveCursor(QTextCursor::Start);
}

void LogViewerWindow::Load() {
  read_ = 0;
  text_->clear();
  Refresh();
  text_->moveCursor(QTextCursor::End);
}

void LogViewerWindow::Refresh() {
  if (path_.isEmpty()) return;
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return;
  if (file.size() < read_) {
    // Purged or replaced: what is shown is no longer the file.
    read_ = 0;
    text_->clear();
  }
  if (file.size() == read_ || !file.seek(read_)) return;
  const QByteArray added = file.readAll();
  // A line still being written waits for its end.
  const qsizetype end = added.lastIndexOf('\n') + 1;
  if (end == 0) return;
  read_ += end;
  QScrollBar* bar = text_->verticalScrollBar();
  const bool at_end = bar->value() == bar->maximum();
  const int kept = bar->value();
  QTextCursor cursor(text_->document());
  cursor.movePosition(QTextCursor::End);
  QString text = LogText(added.left(end));
  // Every block but the last ends with a line break; the document's last block is open.
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  if (!text_->document()->isEmpty()) text.prepend(QLatin1Char('\n'));
  cursor.insertText(text);
  bar->setValue(at_end ? bar->maximum() : kept);
}

bool LogViewerWindow::GoToLast(const QString& line) {
  const QRegularExpression whole(QRegularExpression::escape(line) + "$");
  QTextCursor from(text_->document());
  from.movePosition(QTextCursor::End);
  const QTextCursor hit = text_->document()->find(whole, from, QTextDocument::FindBackward);
  if (hit.isNull()) return false;
  // From the end backwards, so the line comes to rest at the top of the view.
  text_->moveCursor(QTextCursor::End);
  QTextCursor at = hit;
  at.movePosition(QTextCursor::StartOfBlock);
  text_->setTextCursor(at);
  text_->ensureCursorVisible();
  return true;
}

bool LogViewerWindow::FindNext() {
  const QString wanted = find_->text();
  if (wanted.isEmpty()) return false;
  QTextCursor hit = text_->document()->find(wanted, text_->textCursor());
  if (hit.isNull()) hit = text_->document()->find(wanted, 0);
  found_->setText(hit.isNull() ? "Not found" : "");
  if (hit.isNull()) return false;
  text_->setTextCursor(hit);
  text_->ensureCursorVisible();
  return true;
}

}  // namespace sproutsmith::gui
