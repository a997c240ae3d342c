#pragma once
// The Ui of the desktop window. The yield point serves pending events every time and brings
// the window up to date with the models at most every kSyncIntervalMs (a cycle yields after
// every row and status line, far more often than an eye can follow); boxes and waits always
// show the window as it is. The one-second wait runs a local event loop, so the window stays
// live. Message boxes and choosers are Qt's own dialogs unless a test puts its own in their
// place.

#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

#include "runtime/ui.h"

class QWidget;

namespace sproutsmith::gui {

class QtUi final : public runtime::Ui {
 public:
  using MessagePresenter = std::function<runtime::Answer(
      const std::string& text, runtime::MessageStyle style, const std::string& title)>;
  using ListChooser = std::function<std::string(const std::vector<std::string>& items)>;
  using FileChooser = std::function<std::string(const std::string& title)>;

  // `title`: the program title, which every dialog of the program carries.
  explicit QtUi(std::string title);

  // The window the dialogs belong to, and how it catches up with the models.
  // `stale`, when given, says the window shows a state that must not wait for the next
  // throttled refresh (Go enabled while a cycle runs).
  void AttachWindow(QWidget* parent, std::function<void()> sync, std::function<bool()> stale = {});
  // Replace the dialogs (tests answer them from a script).
  void SetMessagePresenter(MessagePresenter presenter) { present_ = std::move(presenter); }
  void SetLibraryChooser(ListChooser chooser) { choose_library_ = std::move(chooser); }
  void SetFileChooser(FileChooser chooser) { choose_file_ = std::move(chooser); }

  runtime::Answer MessageBox(const std::string& text, runtime::MessageStyle style,
                             const std::string& title) override;
  void Yield() override;
  void StatusChanged(const std::string& text) override;
  void SetBusy(bool busy) override;
  void SleepOneSecond() override;
  std::string ChooseSaveFile(const std::string& title, const std::string& default_ext,
                             const std::string& filter, const std::string& folder,
                             const std::string& file) override;
  std::string ChooseLibrary(const std::vector<std::string>& libraries) override;
  void Progress(const runtime::CycleProgress& progress) override;

  // The cycle's latest progress (a default one before the first cycle) and how long its
  // current rule has run (the last rule's whole time once it ended).
  const runtime::CycleProgress& progress() const { return progress_; }
  double RuleSeconds() const;

  // The window caught up with the models (also called by the window after its own clicks).
  void Sync();

  static constexpr qint64 kSyncIntervalMs = 40;
  // How often a yield lets the window catch up (kSyncIntervalMs unless set): 0 makes every
  // yield show the models, so a test sees each step however fast or slow the machine is.
  void SetSyncInterval(qint64 milliseconds) { sync_interval_ms_ = milliseconds; }

 private:
  std::string title_;
  QWidget* parent_ = nullptr;
  std::function<void()> sync_;
  std::function<bool()> stale_;
  qint64 sync_interval_ms_ = kSyncIntervalMs;
  MessagePresenter present_;
  ListChooser choose_library_;
  FileChooser choose_file_;
  bool busy_ = false;
  QElapsedTimer since_sync_;
  runtime::CycleProgress progress_;
  QElapsedTimer rule_clock_;
  double rule_seconds_ = 0;  // frozen when the rule ends
};

// "Log files (*.log)|*.log" (description|pattern pairs) as a Qt name filter.
std::string QtNameFilter(const std::string& filter);

}  // namespace sproutsmith::gui
