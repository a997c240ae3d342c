#pragma once
// A log on 2020-11-14 09:30:15.250 writing to Arborline.LOG in a temporary folder, over a file
// system that lets everything through until a test arms it to fail; the failures the log
// reports are kept in `reports_`, message boxes and the file dialog's arguments in `ui_`.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log.h"
#include "platform/os/failing_file_system.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace sproutsmith::log {

using Lines = std::vector<std::string>;

// A ScriptedUi that also records the file dialog's arguments.
class DialogUi final : public runtime::Ui {
 public:
  runtime::Answer MessageBox(const std::string& t, runtime::MessageStyle s,
                             const std::string& title) override {
    return scripted.MessageBox(t, s, title);
  }
  void Yield() override { scripted.Yield(); }
  void StatusChanged(const std::string& t) override { scripted.StatusChanged(t); }
  void SetBusy(bool busy) override { scripted.SetBusy(busy); }
  void SleepOneSecond() override {}
  std::string ChooseSaveFile(const std::string& title, const std::string& ext,
                             const std::string& filter, const std::string& folder,
                             const std::string& file) override {
    dialog = {title, ext, filter, folder, file};
    return scripted.ChooseSaveFile(title, ext, filter, folder, file);
  }
  std::string ChooseLibrary(const std::vector<std::string>& l) override {
    return scripted.ChooseLibrary(l);
  }

  testing::ScriptedUi scripted;
  std::vector<std::string> dialog;
};

class LogFixture : public ::testing::Test {
 protected:
  LogFixture()
      : clock_(text::DateTime{2020, 11, 14, 9, 30, 15, 250}),
        log_(clock_, state_, options_, ui_, files_) {
    state_.LogFile = dir_.File("Arborline.LOG");
    log_.OnWriteFailure([this](const std::string& why) { reports_.push_back(why); });
  }
  // The day's file (or another file of the folder).
  std::string Dated(const std::string& name = "Arborline_20201114.LOG") { return dir_.File(name); }
  // What the disk holds now; the log is not asked to write anything first.
  Lines OnDisk(const std::string& name = "Arborline_20201114.LOG") {
    return testing::ReadLines(Dated(name));
  }
  // The day's file once the log has written what it holds, as at a row's end.
  Lines Written() {
    log_.Flush();
    return OnDisk();
  }

  testing::TempDir dir_;
  os::FixedClock clock_;
  runtime::RunState state_;
  runtime::Options options_;
  DialogUi ui_;
  os::FailingFileSystem files_;
  Log log_;
  std::vector<std::string> reports_;
};

}  // namespace sproutsmith::log
