#pragma once
// A log on 2020-11-14 09:30:15.250 writing to Arborline.LOG in a temporary folder, over a file
// system that can be made to fail; the failures it reports are kept in `reports_`.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log.h"
#include "platform/os/failing_file_system.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace sproutsmith::log {

class LogOnFailingDisk : public ::testing::Test {
 protected:
  LogOnFailingDisk()
      : clock_(text::DateTime{2020, 11, 14, 9, 30, 15, 250}),
        log_(clock_, state_, options_, ui_, files_) {
    state_.LogFile = dir_.File("Arborline.LOG");
    log_.OnWriteFailure([this](const std::string& why) { reports_.push_back(why); });
  }
  // The day's file.
  std::string Dated() { return dir_.File("Arborline_20201114.LOG"); }

  testing::TempDir dir_;
  os::FixedClock clock_;
  runtime::RunState state_;
  runtime::Options options_;
  testing::ScriptedUi ui_;
  os::FailingFileSystem files_;
  Log log_;
  std::vector<std::string> reports_;
};

}  // namespace sproutsmith::log
