// Start-up, the "/G" cycle and program end with a DM session that comes up over a real
// installation, and start-up on a machine without a DM installation.
//
// The run's log file: whenever the program may wait (after start-up, after each row, in the
// loop delay, stuck on a busy library) the file already holds every line; and a log that cannot
// be written, under a real cycle, is reported once, loses only its own lines and costs the
// cycle none of its work.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/engine_test_fixture.h"
#include "app/program_process.h"
#include "app/run_summary.h"
#include "log/unexpected_error.h"
#include "platform/dmapi/installation.h"
#include "platform/os/failing_file_system.h"
#include "support/fault_opener.h"
#include "support/status_assertions.h"
#include "support/temp_dir.h"
#include "support/test_params.h"

namespace sproutsmith::app {
namespace {

using runtime::MessageStyle;

constexpr const char* kFusionFailure =
    "Unable to start the DM application (Connecting to OpenText eDOCS) - I will end the program "
    "now";

TEST_F(EngineTest, WithoutADmSessionStartUpEndsWithTheBannerAndTheReason) {
  Engine& engine = BuildWithoutDm();
  EXPECT_EQ(engine.Run({"/g", "/x"}), kExitFailed);
  EXPECT_EQ(
      LogLines(),
      (std::vector<std::string>{
          BuildLine() + " initiating startup on Sunday, December 6, 2026 at 9:04:29 AM",
          Separator(), std::string("Error: 2026-12-06 09:04:29.00  ") + kNoInstallation,
          Separator(), std::string("Error: 2026-12-06 09:04:29.00  ") + kFusionFailure, Separator(),
          BuildLine() + " Ended on Sunday, December 6, 2026 at 9:04:29 AM", Separator()}));
  // Unattended: no box, so the caller must print the reason.
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_EQ(engine.FailureMessage(), std::string("Error: ") + kFusionFailure);
  EXPECT_FALSE(engine.FailureMessageShown());
  EXPECT_TRUE(engine.Ended());
  EXPECT_EQ(engine.identity().version_text, "Dec 6, 2026");
}

TEST_F(EngineTest, AnAttendedFailedStartShowsOneCriticalBox) {
  Engine& engine = BuildWithoutDm();
  EXPECT_EQ(engine.Run({}), kExitFailed);
  ASSERT_EQ(ui_->messages.size(), 1u);  // not followed by the status-label box
  EXPECT_EQ(ui_->messages[0].text, std::string("Error: ") + kFusionFailure);
  EXPECT_EQ(ui_->messages[0].style, MessageStyle::kCritical);
  EXPECT_EQ(ui_->messages[0].title, "Arborline\u2122 Sproutsmith for OpenText eDOCS");
  EXPECT_TRUE(engine.FailureMessageShown());
}

TEST_F(EngineTest, TheDmClientVersionComesFromTheRegistryWhenThereIsOne) {
  env_.registry["HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS\\CurrentVersion"] = "5.3";
  env_.registry
      ["HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\Hummingbird DM Extensions API\\PatchLevel"] =
      "2";
  BuildWithoutDm().Run({"/G", "/X"});
  const auto lines = LogLines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_TRUE(lines[0].ends_with(" using DM 5.3 patch 2")) << lines[0];
  EXPECT_TRUE(lines[4].ends_with(
      "Unable to start the DM 5.3 (patch 2) application (Connecting to OpenText eDOCS 5.3 patch "
      "2) - I will end the program now"))
      << lines[4];
}

TEST_F(EngineTest, AFailedStartStillSavesWhatStartUpAndProgramEndWrite) {
  Save("General", "Loop_Delay", "-30");
  Save("General", "Screen.Left", "500");  // off the left edge
  BuildWithoutDm().Run({"/G", "/X"});
  EXPECT_EQ(Saved("General", "Path"), dir_.File("program/sproutsmith"));
  EXPECT_EQ(Saved("General", "Loop_Delay"), "30");
  // No screen, so no place of its own: the next window opens where the last one stood.
  EXPECT_EQ(Saved("General", "Screen.Left"), "500");
  EXPECT_EQ(Saved("General", "Screen.Top"), "(absent)");
  EXPECT_EQ(Saved("General", "LogFile"), "");            // the default is not bound for later runs
  EXPECT_EQ(Saved("General", "IsRunning"), "(absent)");  // start-up never got that far
  const os::SettingsStore store(dir_.File("config"));
  EXPECT_EQ(store.Get("QUIL", "General", "RegisterAPI"), "-1");
  EXPECT_EQ(store.Get("QUIL", "General", "RegisterQuilClasses"), "-1");
  // The companion components cannot exist here: no reminder question.
  EXPECT_TRUE(ui_->messages.empty());
}

TEST_F(EngineTest, WithoutTempTheLogGoesToTheProgramFolder) {
  env_.variables["TEMP"] = "";
  BuildWithoutDm().Run({"/G", "/X"});
  EXPECT_EQ(engine_->state().TempDir, dir_.File("program"));
  EXPECT_TRUE(
      std::filesystem::exists(dir_.File(std::string("program/") + kProduct + "_20261206.LOG")));
}

TEST_F(EngineTest, PurgeSwitchDeletesTheConfiguredLogFile) {
  testing::WriteFile(DefaultLog(), "old\r\n");
  BuildWithoutDm().Run({"/G", "/X"});
  EXPECT_TRUE(std::filesystem::exists(DefaultLog()));
  BuildWithoutDm().Run({"/G", "/X", "/p"});
  EXPECT_FALSE(std::filesystem::exists(DefaultLog()));
}

TEST_F(EngineTest, AQuietLogKeepsOnlyTheError) {
  Save("General", "LogMethod", "0");
  BuildWithoutDm().Run({"/G", "/X"});
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            std::string("Error: 2026-12-06 09:04:29.00  ") + kNoInstallation,
                            std::string("Error: 2026-12-06 09:04:29.00  ") + kFusionFailure}));
}

class StartUpTest : public InstalledEngineTest {
 protected:
  // Two libraries, DOCS the connected one, and a user who may run the program.
  Engine& BuildDocs(const std::string& user = "JSMITH") {
    if (!installed_) install_.Create({{.name = "DOCS"}, {.name = "ARCHIVE"}}, user);
    installed_ = true;
    return BuildReal();
  }
  // A loop's delay ends the run, as a stop from outside does: the pass before it finished.
  void StopAtTheLoopDelay() {
    ui_->on_sleep = [this] { stop_ = stop_ || engine_->state().InLoopDelay; };
  }
  bool installed_ = false;
};

TEST_F(StartUpTest, AFullStartUpWaitsThenEndsLikeAClosedWindow) {
  Engine& engine = BuildDocs();
  EXPECT_EQ(engine.Run({}), kExitFinished);
  const std::string ended = BuildLine() + " Ended on Sunday, December 6, 2026 at 9:04:29 AM";
  // The engine's own lines open and close the log; the session's come between.
  const std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2),
            (std::vector<std::string>{
                BuildLine() + " initiating startup on Sunday, December 6, 2026 at 9:04:29 AM",
                Separator()}));
  EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
            (std::vector<std::string>{
                BuildLine() + " Started on Sunday, December 6, 2026 at 9:04:29 AM", Separator(),
                ended, Separator()}));  // "Waiting for user input" is a caption only
  EXPECT_TRUE(install_.RunningNodes("DOCS").empty());
  EXPECT_EQ(session_->CurrentLibraryName(), "");  // released
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_EQ(Saved("General", "IsRunning"), "0");
  EXPECT_FALSE(engine.window().splash_visible);
  EXPECT_FALSE(engine.window().MNHelpReadmeVisible);  // no read-me in the program folder
  EXPECT_FALSE(ui_->busy);
}

TEST_F(StartUpTest, PauseDaysAndLibrariesComeWithTheirSavedMarks) {
  Save("PauseTimer", "Saturday", "0");
  Save("Libraries", "ARCHIVE", "0");
  testing::WriteFile(dir_.File("program/Arborline_SproutRun_Readme.txt"), "read me");
  install_.Create({{.name = "ARCHIVE"}, {.name = "DOCS"}});  // ARCHIVE is the connected one
  installed_ = true;
  Engine& engine = BuildDocs();
  ASSERT_TRUE(engine.StartUp({}));
  const MainWindowModel& w = engine.window();
  ASSERT_EQ(w.TVPause.size(), 7u);
  EXPECT_TRUE(w.TVPause[0].checked);
  EXPECT_FALSE(w.TVPause[6].checked);  // Saturday
  // The session connects before the menu's entries exist; the connected library gets the mark.
  const auto& menu = engine.options().MNLibList;
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].caption, "ARCHIVE");
  EXPECT_TRUE(menu[0].checked);
  EXPECT_EQ(menu[1].caption, "DOCS");
  EXPECT_FALSE(menu[1].checked);
  ASSERT_EQ(w.TVRules.size(), 2u);
  EXPECT_FALSE(w.TVRules[0].checked);
  EXPECT_TRUE(w.TVRules[1].checked);
  EXPECT_TRUE(w.MNHelpReadmeVisible);
  EXPECT_EQ(w.ButtonLogDirToolTip, DefaultLog());

  // The marks go back at program end, changed ones included.
  engine.window().TVPause[6].checked = true;
  engine.ProgramEnd();
  EXPECT_EQ(Saved("PauseTimer", "Saturday"), "-1");
  EXPECT_EQ(Saved("Rules", "DOCS:[]"), "0");
}

TEST_F(StartUpTest, RightsAreCheckedWithTheUserAsAQuotedLiteral) {
  BuildDocs("O'BRIEN");
  EXPECT_EQ(engine_->Run({}), kExitFinished);
  EXPECT_EQ(Count("Verifying rights for O'BRIEN in library DOCS"), 0);  // a caption only
  EXPECT_EQ(
      Count("SELECT COUNT(*) FROM DOCSADM.PEOPLEGROUPS PG WHERE PEOPLE_SYSTEM_ID = (SELECT "
            "SYSTEM_ID FROM DOCSADM.PEOPLE WHERE UPPER(USER_ID) = 'O''BRIEN') AND "
            "GROUPS_SYSTEM_ID IN (SELECT SYSTEM_ID FROM DOCSADM.GROUPS WHERE UNIV_ACCESS >= 191)"),
      1);
}

TEST_F(StartUpTest, AUserWithoutRightsIsRefused) {
  const std::string refusal =
      "You are not a member of any groups with Universal Access >= 191. This is a requirement "
      "for running Arborline Sproutsmith for OpenText eDOCS";
  install_.Create({{.name = "DOCS"}, {.name = "ARCHIVE"}}, "JSMITH");
  installed_ = true;
  install_.Exec("DOCS", "DELETE FROM PEOPLEGROUPS");
  // No group with the access, then a count that fails: that refuses as well.
  for (const bool count_fails : {false, true}) {
    Engine& engine = BuildReal([&](EngineParts& parts) {
      if (!count_fails) return;
      parts.installation.client = install_.OpenClient(
          testing::FaultInjectingOpener([](const std::string&, sql::FaultInjectingDatabase& db) {
            db.FailStatementsContaining("PEOPLEGROUPS PG");
          }));
    });
    EXPECT_EQ(engine.Run({"/G"}), kExitFailed);
    EXPECT_EQ(engine.Cycles(), 0);
    ASSERT_EQ(ui_->messages.size(), 2u);
    EXPECT_EQ(ui_->messages[0].text, "Error: " + refusal);
    EXPECT_EQ(ui_->messages[0].style, MessageStyle::kExclamation);
    EXPECT_EQ(ui_->messages[1].text, "Verifying rights for JSMITH in library DOCS");
    EXPECT_EQ(ui_->messages[1].style, MessageStyle::kCritical);
    EXPECT_EQ(engine.FailureMessage(), "Error: " + refusal);
    EXPECT_TRUE(engine.FailureMessageShown());
  }
  // Unattended, the console says why and where the log and the report are.
  EXPECT_EQ(BuildReal().Run({"/G", "/X"}), kExitFailed);
  EXPECT_TRUE(testing::Contains(FailedStartText(*engine_), "Error: " + refusal));
  EXPECT_EQ(
      OutcomeLine(SummaryFactsOf(*engine_)),
      "Outcome: failed-start (exit 1). Log: " + DatedLog() + ". Report: " + engine_->ReportPath());
  EXPECT_TRUE(testing::Contains(Report(), "\"exit_status\": 1,"));
  EXPECT_EQ(Count("Error: 2026-12-06 09:04:29.00  " + refusal), 3);
  EXPECT_EQ(Count(") Ended on "), 3);
}

TEST_F(StartUpTest, GoSwitchRunsOneCycleAfterStartUpWithTheSwitchesApplied) {
  Engine& engine = BuildDocs();
  StopAtTheLoopDelay();
  int loop_at_go = -1;
  bool started_logged = false;
  ui_->on_yield = [&] {
    if (!engine.state().CycleRunning || loop_at_go != -1) return;
    loop_at_go = engine.options().CheckLoop;
    started_logged = Count(" Started on Sunday") == 1;
  };
  EXPECT_EQ(engine.Run({"/g", "/l", "/x"}), kExitFinished);
  EXPECT_EQ(loop_at_go, 1);
  EXPECT_TRUE(started_logged);
  EXPECT_EQ(engine.Cycles(), 1);
  EXPECT_TRUE(ui_->messages.empty());
}

// A switch given to an unattended run is for that run: a timer's one cycle must not find Loop
// saved by a "/L" it never saw. A window's switch shows in its check box and is saved with it;
// "/K" locks the window's options.
TEST_F(StartUpTest, SwitchesReachTheWindowAndTheSettingsOnlyFromARunSomeoneSees) {
  struct Case {
    std::vector<std::string> args;
    const char* loop;
    const char* log_method;
    const char* lock;
    const char* errors;
    bool log_file_saved;
    bool cycle;
    bool locked;
  };
  const Case cases[] = {
      {{"/G", "/X", "/L", "/NV", "/W", "/E"}, "0", "1", "0", "0", false, true, false},
      {{"/L", "/NV", "/W", "/E"}, "1", "0", "1", "1", true, false, false},
      {{"/X", "/L"}, "1", "1", "0", "0", true, false, false},  // no "/G": changes nothing
      {{"/k"}, "0", "1", "0", "0", true, false, true},
      {{"/kx"}, "0", "1", "0", "0", true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::filesystem::remove_all(dir_.File("config"));
    stop_ = false;
    Engine& engine = BuildDocs();
    StopAtTheLoopDelay();
    EXPECT_EQ(engine.Run(c.args), kExitFinished);
    EXPECT_EQ(Saved("General", "Loop"), c.loop);
    EXPECT_EQ(Saved("General", "LogMethod"), c.log_method);
    EXPECT_EQ(Saved("General", "LockWorkstation"), c.lock);
    EXPECT_EQ(Saved("General", "DisplayErrors"), c.errors);
    EXPECT_EQ(Saved("General", "LogFile"), c.log_file_saved ? DefaultLog() : "");
    EXPECT_EQ(engine.Cycles() > 0, c.cycle);
    EXPECT_EQ(engine.state().Locked, c.locked);
    EXPECT_EQ(engine.window().LabelLockedVisible, c.locked);
    EXPECT_EQ(engine.window().OptionsEnabled, !c.locked);
  }
}

TEST_F(StartUpTest, ClosingDuringACycleCancelsFirstAndEndsOnlyAfterTheCycleReturns) {
  Engine& engine = BuildDocs();
  bool closed = false;
  ui_->on_yield = [&] {
    if (closed || !engine.state().CycleRunning) return;
    closed = true;
    engine.RequestClose();  // cancels
    EXPECT_TRUE(engine.state().CancelRequested);
    EXPECT_FALSE(engine.Ended());
    engine.RequestClose();  // ends, once the cycle is out of the way
    EXPECT_FALSE(engine.Ended());
    EXPECT_EQ(session_->CurrentLibraryName(), "DOCS");  // not released under the cycle
  };
  ASSERT_TRUE(engine.StartUp({"/G"}));
  EXPECT_TRUE(closed);
  EXPECT_TRUE(engine.Ended());
  EXPECT_EQ(session_->CurrentLibraryName(), "");
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text, "Task Canceled");
  engine.ProgramEnd();  // runs once only
  EXPECT_EQ(Count(" Ended on "), 1);
}

// The cycle traps what breaks it under its own procedure; the engine then fails the run.
TEST_F(StartUpTest, AnUnexpectedErrorInTheCycleIsTrappedAndFailsTheRun) {
  Engine& engine = BuildDocs();
  bool thrown = false;
  ui_->on_yield = [&] {
    if (engine.state().CycleRunning && !thrown) {
      thrown = true;
      throw UnexpectedError(91, "Sproutsmith", "Object variable not set");
    }
  };
  EXPECT_EQ(engine.Run({"/G", "/X"}), kExitBrokenOff);
  EXPECT_EQ(engine.FailureMessage(), "Error: Unable to complete this process");
  const auto lines = LogLines();
  const auto trap = std::find(lines.begin(), lines.end(), "Button_Go_Click:");
  ASSERT_NE(trap, lines.end());
  EXPECT_EQ(*(trap + 1), "Error: 2026-12-06 09:04:29.00  #91 was generated by Sproutsmith");
  EXPECT_EQ(*(trap + 2), "Object variable not set");
  EXPECT_EQ(session_->CurrentLibraryName(), "");  // released at the end all the same
}

TEST_F(StartUpTest, AnUnexpectedErrorInStartUpIsReportedUnderFormLoad) {
  Engine& engine = BuildDocs();
  bool thrown = false;
  ui_->on_yield = [&] {
    if (ui_->statuses.back() == "Connecting to OpenText eDOCS" && !thrown) {
      thrown = true;
      throw UnexpectedError(429, "DOCSObjects", "ActiveX component can't create object");
    }
  };
  EXPECT_EQ(engine.Run({}), kExitFailed);
  const auto lines = LogLines();
  // Program end has no running-node rows to clear for a session that never logged on, and
  // says nothing more about it.
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                Separator(),
                "Form_Load:", "Error: 2026-12-06 09:04:29.00  #429 was generated by DOCSObjects",
                "ActiveX component can't create object", Separator(),
                BuildLine() + " Ended on Sunday, December 6, 2026 at 9:04:29 AM", Separator()}));
  // The failure end shows the status label's text; the reason is for the console.
  ASSERT_EQ(ui_->messages.size(), 1u);
  EXPECT_EQ(ui_->messages[0].text, "Connecting to OpenText eDOCS");
  EXPECT_EQ(engine.FailureMessage(), "Error: ActiveX component can't create object");
  EXPECT_FALSE(engine.FailureMessageShown());
}

// No state is shared between engines: two in one process play two computers.
TEST_F(StartUpTest, TwoEnginesInOneProcessKeepToThemselves) {
  Engine& first = BuildDocs();
  auto first_owned = std::move(engine_);
  testing::TempDir other;
  env_.variables["TEMP"] = other.path().string();
  Engine& second = BuildDocs();
  ASSERT_TRUE(first.StartUp({"/L"}));
  ASSERT_TRUE(second.StartUp({"/K"}));
  EXPECT_EQ(first.options().CheckLoop, 1);
  EXPECT_EQ(second.options().CheckLoop, 0);
  EXPECT_FALSE(first.state().Locked);
  EXPECT_TRUE(second.state().Locked);
  EXPECT_NE(first.state().LogFile, second.state().LogFile);
  EXPECT_EQ(Count(" Started on "), 1);
  EXPECT_EQ(testing::CountHolding(testing::ReadLines(second.log().DatedLogFile()), " Started on "),
            1);
}

class LogOnDiskTest : public InstalledEngineTest {
 protected:
  // Whether the file held every line already: read behind the log's back, then after a flush.
  bool NothingHeld() {
    const std::vector<std::string> before = testing::ReadLines(DatedLog());
    engine_->log().Flush();
    return !before.empty() && before == testing::ReadLines(DatedLog());
  }
};

TEST_F(LogOnDiskTest, AWindowWaitingAfterStartUpHasItsLinesOnDisk) {
  install_.Create({{.name = "DEMO"}});
  ASSERT_TRUE(BuildReal().StartUp({}));
  EXPECT_FALSE(engine_->Ended());
  EXPECT_TRUE(NothingHeld());
}

TEST_F(LogOnDiskTest, EveryRowEndAndEveryWaitOfTheLoopFindsTheLinesOnDisk) {
  install_.Create({{.name = "DEMO"}});
  BuildReal();
  int read = 0;
  int row_ends = 0;
  int held_at_row_end = 0;
  ui_->on_yield = [&] {
    // The rows-read counter goes up just after a row's end (and back to 0 for a new rule).
    const int now = std::atoi(engine_->options().LabelRead.c_str());
    if (now > read) {
      ++row_ends;
      held_at_row_end += NothingHeld() ? 0 : 1;
    }
    read = now;
  };
  bool held_at_wait = true;
  ui_->on_sleep = [&] {
    if (stop_) return;
    held_at_wait = !NothingHeld();
    stop_ = true;  // one pass, then the loop delay ends the run
  };
  EXPECT_EQ(engine_->Run({"/G", "/X", "/L"}), kExitFinished);
  EXPECT_GT(row_ends, 5);
  EXPECT_EQ(held_at_row_end, 0);
  EXPECT_FALSE(held_at_wait);
}

// The real program, stuck in one statement on a library another program holds a write lock
// on: the lines that led up to it are in the file while it waits, though no row has ended
// and no later line comes to push them out.
TEST(ProgramLogTest, AProgramWaitingForABusyLibraryHasItsLinesOnDisk) {
  testing::DmInstallation install;
  install.Create({{.name = "LIB"}});
  install.config.libraries[0].busy_wait_seconds = 600;
  const std::string config = install.WriteConfig();
  std::unique_ptr<sql::Database> other = install.OpenLibrary("LIB");
  ASSERT_TRUE(other && other->Begin());
  const std::string home = install.dir.File("pc1");
  const pid_t run = StartProgram("PC1", config, home, {"/G", "/X"});
  ASSERT_NE(run, 0);

  // Start-up counts the ARBORLINE reason, then takes a key for it: the first write, where
  // the program waits. A minute only keeps a broken run from hanging the test.
  const std::string waiting_after = "SQL Results: 0\r\n" + std::string(70, '-') + "\r\n";
  const bool on_disk =
      WaitUntil([&] { return testing::ReadFile(ProgramLog(home)).ends_with(waiting_after); });
  const std::string seen = testing::ReadFile(ProgramLog(home));
  other.reset();
  EXPECT_TRUE(on_disk) << seen;
  EXPECT_EQ(WaitProgram(run), kExitFinished) << testing::ReadFile(home + "/stderr.txt");
}

using Op = os::FailingFileSystem::Operation;

struct Failure {
  const char* name;
  Op op;
  long n;  // 1-based; 0: nothing fails
  bool and_every_later;
  const char* reason;
};

void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }

class LogDiskFullTest : public InstalledEngineTest, public ::testing::WithParamInterface<Failure> {
 protected:
  void BuildOn(std::unique_ptr<os::FileSystem> files) {
    engine_.reset();
    BuildReal([&](EngineParts& parts) { parts.files = std::move(files); });
    // As the program does: once, on stderr there.
    engine_->log().OnWriteFailure([this](const std::string& why) { reports_.push_back(why); });
  }

  std::vector<std::string> reports_;
};

TEST_P(LogDiskFullTest, TheCycleDoesItsWorkAndTheFailureIsReportedOnce) {
  const Failure& failure = GetParam();
  install_.Create({{.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}});
  auto files = std::make_unique<os::FailingFileSystem>();
  os::FailingFileSystem& disk = *files;
  disk.Fail(failure.op, failure.n, failure.and_every_later, failure.reason);
  BuildOn(std::move(files));

  // The work is done either way; a run whose log or report is lost does not say "finished".
  const int status = failure.n == 0 ? kExitFinished : kExitRuleFailed;
  EXPECT_EQ(engine_->Run({"/G", "/X"}), status);
  EXPECT_TRUE(engine_->Ended());
  EXPECT_TRUE(ui_->messages.empty());  // no box: an unattended run has no one to click it

  // Every rule ran to its end and built its folders.
  ASSERT_NE(engine_->LastCycle(), nullptr);
  ASSERT_EQ(engine_->LastCycle()->rules.size(), 4u);
  for (const RuleReport& rule : engine_->LastCycle()->rules) {
    SCOPED_TRACE(rule.library + " " + rule.rule);
    EXPECT_EQ(rule.outcome, rule_outcome::kFinished);
    EXPECT_GT(rule.rows_selected, 0);
    EXPECT_GT(rule.folders_created, 0);
    EXPECT_EQ(rule.rows_failed, 0);
    EXPECT_EQ(rule.errors, 0);
  }
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    EXPECT_TRUE(install_.RunningNodes(library).empty()) << library;
  }
  EXPECT_EQ(Saved("General", "IsRunning"), "0");

  // What the log holds: the lines before the disk filled up, and nothing after.
  const std::vector<std::string> lines = LogLines();
  const std::string dated = engine_->LogPath();
  const bool report_fault = failure.op == Op::kReplace;
  if (failure.n == 0 || report_fault) {
    EXPECT_TRUE(reports_.empty());
    EXPECT_TRUE(engine_->log().WriteFailure().empty());
  } else {
    ASSERT_EQ(reports_.size(), 1u) << ::testing::PrintToString(disk.call_log());
    EXPECT_EQ(reports_[0], dated + ": " + failure.reason);
    EXPECT_EQ(engine_->log().WriteFailure(), reports_[0]);
    EXPECT_TRUE(testing::Contains(OutcomeLine(SummaryFactsOf(*engine_)),
                                  "Outcome: rule-failures (exit 2). Log: " + dated +
                                      " (not written: " + dated + ": " + failure.reason + ")"));
  }
  if (failure.n > 0 && failure.op == Op::kWrite && failure.and_every_later) {
    // What the writes before the failing one held: at least a line each, and the end missing.
    EXPECT_GE(static_cast<long>(lines.size()), failure.n - 1);
    if (failure.n == 1) {
      EXPECT_TRUE(lines.empty());
    }
    if (!lines.empty()) {
      EXPECT_TRUE(testing::Contains(lines[0], " initiating startup on "));
      EXPECT_EQ(testing::CountHolding(lines, ") Ended on "), 0);
    }
  } else {
    // A passing fault: the log goes on afterwards and holds the program's end.
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(testing::Contains(lines[lines.size() - 2], ") Ended on "));
  }
  if (report_fault) {
    // A report that cannot be written is said where the report would be named.
    EXPECT_EQ(engine_->ReportFailure(), failure.reason);
    EXPECT_TRUE(
        testing::Contains(OutcomeLine(SummaryFactsOf(*engine_)),
                          "Report: " + engine_->ReportPath() + " (not written: " + failure.reason));
    EXPECT_FALSE(std::filesystem::exists(engine_->ReportPath()));
  } else {
    // The run report does not live in the log: it is written all the same.
    EXPECT_TRUE(engine_->ReportFailure().empty()) << engine_->ReportFailure();
    EXPECT_TRUE(testing::Contains(testing::ReadFile(engine_->ReportPath()),
                                  "\"exit_status\": " + std::to_string(status)));
  }

  // Every row was recorded: the next run, with a log that works, finds nothing new.
  BuildOn(std::make_unique<os::SystemFileSystem>());
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitFinished);
  ASSERT_NE(engine_->LastCycle(), nullptr);
  for (const RuleReport& rule : engine_->LastCycle()->rules) {
    EXPECT_EQ(rule.rows_selected, 0) << rule.library << " " << rule.rule;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Disks, LogDiskFullTest,
    ::testing::Values(Failure{"Working", Op::kWrite, 0, true, ""},
                      Failure{"FullFromTheStart", Op::kWrite, 1, true, "No space left on device"},
                      Failure{"FullAfterTwelveWrites", Op::kWrite, 13, true,
                              "No space left on device"},
                      Failure{"OneWriteLost", Op::kWrite, 20, false, "Input/output error"},
                      Failure{"FolderRefusedOnce", Op::kOpen, 1, false, "Permission denied"},
                      Failure{"ReportRefused", Op::kReplace, 1, true, "Read-only file system"}),
    testing::RowName<Failure>);

}  // namespace
}  // namespace sproutsmith::app
