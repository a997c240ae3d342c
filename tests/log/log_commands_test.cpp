#include "log/log_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "log/log_fixture.h"
#include "support/recording_launcher.h"

namespace sproutsmith::log {
namespace {

using runtime::Answer;
using testing::WriteFile;

class LogCommandsTest : public LogFixture {
 protected:
  LogCommandsTest()
      : settings_(dir_.File("config")),
        context_{clock_, settings_, ui_, state_, options_, identity_, log_},
        commands_(context_, launcher_) {
    state_.ProgramFolder = dir_.path().string();
    options_.LabelStatus = "Idle";
  }
  // What the last command did, one line each: the programs started, the captions shown and
  // the boxes with their style; then forgets it. Every command leaves the caption as it was
  // and the pointer idle, and every box has the program's title.
  std::string Did() {
    static const char* const kStyles[] = {"information", "exclamation", "critical", "yes/no",
                                          "yes/no/cancel"};
    std::string did;
    for (const auto& launch : launcher_.launches) {
      did += "start " + launch.program + " " + ::testing::PrintToString(launch.args) + "\n";
    }
    for (const std::string& status : ui_.scripted.statuses) did += "caption " + status + "\n";
    for (const testing::ShownMessage& box : ui_.scripted.messages) {
      did += std::string("box ") + kStyles[static_cast<int>(box.style)] + ": " + box.text + "\n";
      EXPECT_EQ(box.title, identity_.program_title) << box.text;
    }
    launcher_.launches.clear();
    ui_.scripted.statuses.clear();
    ui_.scripted.messages.clear();
    EXPECT_EQ(options_.LabelStatus, "Idle");
    EXPECT_FALSE(ui_.scripted.busy);
    return did;
  }
  // What Did() says of `file` shown by `program`, named `viewer` in the caption.
  static std::string Viewed(const std::string& program, const std::string& file,
                            const std::string& viewer) {
    return "start " + program + " { \"" + file + "\" }\ncaption Viewing File " + file + " using " +
           viewer + "\ncaption Idle\n";
  }

  os::SettingsStore settings_;
  runtime::Identity identity_;
  Context context_;
  testing::RecordingLauncher launcher_;
  LogCommands commands_;
};

TEST_F(LogCommandsTest, PurgeAsksOnlyAboutAnExistingFileAndTakesTheHeldLinesWithIt) {
  commands_.PurgeFile("");
  commands_.PurgeFile(dir_.File("missing.LOG"));
  commands_.MNLogPurge();  // nothing written yet: nothing to purge
  EXPECT_EQ(Did(), "");

  log_.AddLog("held before the purge");
  const std::string asked =
      "box yes/no: Are you sure you want to purge the file " + Dated() + "?\n";
  ui_.scripted.answers = {Answer::kNo, Answer::kYes};
  commands_.PurgeFile(Dated());
  EXPECT_TRUE(std::filesystem::exists(Dated()));
  commands_.MNLogPurge();
  log_.Flush();
  EXPECT_FALSE(std::filesystem::exists(Dated()));
  EXPECT_EQ(Did(), asked + asked);
}

TEST_F(LogCommandsTest, APurgeThatCannotRemoveTheFileSaysSo) {
  log_.AddLog("a line");
  files_.Fail(os::FailingFileSystem::Operation::kRemove, 1, true, "Permission denied");
  ui_.scripted.answers = {Answer::kYes};
  commands_.MNLogPurge();
  EXPECT_EQ(Did(), "box yes/no: Are you sure you want to purge the file " + Dated() +
                       "?\nbox exclamation: File " + Dated() + " has NOT been removed.\n");
  EXPECT_EQ(Written(), Lines{"a line"});
  // The log let go of the file for the purge and takes it up again with the next line.
  log_.AddLog("next");
  EXPECT_EQ(Written(), (Lines{"a line", "next"}));
}

TEST_F(LogCommandsTest, ViewingStartsTheViewerUnderACaptionOrSaysWhatIsMissing) {
  commands_.MNLogView();
  EXPECT_EQ(Did(), "box information: " + Dated() + " not found\n");
  state_.LogFile.clear();
  commands_.MNLogView();
  EXPECT_EQ(Did(), "box information: Log file not defined\n");

  // Written by an earlier run today; this run has written nothing yet.
  state_.LogFile = dir_.File("Arborline.LOG");
  WriteFile(Dated(), "earlier\r\n");
  commands_.MNLogView();
  EXPECT_EQ(Did(), Viewed("NotePad.exe", Dated(), "Notepad"));

  // A file name with two dots in a dotted folder: the folder's dot never counts, the first
  // dot of the name names no file, and the day's real file is shown instead.
  std::filesystem::create_directories(dir_.File("logs.d"));
  state_.LogFile = dir_.File("logs.d/run.v2.LOG");
  commands_.MNLogView();
  EXPECT_EQ(Did(), "box information: " + dir_.File("logs.d/run_20201114.v2.LOG") + " not found\n");
  WriteFile(dir_.File("logs.d/run.v2_20201114.LOG"), "x\r\n");
  commands_.MNLogView();
  EXPECT_EQ(Did(), Viewed("NotePad.exe", dir_.File("logs.d/run.v2_20201114.LOG"), "Notepad"));

  state_.LogFile = dir_.File("Arborline.LOG");
  log_.AddLog("a line");
  commands_.MNLogView();
  EXPECT_EQ(Did(), Viewed("NotePad.exe", Dated(), "Notepad"));

  const std::string page = dir_.File("report.HTM");
  WriteFile(page, "<html/>");
  commands_.ViewFile(page);
  EXPECT_EQ(Did(), Viewed("/usr/bin/xdg-open", page, "/usr/bin/xdg-open"));
  launcher_.viewer.clear();
  commands_.ViewFile(page);
  EXPECT_EQ(Did(),
            "caption Idle\nbox exclamation: Unable to locate your Internet Explorer program\n");

  state_.ReadmePath = dir_.File("Arborline_SproutRun_Readme.txt");
  commands_.MNHelpReadme();
  EXPECT_EQ(Did(), "");
  WriteFile(state_.ReadmePath, "read me");
  commands_.MNHelpReadme();
  EXPECT_EQ(Did(), Viewed("NotePad.exe", state_.ReadmePath, "Notepad"));
}

TEST_F(LogCommandsTest, AViewerThatCannotStartIsReportedInTheLog) {
  const std::string text = dir_.File("notes.txt");
  WriteFile(text, "x");
  launcher_.starts = false;
  commands_.ViewFile(text);
  EXPECT_EQ(Written(), (Lines{std::string(70, '-'), "ViewFile:",
                              "Error: 2020-11-14 09:30:15.25  #53 was generated by Sproutsmith",
                              "File not found: NotePad.exe", std::string(70, '-')}));
  EXPECT_EQ(Did(), Viewed("NotePad.exe", text, "Notepad"));
}

TEST_F(LogCommandsTest, TimeStampToggleTakesEffectWithTheNextLine) {
  commands_.MNTimeStampLogFile();
  log_.AddLog("stamped");
  commands_.MNTimeStampLogFile();
  log_.AddLog("plain");
  EXPECT_EQ(Written(), (Lines{"2020-11-14 09:30:15.25  stamped", "plain"}));
}

TEST_F(LogCommandsTest, LogLocationIsSavedAtOnceAndCancelChangesNothing) {
  ui_.scripted.files = {""};
  EXPECT_FALSE(commands_.ButtonLogDir());
  EXPECT_EQ(ui_.dialog, (Lines{"Select location for log file:", "LOG", "Log files (*.log)|*.log",
                               dir_.path().string(), "Arborline.LOG"}));
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
      {"view file", [&] { commands_.ViewFile(Dated()); }},
      {"time stamps", [&] { commands_.MNTimeStampLogFile(); }},
      {"log location",
       [&] {
         ui_.scripted.files = {dir_.File("Moved.LOG")};
         commands_.ButtonLogDir();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Dated());
    state_.LogFile = dir_.File("Arborline.LOG");
    options_.MNTimeStampLogFile = false;
    log_.AddLog(std::string(c.name) + " 1");
    log_.AddLog(std::string(c.name) + " 2");
    c.command();
    // Read behind the log's back: the command itself had the lines written.
    EXPECT_EQ(OnDisk(), (Lines{std::string(c.name) + " 1", std::string(c.name) + " 2"}));
  }
  EXPECT_EQ(launcher_.launches.size(), 2u);
}

}  // namespace
}  // namespace sproutsmith::log
