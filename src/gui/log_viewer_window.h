#pragma once
// The program's own read-only text viewer, for a desktop without a default viewer and for
// going to one rule's part of the log: the text, a find box (Enter or F3 finds the next
// match, from the top again after the last) and Close. A file is shown scrolled to its end
// and followed while it grows (a running cycle writing its log), staying at the end when the
// reader is there; a shorter file (purged, a new day) is read again from its start.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;

namespace sproutsmith::gui {

class LogViewerWindow : public QDialog {
  Q_OBJECT

 public:
  explicit LogViewerWindow(QWidget* parent = nullptr);

  // Shows the file and follows it.
  void ShowFile(const QString& path);
  // Shows a fixed text (nothing is followed).
  void ShowText(const QString& title, const QString& text);
  // Puts the last line that begins with `line` at the top of the view; false when none does.
  bool GoToLast(const QString& line);
  // Selects the next match of the find box's text; false when there is none.
  bool FindNext();
  // Reads what was added to the file since the last look.
  void Refresh();

  const QString& path() const { return path_; }
  QPlainTextEdit* text() { return text_; }

 private:
  void Load();

  QPlainTextEdit* text_;
  QLineEdit* find_;
  QLabel* found_;
  QTimer* follow_;
  QString path_;
  qint64 read_ = 0;  // bytes of the file shown
};

}  // namespace sproutsmith::gui
