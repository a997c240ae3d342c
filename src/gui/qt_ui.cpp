#include "gui/qt_ui.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include "text/text.h"

namespace sproutsmith::gui {

using runtime::Answer;
using runtime::MessageStyle;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

Answer ShowBox(QWidget* parent, const std::string& text, MessageStyle style,
               const std::string& title) {
  QMessageBox box(parent);
  box.setWindowTitle(Q(title));
  box.setText(Q(text));
  switch (style) {
    case MessageStyle::kInformation:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageStyle::kExclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageStyle::kCritical:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageStyle::kYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MessageStyle::kYesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  const int pressed = box.exec();
  if (style != MessageStyle::kYesNo && style != MessageStyle::kYesNoCancel) return Answer::kNone;
  if (pressed == QMessageBox::Yes) return Answer::kYes;
  if (pressed == QMessageBox::Cancel) return Answer::kCancel;
  return Answer::kNo;
}

}  // namespace

std::string QtNameFilter(const std::string& filter) {
  const std::vector<std::string> parts = text::Split(filter, "|");
  std::string out;
  for (size_t i = 0; i < parts.size(); i += 2) {
    if (!out.empty()) out += ";;";
    out += parts[i];
  }
  return out;
}

QtUi::QtUi(std::string title) : title_(std::move(title)) {}

void QtUi::AttachWindow(QWidget* parent, std::function<void()> sync, std::function<bool()> stale) {
  parent_ = parent;
  sync_ = std::move(sync);
  stale_ = std::move(stale);
}

Answer QtUi::MessageBox(const std::string& text, MessageStyle style, const std::string& title) {
  Sync();
  // A box must never hide behind the hourglass.
  if (busy_) QApplication::restoreOverrideCursor();
  const Answer answer =
      present_ ? present_(text, style, title) : ShowBox(parent_, text, style, title);
  if (busy_) QApplication::setOverrideCursor(Qt::WaitCursor);
  return answer;
}

void QtUi::Sync() {
  if (sync_) sync_();
  since_sync_.start();
}

void QtUi::Yield() {
  if (!since_sync_.isValid() || since_sync_.elapsed() >= sync_interval_ms_ || (stale_ && stale_())) {
    Sync();
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// The next yield shows it (every status line is followed by one).
void QtUi::StatusChanged(const std::string&) {}

void QtUi::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void QtUi::SleepOneSecond() {
  Sync();
  QEventLoop wait;
  QTimer::singleShot(1000, &wait, &QEventLoop::quit);
  wait.exec();
}

void QtUi::Progress(const runtime::CycleProgress& progress) {
  using Step = runtime::CycleProgress::Step;
  if (progress.step == Step::kRuleStarts) {
    rule_clock_.start();
    rule_seconds_ = 0;
  }
  if (progress.step == Step::kRuleEnds && rule_clock_.isValid()) {
    rule_seconds_ = static_cast<double>(rule_clock_.elapsed()) / 1000.0;
    rule_clock_.invalidate();
  }
  progress_ = progress;
}

double QtUi::RuleSeconds() const {
  return rule_clock_.isValid() ? static_cast<double>(rule_clock_.elapsed()) / 1000.0
                               : rule_seconds_;
}

std::string QtUi::ChooseSaveFile(const std::string& title, const std::string& default_ext,
                                 const std::string& filter, const std::string& folder,
                                 const std::string& file) {
  if (choose_file_) return choose_file_(title);
  QFileDialog dialog(parent_, Q(title), Q(folder), Q(QtNameFilter(filter)));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(Q(default_ext));
  if (!file.empty()) dialog.selectFile(Q(file));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
  return dialog.selectedFiles().front().toStdString();
}

std::string QtUi::ChooseLibrary(const std::vector<std::string>& libraries) {
  if (choose_library_) return choose_library_(libraries);
  QStringList items;
  for (const std::string& name : libraries) items << Q(name);
  bool ok = false;
  const QString chosen =
      QInputDialog::getItem(parent_, Q(title_), "Library:", items, 0, false, &ok);
  return ok ? chosen.toStdString() : "";
}

}  // namespace sproutsmith::gui
