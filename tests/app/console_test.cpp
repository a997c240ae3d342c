// The console a run without the window talks to: what it shows and asks on a terminal and
// without one, and the real program's progress lines: on a terminal (a pseudo-terminal here)
// each rule that selected rows gets one line, redrawn in place and ended when the rule ends,
// with the counts the run's summary gives; through a pipe (a service, cron) there is none.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <regex>
#include <sstream>
#include <string>

#include "app/console_ui.h"
#include "app/program_process.h"
#include "platform/dmapi/demo_installation.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

using runtime::Answer;
using runtime::MessageStyle;

constexpr char kClearLine[] = "\r\033[K";

TEST(ConsoleUiTest, WithoutATerminalOnlyProblemsAreShownAndQuestionsAnswerNo) {
  std::istringstream in("y\n");
  std::ostringstream err;
  ConsoleUi ui(in, err, /*in_is_terminal=*/false, /*err_is_terminal=*/false);
  ui.StatusChanged("Setting Libraries");
  EXPECT_EQ(ui.MessageBox("Task Canceled", MessageStyle::kInformation, "t"), Answer::kNone);
  EXPECT_EQ(ui.MessageBox("Error: broken", MessageStyle::kCritical, "t"), Answer::kNone);
  EXPECT_EQ(ui.MessageBox("Warning: odd", MessageStyle::kExclamation, "t"), Answer::kNone);
  EXPECT_EQ(ui.MessageBox("Purge?", MessageStyle::kYesNo, "t"), Answer::kNo);
  ui.Notice("Paused until 01:00 PM");  // a service's journal must show a long wait
  EXPECT_EQ(err.str(), "Error: broken\nWarning: odd\nPurge? [y/n] n\nPaused until 01:00 PM\n");
  EXPECT_EQ(ui.ChooseSaveFile("a", "b", "c", "d", "e"), "");
  EXPECT_EQ(ui.ChooseLibrary({"DOCS"}), "");
}

TEST(ConsoleUiTest, AtATerminalStatusShowsAndQuestionsAreAsked) {
  std::istringstream in("maybe\nYes\n n \nc\n");
  std::ostringstream err;
  ConsoleUi ui(in, err, true, true);
  ui.StatusChanged("Setting Libraries");
  ui.MessageBox("Task Canceled", MessageStyle::kInformation, "t");
  EXPECT_EQ(ui.MessageBox("Purge?", MessageStyle::kYesNo, "t"), Answer::kYes);  // asked twice
  EXPECT_EQ(ui.MessageBox("Again?", MessageStyle::kYesNo, "t"), Answer::kNo);
  EXPECT_EQ(ui.MessageBox("Go on?", MessageStyle::kYesNoCancel, "t"), Answer::kCancel);
  EXPECT_EQ(ui.MessageBox("At end of input?", MessageStyle::kYesNo, "t"), Answer::kNo);
  EXPECT_EQ(err.str(),
            "Setting Libraries\nTask Canceled\nPurge? [y/n] Purge? [y/n] Again? [y/n] "
            "Go on? [y/n/c] At end of input? [y/n] ");
}

TEST(ConsoleUiTest, TheProgressLineCountsRowsFoldersRateAndTimeLeft) {
  struct Case {
    int selected, read, added;
    double seconds;
    const char* line;
  };
  const Case cases[] = {
      {83, 0, 0, 0.0, "DEMO - CLIENTS: 0 of 83 rows, 0 folder(s)"},
      {83, 20, 40, 0.5, "DEMO - CLIENTS: 20 of 83 rows, 40 folder(s), 80 folders/s, 0:02 left"},
      {1000, 10, 30, 6.0, "DEMO - CLIENTS: 10 of 1000 rows, 30 folder(s), 5 folders/s, 9:54 left"},
  };
  for (const Case& c : cases) {
    runtime::CycleProgress p;
    p.library = "DEMO";
    p.rule = "CLIENTS";
    p.rows_selected = c.selected;
    p.rows_read = c.read;
    p.folders_added = c.added;
    EXPECT_EQ(ProgressLineText(p, c.seconds), c.line);
  }
}

TEST(ConsoleUiTest, OnATerminalARulesLineIsRedrawnInPlaceAndOtherOutputMakesRoomForIt) {
  using Step = runtime::CycleProgress::Step;
  std::istringstream in;
  std::ostringstream err;
  ConsoleUi ui(in, err, false, true);
  ui.SetColumns(30);
  runtime::CycleProgress p;
  p.library = "DEMO";
  p.rule = "CLIENTS";
  auto step = [&](Step s, int selected, int read) {
    p.step = s;
    p.rows_selected = selected;
    p.rows_read = read;
    ui.Progress(p);
  };
  step(Step::kRuleStarts, 0, 0);
  step(Step::kRows, 0, 0);  // nothing selected yet: no line
  step(Step::kRows, 9, 0);
  ui.StatusChanged("Finished with library DEMO");
  step(Step::kRuleEnds, 9, 9);
  step(Step::kCycleEnds, 9, 9);  // the line was ended with the rule
  // Cut to 29 columns, which also keeps the rate and the time out of the picture.
  const std::string none_read = kClearLine + std::string("DEMO - CLIENTS: 0 of 9 rows, ");
  EXPECT_EQ(err.str(), none_read + kClearLine + "Finished with library DEMO\n" + none_read +
                           kClearLine + "DEMO - CLIENTS: 9 of 9 rows, \n");
}

class ConsoleProgressTest : public ::testing::Test {
 protected:
  ConsoleProgressTest() {
    dmapi::DemoInstallation demo;
    const Status made = dmapi::CreateDemoInstallation(dir_.File("dm"), dmapi::DemoOptions{}, &demo);
    EXPECT_TRUE(made.ok()) << made.text;
    config_ = demo.config_path;
  }

  // Runs "/G /X" with stderr on `err_path` and returns what `fd` received until it ended.
  std::string Run(const std::string& err_path, int fd) {
    const pid_t pid = StartProgram("PC1", config_, dir_.path().string(), {"/G", "/X"}, err_path);
    EXPECT_GT(pid, 0);
    std::string received;
    int status = 0;
    bool ended = false;
    while (true) {
      pollfd ready{fd, POLLIN, 0};
      if (::poll(&ready, 1, 100) > 0 && (ready.revents & POLLIN) != 0) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
          received.append(buffer, static_cast<size_t>(n));
          continue;
        }
      }
      if (ended) break;  // drained once more after the end
      ended = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << received;
    return received;
  }

  // (rule, rows selected, folders created) of each rule in the run's summary.
  static std::vector<std::smatch> SummaryLines(const std::string& text) {
    static const std::regex line(
        R"(\n([A-Z]+ - [A-Z ]+): (\d+) row\(s\) selected, (\d+) folder\(s\) created)");
    std::vector<std::smatch> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), line);
         it != std::sregex_iterator(); ++it) {
      found.push_back(*it);
    }
    return found;
  }

  testing::TempDir dir_;
  std::string config_;
};

TEST_F(ConsoleProgressTest, OnATerminalEachRuleHasALineThatEndsWithItsCounts) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  termios raw{};
  ASSERT_EQ(::tcgetattr(slave, &raw), 0);
  ::cfmakeraw(&raw);  // line ends as the program writes them
  ASSERT_EQ(::tcsetattr(slave, TCSANOW, &raw), 0);
  const std::string shown = Run(::ttyname(slave), master);
  ::close(slave);
  ::close(master);

  const std::vector<std::smatch> rules = SummaryLines(shown);
  ASSERT_GE(rules.size(), 3u) << shown;
  int with_rows = 0;
  for (const std::smatch& rule : rules) {
    const std::string name = rule[1];
    const std::string selected = rule[2];
    SCOPED_TRACE(name);
    if (selected == "0") {
      EXPECT_EQ(shown.find(kClearLine + name + ":"), std::string::npos) << "no rows, no line";
      continue;
    }
    ++with_rows;
    const std::string last = kClearLine + name + ": " + selected + " of " + selected + " rows, " +
                             rule[3].str() + " folder(s), ";
    const std::string::size_type at = shown.rfind(last);  // its final drawing
    ASSERT_NE(at, std::string::npos) << shown;
    EXPECT_TRUE(std::regex_search(shown.substr(at + last.size(), 40),
                                  std::regex(R"(^\d+ folders/s, done in \d+:\d\d\n)")))
        << shown.substr(at, 120);
  }
  EXPECT_GE(with_rows, 1);
}

TEST_F(ConsoleProgressTest, ThroughAPipeThereIsNoProgressLine) {
  const std::string fifo = dir_.File("stderr.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const std::string shown = Run(fifo, reader);
  ::close(reader);

  EXPECT_GE(SummaryLines(shown).size(), 3u) << shown;
  EXPECT_EQ(shown.find('\r'), std::string::npos) << shown;
  EXPECT_EQ(shown.find("\033["), std::string::npos);
  EXPECT_EQ(shown.find(" rows, "), std::string::npos);
}

}  // namespace
}  // namespace sproutsmith::app
