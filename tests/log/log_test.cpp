// The log over a file system that lets everything through until a test arms it to fail: which
// lines reach the day's file and when (the file is read behind the log's back, as another
// program or a person after a kill would read it), the error trap, and the log commands.

#include "log/log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/error_trap.h"
#include "log/log_commands.h"
#include "platform/os/failing_file_system.h"
#include "support/recording_launcher.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "text/text.h"

namespace sproutsmith::log {
namespace {

using Lines = std::vector<std::string>;
using Op = os::FailingFileSystem::Operation;
using runtime::Answer;
using testing::WriteFile;

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

// A log on 2020-11-14 09:30:15.250 writing to Arborline.LOG in a temporary folder; the failures
// it reports are kept in `reports_`, message boxes and the file dialog's arguments in `ui_`.
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

using LogTest = LogFixture;

TEST(LogNameTest, TheDateGoesBeforeTheFileNamesExtensionOnlyAndTheStampCarriesHundredths) {
  const text::DateTime day{2020, 11, 14};
  struct Case {
    const char* configured;
    bool first_dot;
    const char* dated;
    const char* report;
  };
  // clang-format off
  const Case cases[] = {
      {"/tmp/A.LOG", false, "/tmp/A_20201114.LOG", "/tmp/A_20201114_090507.json"},
      {"/logs/run", false, "/logs/run_20201114.txt", "/logs/run_20201114_090507.json"},
      // Dots in folder names never take the date.
      {"/a.b/log", false, "/a.b/log_20201114.txt", "/a.b/log_20201114_090507.json"},
      {"/a.b/x.y.LOG", false, "/a.b/x.y_20201114.LOG", "/a.b/x.y_20201114_090507.json"},
      {"/a.b/x.y.LOG", true, "/a.b/x_20201114.y.LOG", "/a.b/x_20201114.y_090507.json"},
      {"/a.b/log", true, "/a.b/log_20201114.txt", "/a.b/log_20201114_090507.json"},
      {"C:\\a.b\\log", false, "C:\\a.b\\log_20201114.txt", "C:\\a.b\\log_20201114_090507.json"},
      {"run.LOG", false, "run_20201114.LOG", "run_20201114_090507.json"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.configured);
    const std::string dated = Log::DatedName(c.configured, day, c.first_dot);
    EXPECT_EQ(dated, c.dated);
    EXPECT_EQ(Log::ReportName(dated, text::DateTime{2020, 11, 14, 9, 5, 7}), c.report);
  }
  // The time stamp carries hundredths.
  EXPECT_EQ(Log::TimeStamp(text::DateTime{2020, 11, 14, 0, 0, 0, 0}), "2020-11-14 00:00:00.00 ");
}

TEST_F(LogTest, TheOptionsDecideWhichLinesReachTheFileAndHow) {
  struct Case {
    const char* name;
    bool stamped;
    const char* verbose;  // CheckLogMethod for each added line
    Lines added;
    Lines written;
    bool menus;
  };
  // clang-format off
  const Case cases[] = {
      {"repetitions are dropped only when immediate", false, "11111",
       {"A", "A", "B", "A", "  A  "}, {"A", "B", "A"}, true},
      {"quiet keeps errors and warnings in any case", false, "0000",
       {"Processing library X", "error: lower case", "WARNING: upper case", "Notice: ordinary"},
       {"error: 2020-11-14 09:30:15.25  lower case", "WARNING: 2020-11-14 09:30:15.25  upper case"},
       true},
      {"an unwritten line still counts as the last text", false, "01", {"quiet", "quiet"}, {},
       false},
      {"time stamps on every line once", true, "11", {"plain", "Error: failed"},
       {"2020-11-14 09:30:15.25  plain", "2020-11-14 09:30:15.25  Error: failed"}, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Dated());
    options_.MNTimeStampLogFile = c.stamped;
    Log log(clock_, state_, options_, ui_, files_);
    for (size_t i = 0; i < c.added.size(); ++i) {
      options_.CheckLogMethod = c.verbose[i] - '0';
      log.AddLog(c.added[i]);
    }
    log.Flush();
    EXPECT_EQ(OnDisk(), c.written);
    EXPECT_EQ(log.LogMenusEnabled(), c.menus);
  }
}

TEST_F(LogTest, ReportErrorPutsTheDescriptionOnItsOwnLine) {
  options_.CheckLogMethod = 0;
  log_.ReportError(91, "Sproutsmith", "Object variable not set");
  log_.ReportError(0, "x", "y");
  // The separators are verbose-only lines.
  EXPECT_EQ(Written(), (Lines{"Error: 2020-11-14 09:30:15.25  #91 was generated by Sproutsmith",
                              "Object variable not set",
                              "Error: 2020-11-14 09:30:15.25  An unknown error occurred during "
                              "this task!"}));
}

TEST_F(LogTest, ALogThatCannotBeWrittenIsReportedOncePerRun) {
  // Dots in the folders' names: only the file's name takes the date.
  state_.LogFile = dir_.File(".local/state.d/run.log");
  const std::string failure =
      dir_.File(".local/state.d/run_20201114.log") + ": No such file or directory";
  log_.AddLog("first");
  log_.AddLog("Error: second");
  EXPECT_EQ(reports_, Lines{failure});
  EXPECT_EQ(log_.WriteFailure(), failure);
  EXPECT_FALSE(log_.LogMenusEnabled());
  EXPECT_EQ(log_.LastLogText(), "Error: second");  // lost, yet the last text
  // Once the folder exists, lines are written again; the failure is not reported twice.
  std::filesystem::create_directories(dir_.File(".local/state.d"));
  log_.AddLog("third");
  log_.Flush();
  EXPECT_EQ(log_.DatedLogFile(), dir_.File(".local/state.d/run_20201114.log"));
  EXPECT_EQ(OnDisk(".local/state.d/run_20201114.log"), Lines{"third"});
  EXPECT_EQ(reports_.size(), 1u);
}

TEST_F(LogTest, ErrorTextsAreCountedWhetherWrittenOrNot) {
  options_.CheckLogMethod = 0;
  log_.AddLog("Error: one");
  log_.AddLog("Error: one");  // a repetition is not a new error
  log_.AddLog("Warning: not an error");
  log_.AddLog("error: two");
  EXPECT_EQ(log_.ErrorCount(), 2);
  EXPECT_EQ(log_.RecentErrors(), (Lines{"Error: one", "error: two"}));
  for (int i = 0; i < 30; ++i) log_.AddLog("Error: " + std::to_string(i));
  EXPECT_EQ(log_.ErrorCount(), 32);
  ASSERT_EQ(log_.RecentErrors().size(), 20u);
  EXPECT_EQ(log_.RecentErrors().back(), "Error: 29");
}

TEST_F(LogTest, SetStatusLogsShowsAndYields) {
  log_.SetStatus("  Connecting  ");
  log_.SetStatus("");
  EXPECT_EQ(options_.LabelStatus, "Connecting");
  EXPECT_EQ(ui_.scripted.statuses, Lines{"Connecting"});
  EXPECT_EQ(ui_.scripted.yields, 1);
  EXPECT_EQ(Written(), Lines{"Connecting"});
}

TEST_F(LogTest, HeldLinesTakeOneOpenAndOneWriteInAll) {
  Lines lines;
  for (int i = 0; i < 50; ++i) {
    lines.push_back("line " + std::to_string(i));
    log_.AddLog(lines.back());
  }
  EXPECT_EQ(std::pair(files_.calls(Op::kOpen), files_.calls(Op::kWrite)), std::pair(0L, 0L));
  EXPECT_TRUE(log_.LogMenusEnabled());  // the commands write the held lines before they look
  log_.Flush();
  log_.Flush();  // nothing held: the disk is not asked
  EXPECT_EQ(std::pair(files_.calls(Op::kOpen), files_.calls(Op::kWrite)), std::pair(1L, 1L));
  EXPECT_EQ(OnDisk(), lines);
}

TEST_F(LogTest, ADiskThatFillsUpLosesTheLaterLinesAndIsReportedOnce) {
  struct Case {
    const char* name;
    long n;
    bool later;
    const char* reason;
    Lines kept;  // of "1" to "5"
  };
  const Case cases[] = {
      {"full after two lines", 3, true, os::FailingFileSystem::kDiskFull, {"1", "2"}},
      {"full from the start", 1, true, os::FailingFileSystem::kDiskFull, {}},
      {"one write lost", 2, false, "Input/output error", {"1", "3", "4", "5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Dated());
    files_.Disarm();
    reports_.clear();
    Log log(clock_, state_, options_, ui_, files_);
    log.OnWriteFailure([this](const std::string& why) { reports_.push_back(why); });
    files_.Fail(Op::kWrite, c.n, c.later, c.reason);
    // Each line its own row.
    for (const char* line : {"1", "2", "3", "4", "Error: 5"}) {
      log.AddLog(line);
      log.Flush();
    }
    Lines kept = OnDisk();
    if (!kept.empty() && text::StartsWithNoCase(kept.back(), "Error:")) kept.back() = "5";
    EXPECT_EQ(kept, c.kept);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0], Dated() + ": " + c.reason);
    EXPECT_EQ(log.WriteFailure(), reports_[0]);
    // Lost or not, the error is counted for the run's outcome.
    EXPECT_EQ(log.ErrorCount(), 1);
    EXPECT_TRUE(log.LogMenusEnabled());  // the file opens: its commands still work
  }
}

// What the error trap hands back to a caller that has to say more than the log does.
using ErrorTrapTest = LogFixture;

std::string Describe(const TrappedError& e) {
  return "#" + std::to_string(e.number) + " " + e.source + ": " + e.description;
}

TEST_F(ErrorTrapTest, TheCaughtErrorComesBackAsItWasReported) {
  const struct {
    std::function<void()> fault;
    const char* trapped;
  } cases[] = {
      {[] { throw UnexpectedError(424, "DOCSObjects", "Object required"); },
       "#424 DOCSObjects: Object required"},
      {[] { throw std::bad_alloc(); }, "#7 Sproutsmith: Out of memory"},
      {[] { throw std::out_of_range("index 7 past the end"); },
       "#51 Sproutsmith: index 7 past the end"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trapped);
    TrappedError trapped;
    const long returned = Trap(
        log_, "CreateFolder", -1L,
        [&] {
          c.fault();
          return 5L;
        },
        &trapped);
    EXPECT_EQ(returned, -1L);
    EXPECT_EQ(Describe(trapped), c.trapped);
    TrappedError from_void;
    TrapVoid(
        log_, "LoadRules", [&] { c.fault(); }, &from_void);
    EXPECT_EQ(Describe(from_void), c.trapped);
  }
  // Handing the error back does not take it out of the log: six reports under the procedure's
  // name, each closed by the rule that opens the next.
  const Lines lines = Written();
  ASSERT_EQ(lines.size(), 6u * 4u + 1u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 6),
            (Lines{std::string(70, '-'), "CreateFolder:",
                   "Error: 2020-11-14 09:30:15.25  #424 was generated by DOCSObjects",
                   "Object required", std::string(70, '-'), "LoadRules:"}));
}

class HeldLinesTest : public LogFixture {
 protected:
  static text::DateTime At(int hour, int minute, int second, int ms, int day = 14) {
    return text::DateTime{2020, 11, day, hour, minute, second, ms};
  }
};

TEST_F(HeldLinesTest, ErrorsAndWarningsAreWrittenAtOnceWithWhatCameBefore) {
  const struct {
    const char* text;
    int verbose;
    Lines on_disk;
  } cases[] = {
      {"Error: failed", 1, {"before", "Error: 2020-11-14 09:30:15.25  failed"}},
      {"warning: lower case", 1, {"before", "warning: 2020-11-14 09:30:15.25  lower case"}},
      // Quiet: "before" is not a line of the file at all.
      {"ERROR: quiet", 0, {"ERROR: 2020-11-14 09:30:15.25  quiet"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::filesystem::remove(Dated());
    options_.CheckLogMethod = c.verbose;
    log_.AddLog("before");
    log_.AddLog(c.text);
    EXPECT_EQ(OnDisk(), c.on_disk);
  }
}

TEST_F(HeldLinesTest, ASecondOnTheClockWritesTheHeldLines) {
  const struct {
    const char* name;
    text::DateTime next;
    bool written;
  } cases[] = {
      {"just under a second", At(9, 30, 16, 249), false},
      {"a second", At(9, 30, 16, 250), true},
      {"a minute", At(9, 31, 15, 0), true},
      {"a clock set back", At(9, 30, 14, 0), true},
  };
  options_.MNTimeStampLogFile = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Dated());
    clock_.Set(At(9, 30, 15, 250));
    log_.AddLog("first");
    clock_.Set(c.next);
    log_.AddLog(c.name);
    // Each line keeps the time it was added, not the time it was written.
    const Lines both{"2020-11-14 09:30:15.25  first", log::Log::TimeStamp(c.next) + " " + c.name};
    EXPECT_EQ(OnDisk(), c.written ? both : Lines{});
    log_.Flush();
    EXPECT_EQ(OnDisk(), both);
  }
}

TEST_F(HeldLinesTest, LinesHeldForOneFileGoThereWhenTheNextLineNamesAnother) {
  const struct {
    const char* name;
    std::function<void()> change;
    const char* old_file;
    const char* new_file;
  } cases[] = {
      {"midnight", [&] { clock_.Set(At(0, 0, 0, 100, 15)); }, "Arborline_20201114.LOG",
       "Arborline_20201115.LOG"},
      {"another LogFile", [&] { state_.LogFile = dir_.File("Moved.LOG"); },
       "Arborline_20201114.LOG", "Moved_20201114.LOG"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    state_.LogFile = dir_.File("Arborline.LOG");
    std::filesystem::remove(Dated(c.old_file));
    // Half a second before the change: only the change of file writes the line.
    clock_.Set(At(23, 59, 59, 600));
    log_.AddLog(std::string("old ") + c.name);
    c.change();
    log_.AddLog(std::string("new ") + c.name);
    EXPECT_EQ(OnDisk(c.old_file), Lines{std::string("old ") + c.name});
    EXPECT_TRUE(OnDisk(c.new_file).empty());
    EXPECT_EQ(log_.DatedLogFile(), dir_.File(c.new_file));  // handed out with its lines
    EXPECT_EQ(OnDisk(c.new_file), Lines{std::string("new ") + c.name});
  }
}

TEST_F(HeldLinesTest, ALogGoneOrFullOfTextHoldsNothingBack) {
  {
    Log short_lived(clock_, state_, options_, ui_, files_);
    short_lived.AddLog("said just before the end");
  }
  EXPECT_EQ(OnDisk(), Lines{"said just before the end"});
  // A row that says a great deal is written before its end: memory stays bounded.
  const std::string long_line(1000, 'x');
  for (int i = 0; i < 100; ++i) log_.AddLog(long_line + std::to_string(i));
  const Lines on_disk = OnDisk();
  EXPECT_GT(on_disk.size(), 1u);
  EXPECT_LT(on_disk.size(), 101u);
}

// Another file system's files, with every open counted where another thread can wait for it.
class WatchedFiles final : public os::FileSystem {
 public:
  explicit WatchedFiles(os::FileSystem& inner) : inner_(inner) {}
  std::unique_ptr<os::AppendFile> OpenForAppend(const std::string& path,
                                                std::string* error) override {
    std::unique_ptr<os::AppendFile> file = inner_.OpenForAppend(path, error);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++opens_;
    }
    opened_.notify_all();
    return file;
  }
  bool Exists(const std::string& path) const override { return inner_.Exists(path); }
  Status Remove(const std::string& path) override { return inner_.Remove(path); }
  Status Copy(const std::string& from, const std::string& to) override {
    return inner_.Copy(from, to);
  }
  Status Replace(const std::string& path, std::string_view text) override {
    return inner_.Replace(path, text);
  }
  // Whether `n` opens have been made; false after a minute, so a broken writer fails the
  // test rather than hanging it.
  bool WaitForOpens(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return opened_.wait_for(lock, std::chrono::minutes(1), [&] { return opens_ >= n; });
  }

 private:
  os::FileSystem& inner_;
  std::mutex mutex_;
  std::condition_variable opened_;
  int opens_ = 0;
};

using LateWriterTest = HeldLinesTest;

TEST_F(LateWriterTest, LinesNothingElseWritesReachTheFileByThemselvesInOrder) {
  // The second open fails.
  files_.Fail(Op::kOpen, 2, false, "Input/output error");
  WatchedFiles files(files_);
  Log log(clock_, state_, options_, ui_, files);
  log.OnWriteFailure([&](const std::string& why) { reports_.push_back(why); });
  log.StartLateWriter();

  // The clock stands still: by the lines' own times nothing would ever be due.
  log.AddLog("first");
  ASSERT_TRUE(files.WaitForOpens(1));
  log.AddLog("lost");
  ASSERT_TRUE(files.WaitForOpens(2));
  // The late writer's failure is reported here, with the next line, and only once.
  EXPECT_TRUE(reports_.empty());
  log.AddLog("next");
  log.Flush();
  log.AddLog("last");
  log.Flush();
  EXPECT_EQ(OnDisk(), (Lines{"first", "next", "last"}));
  EXPECT_EQ(reports_, Lines{Dated() + ": Input/output error"});
}

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
  files_.Fail(Op::kRemove, 1, true, "Permission denied");
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
  EXPECT_EQ(Lines(ui_.dialog.begin() + 3, ui_.dialog.end()), (Lines{"/var/log/sprout", "run.log"}));
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
}

}  // namespace
}  // namespace sproutsmith::log
