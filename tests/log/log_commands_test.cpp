#include "log/log_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/os/failing_file_system.h"
#include "support/recording_launcher.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace sproutsmith::log {
namespace {

using runtime::Answer;
using runtime::MessageStyle;
using testing::ReadFile;
using testing::ReadLines;
using testing::TempDir;
using testing::WriteFile;

// Records the file dialog's arguments; everything else goes to a ScriptedUi.
class DialogUi final : public runtime::Ui {
 public:
  runtime::Answer MessageBox(const std::string& t, MessageStyle s,
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

class LogCommandsTest : public ::testing::Test {
 protected:
  LogCommandsTest()
      : clock_(text::DateTime{2020, 11, 14, 9, 30, 15, 0}),
        settings_(dir_.File("config")),
        log_(clock_, state_, options_, ui_, files_),
        context_{clock_, settings_, ui_, state_, options_, identity_, log_},
        commands_(context_, launcher_) {
    state_.LogFile = dir_.File("Arborline.LOG");
    state_.ProgramFolder = dir_.path().string();
    options_.LabelStatus = "Idle";
  }
  std::string Today() { return dir_.File("Arborline_20201114.LOG"); }
  // Today's file once the log has written what it holds, as at a row's end.
  std::vector<std::string> TodayLines() {
    log_.Flush();
    return ReadLines(Today());
  }
  const std::vector<testing::ShownMessage>& Messages() { return ui_.scripted.messages; }

  TempDir dir_;
  os::FixedClock clock_;
  os::SettingsStore settings_;
  runtime::RunState state_;
  runtime::Options options_;
  runtime::Identity identity_;
  DialogUi ui_;
  os::FailingFileSystem files_;  // lets everything through until a test arms it
  Log log_;
  Context context_;
  testing::RecordingLauncher launcher_;
  LogCommands commands_;
};

TEST_F(LogCommandsTest, PurgeAsksOnlyAboutAnExistingFile) {
  commands_.PurgeFile("");
  commands_.PurgeFile(dir_.File("missing.LOG"));
  EXPECT_TRUE(Messages().empty());

  WriteFile(Today(), "line\r\n");
  ui_.scripted.answers = {Answer::kNo};
  commands_.PurgeFile(Today());
  EXPECT_TRUE(std::filesystem::exists(Today()));

  ui_.scripted.answers = {Answer::kYes};
  commands_.PurgeFile(Today());
  EXPECT_FALSE(std::filesystem::exists(Today()));
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[1].text, "Are you sure you want to purge the file " + Today() + "?");
  EXPECT_EQ(Messages()[1].style, MessageStyle::kYesNo);
  EXPECT_EQ(Messages()[1].title, identity_.program_title);
}

TEST_F(LogCommandsTest, PurgeLogTakesTheFileWrittenLast) {
  commands_.MNLogPurge();  // nothing written yet: nothing to purge
  EXPECT_TRUE(Messages().empty());
  log_.AddLog("a line");
  ui_.scripted.answers = {Answer::kYes};
  commands_.MNLogPurge();
  EXPECT_FALSE(std::filesystem::exists(Today()));
}

TEST_F(LogCommandsTest, APurgeThatCannotRemoveTheFileSaysSo) {
  log_.AddLog("a line");
  files_.Fail(os::FailingFileSystem::Operation::kRemove, 1, true, "Permission denied");
  ui_.scripted.answers = {Answer::kYes};
  commands_.MNLogPurge();
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[1].text, "File " + Today() + " has NOT been removed.");
  EXPECT_EQ(Messages()[1].style, MessageStyle::kExclamation);
  EXPECT_EQ(TodayLines(), std::vector<std::string>{"a line"});
  // The log let go of the file for the purge and takes it up again with the next line.
  log_.AddLog("next");
  EXPECT_EQ(TodayLines(), (std::vector<std::string>{"a line", "next"}));
}

TEST_F(LogCommandsTest, ViewLogReportsWhatIsMissing) {
  commands_.MNLogView();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, Today() + " not found");
  EXPECT_EQ(Messages()[0].style, MessageStyle::kInformation);

  state_.LogFile.clear();
  commands_.MNLogView();
  EXPECT_EQ(Messages().back().text, "Log file not defined");
  EXPECT_TRUE(launcher_.launches.empty());
}

TEST_F(LogCommandsTest, ViewLogOpensTheDayFileAndRestoresTheCaption) {
  log_.AddLog("a line");
  commands_.MNLogView();
  ASSERT_EQ(launcher_.launches.size(), 1u);
  EXPECT_EQ(launcher_.launches[0].program, "NotePad.exe");
  EXPECT_EQ(launcher_.launches[0].args, std::vector<std::string>{Today()});
  EXPECT_EQ(ui_.scripted.statuses,
            (std::vector<std::string>{"Viewing File " + Today() + " using Notepad", "Idle"}));
  EXPECT_EQ(options_.LabelStatus, "Idle");
  EXPECT_FALSE(ui_.scripted.busy);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(LogCommandsTest, ViewLogBeforeAnyLineSplitsAtTheFirstDot) {
  // Written by an earlier run today; this run has written nothing yet.
  WriteFile(Today(), "earlier\r\n");
  commands_.MNLogView();
  ASSERT_EQ(launcher_.launches.size(), 1u);
  EXPECT_EQ(launcher_.launches[0].args[0], Today());

  // A file name with two dots in a dotted folder: the folder's dot never counts, the first
  // dot of the name names no file, and the day's real file is shown instead.
  std::filesystem::create_directories(dir_.File("logs.d"));
  state_.LogFile = dir_.File("logs.d/run.v2.LOG");
  const std::string first_dot = dir_.File("logs.d/run_20201114.v2.LOG");
  commands_.MNLogView();
  EXPECT_EQ(Messages().back().text, first_dot + " not found");
  WriteFile(dir_.File("logs.d/run.v2_20201114.LOG"), "x\r\n");
  commands_.MNLogView();
  ASSERT_EQ(launcher_.launches.size(), 2u);
  EXPECT_EQ(launcher_.launches[1].args[0], dir_.File("logs.d/run.v2_20201114.LOG"));
}

TEST_F(LogCommandsTest, HtmlFilesNeedABrowser) {
  const std::string page = dir_.File("report.HTM");
  WriteFile(page, "<html/>");
  commands_.ViewFile(page);
  ASSERT_EQ(launcher_.launches.size(), 1u);
  EXPECT_EQ(launcher_.launches[0].program, "/usr/bin/xdg-open");
  EXPECT_EQ(ui_.scripted.statuses.front(), "Viewing File " + page + " using /usr/bin/xdg-open");

  launcher_.viewer.clear();
  commands_.ViewFile(page);
  EXPECT_EQ(launcher_.launches.size(), 1u);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Unable to locate your Internet Explorer program");
  EXPECT_EQ(Messages()[0].style, MessageStyle::kExclamation);
  EXPECT_EQ(options_.LabelStatus, "Idle");
}

TEST_F(LogCommandsTest, AViewerThatCannotStartIsReportedInTheLog) {
  const std::string text = dir_.File("notes.txt");
  WriteFile(text, "x");
  launcher_.starts = false;
  commands_.ViewFile(text);
  EXPECT_EQ(TodayLines(),
            (std::vector<std::string>{std::string(70, '-'), "ViewFile:",
                                      "Error: 2020-11-14 09:30:15.00  #53 was generated by "
                                      "Sproutsmith",
                                      "File not found: NotePad.exe", std::string(70, '-')}));
  EXPECT_EQ(options_.LabelStatus, "Idle");
  EXPECT_FALSE(ui_.scripted.busy);
}

TEST_F(LogCommandsTest, ReadmeIsShownOnlyWhenItExists) {
  state_.ReadmePath = dir_.File("Arborline_SproutRun_Readme.txt");
  commands_.MNHelpReadme();
  EXPECT_TRUE(launcher_.launches.empty());
  WriteFile(state_.ReadmePath, "read me");
  commands_.MNHelpReadme();
  ASSERT_EQ(launcher_.launches.size(), 1u);
  EXPECT_EQ(launcher_.launches[0].program, "NotePad.exe");
  EXPECT_EQ(ui_.scripted.statuses.front(), "Viewing File " + state_.ReadmePath + " using Notepad");
  EXPECT_EQ(options_.LabelStatus, "Idle");
}

TEST_F(LogCommandsTest, TimeStampToggleTakesEffectWithTheNextLine) {
  commands_.MNTimeStampLogFile();
  log_.AddLog("stamped");
  commands_.MNTimeStampLogFile();
  log_.AddLog("plain");
  EXPECT_EQ(TodayLines(), (std::vector<std::string>{"2020-11-14 09:30:15.00  stamped", "plain"}));
}

TEST_F(LogCommandsTest, LogLocationIsSavedAtOnceAndCancelChangesNothing) {
  ui_.scripted.files = {""};
  EXPECT_FALSE(commands_.ButtonLogDir());
  EXPECT_EQ(ui_.dialog, (std::vector<std::string>{"Select location for log file:", "LOG",
                                                  "Log files (*.log)|*.log", dir_.path().string(),
                                                  "Arborline.LOG"}));
  EXPECT_EQ(state_.LogFile, dir_.File("Arborline.LOG"));
  EXPECT_EQ(settings_.Get(identity_.product_name, "General", "LogFile", "absent"), "absent");

  ui_.scripted.files = {"/var/log/sprout/run.log"};
  EXPECT_TRUE(commands_.ButtonLogDir());
  EXPECT_EQ(state_.LogFile, "/var/log/sprout/run.log");
  EXPECT_EQ(settings_.Get(identity_.product_name, "General", "LogFile"), "/var/log/sprout/run.log");

  // The next dialog starts from the saved location.
  ui_.scripted.files = {""};
  commands_.ButtonLogDir();
  EXPECT_EQ(ui_.dialog[3], "/var/log/sprout");
  EXPECT_EQ(ui_.dialog[4], "run.log");
}

TEST_F(LogCommandsTest, CommandsOnTheLogFileFindEveryLineInIt) {
  const struct {
    const char* name;
    std::function<void()> command;
  } cases[] = {
      {"view log", [&] { commands_.MNLogView(); }},
      {"view file", [&] { commands_.ViewFile(Today()); }},
      {"purge answered no",
       [&] {
         ui_.scripted.answers = {Answer::kNo};
         commands_.MNLogPurge();
       }},
      {"time stamps", [&] { commands_.MNTimeStampLogFile(); }},
      {"log location",
       [&] {
         ui_.scripted.files = {dir_.File("Moved.LOG")};
         commands_.ButtonLogDir();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Today());
    state_.LogFile = dir_.File("Arborline.LOG");
    options_.MNTimeStampLogFile = false;
    log_.AddLog(std::string(c.name) + " 1");
    log_.AddLog(std::string(c.name) + " 2");
    c.command();
    // Read behind the log's back: the command itself had the lines written.
    EXPECT_EQ(ReadLines(Today()),
              (std::vector<std::string>{std::string(c.name) + " 1", std::string(c.name) + " 2"}));
  }
  EXPECT_EQ(launcher_.launches.size(), 2u);
}

TEST_F(LogCommandsTest, LinesBeforeAPurgeGoWithTheFile) {
  log_.AddLog("before the purge");
  ui_.scripted.answers = {Answer::kYes};
  commands_.MNLogPurge();
  log_.Flush();
  EXPECT_FALSE(std::filesystem::exists(Today()));
}

}  // namespace
}  // namespace sproutsmith::log
