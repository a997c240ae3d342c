// The real program, run unattended on a real DM installation as cron or a service manager
// runs it: a service stop or Ctrl+C ends the run cleanly (the "Ended on" line, the options
// saved, IsRunning 0, no running-node row left); a log that cannot be written is said on
// stderr; --help starts nothing.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/program_process.h"
#include "platform/dmapi/demo_installation.h"
#include "platform/os/settings_store.h"
#include "support/sql_rows.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

constexpr const char* kProduct = "Arborline Sproutsmith for OpenText eDOCS";

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() {
    std::filesystem::create_directories(dir_.File("temp"));
    std::filesystem::create_directories(dir_.File("config/sproutsmith"));
    dmapi::DemoInstallation demo;
    const Status made = dmapi::CreateDemoInstallation(dir_.File("dm"), dmapi::DemoOptions{}, &demo);
    created_ = made.ok();
    EXPECT_TRUE(created_) << made.text;
    config_ = demo.config_path;
    libraries_ = demo.library_paths;
  }
  ~ProgramTest() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  os::SettingsStore Settings() { return os::SettingsStore(dir_.File("config/sproutsmith")); }

  // Starts the program with `args`, the installation, its own settings and temp folder.
  void Start(const std::vector<std::string>& args) {
    const std::string err = dir_.File("stderr.txt");
    std::ofstream(err, std::ios::trunc);
    pid_ = StartProgram("", config_, dir_.path().string(), args, err);
    ASSERT_GT(pid_, 0);
  }

  std::string LogPath() { return ProgramLog(dir_.path().string()); }
  std::string ReportPath() {
    const std::string log = LogPath();
    return log.empty() ? "" : log.substr(0, log.size() - 4) + ".json";
  }
  bool LogHas(const std::string& fragment) {
    const std::string log = LogPath();
    return !log.empty() && testing::ReadFile(log).find(fragment) != std::string::npos;
  }
  // Waits until `ready` holds (false after a minute).
  bool WaitFor(const std::function<bool()>& ready) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until) {
      if (ready()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // The child's wait status; -1 when it did not end within a minute.
  int WaitForExit() {
    int status = 0;
    const bool ended = WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; });
    if (!ended) return -1;
    pid_ = 0;
    return status;
  }
  std::string RunningNodes() {
    long long total = 0;
    for (const std::string& library : libraries_) {
      total += std::stoll(testing::FirstValue(
          testing::ReadFileRows(
              library, "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'"),
          "0"));
    }
    return std::to_string(total);
  }
  std::string Stderr() { return testing::ReadFile(dir_.File("stderr.txt")); }
  // `stop` is logged after the cycle's "Finished processing." and before the "Ended on" line.
  ::testing::AssertionResult StopSaidAtTheEnd(const std::string& stop) {
    const std::string log = testing::ReadFile(LogPath());
    const auto finished = log.rfind("Finished processing.");
    const auto said = log.rfind(stop);
    const auto ended = log.rfind(") Ended on ");
    if (finished != std::string::npos && said != std::string::npos && ended != std::string::npos &&
        finished < said && said < ended) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no \"" << stop << "\" at the end of\n" << log;
  }

  testing::TempDir dir_;
  bool created_ = false;
  std::string config_;
  std::vector<std::string> libraries_;
  pid_t pid_ = 0;
};

TEST_F(ProgramTest, SigtermDuringARuleCancelsAndEndsCleanly) {
  ASSERT_TRUE(created_);
  Start({"/G", "/X"});
  ASSERT_TRUE(WaitFor([&] { return LogHas("Processing library DEMO rule"); })) << Stderr();
  EXPECT_EQ(RunningNodes(), "1");  // this computer holds the rule it works on
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  const int status = WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status << Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 5) << Stderr();

  EXPECT_TRUE(LogHas(") Ended on ")) << testing::ReadFile(LogPath());
  EXPECT_TRUE(LogHas("Stop requested"));
  EXPECT_TRUE(StopSaidAtTheEnd("The run was stopped by signal SIGTERM before its work was done"));
  EXPECT_FALSE(LogHas("Processing library ARCHIVE"));
  EXPECT_EQ(Settings().Get(kProduct, "General", "IsRunning", "absent"), "0");
  EXPECT_EQ(Settings().Get(kProduct, "General", "LogMethod", "absent"), "1");  // options saved
  EXPECT_EQ(RunningNodes(), "0");
  EXPECT_NE(Stderr().find("Outcome: cancelled (exit 5). Log: " + LogPath() +
                          ". Report: " + ReportPath() + "\n"),
            std::string::npos)
      << Stderr();
  EXPECT_NE(testing::ReadFile(ReportPath()).find("\"cancelled\": true"), std::string::npos);
}

TEST_F(ProgramTest, SigtermDuringTheLoopDelayEndsTheRunAsFinished) {
  ASSERT_TRUE(created_);
  ASSERT_TRUE(Settings().Save(kProduct, "General", "Loop_Delay", "600"));
  Start({"/G", "/X", "/L"});
  // The report is written when the pass ends, just before the delay begins.
  ASSERT_TRUE(WaitFor([&] {
    return testing::ReadFile(ReportPath()).find("\"cycles\": 1,") != std::string::npos;
  })) << Stderr();
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  const int status = WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status << Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 0) << Stderr();
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(10));

  EXPECT_TRUE(LogHas(") Ended on "));
  EXPECT_TRUE(StopSaidAtTheEnd("The run was stopped by signal SIGTERM after its cycle had finished"));
  EXPECT_EQ(Settings().Get(kProduct, "General", "IsRunning", "absent"), "0");
  EXPECT_EQ(Settings().Get(kProduct, "General", "Loop_Delay", "absent"), "600");
  EXPECT_EQ(RunningNodes(), "0");
  EXPECT_NE(Stderr().find("Outcome: finished (exit 0). Log: "), std::string::npos) << Stderr();
}

TEST_F(ProgramTest, ALogFolderThatCannotBeWrittenIsSaidOnceOnStderr) {
  ASSERT_TRUE(created_);
  const std::string missing = dir_.File("no such folder/run.log");
  ASSERT_TRUE(Settings().Save(kProduct, "General", "LogFile", missing));
  Start({"/G", "/X"});
  const int status = WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status << Stderr();
  EXPECT_EQ(WEXITSTATUS(status), 0) << Stderr();
  const std::string err = Stderr();
  const std::string dated = missing.substr(0, missing.size() - 4);  // "_YYYYMMDD.log" follows
  size_t warnings = 0;
  for (size_t at = err.find("Warning: the log cannot be written"); at != std::string::npos;
       at = err.find("Warning: the log cannot be written", at + 1)) {
    ++warnings;
  }
  EXPECT_EQ(warnings, 1u) << err;
  EXPECT_NE(err.find(": No such file or directory"), std::string::npos) << err;
  EXPECT_NE(err.find("Outcome: finished (exit 0). Log: " + dated + "_"), std::string::npos) << err;
  EXPECT_NE(err.find(".log (not written: "), std::string::npos) << err;
  EXPECT_NE(err.find(".json (not written: No such file or directory)"), std::string::npos) << err;
  // The run did its work all the same, and ended cleanly.
  EXPECT_EQ(Settings().Get(kProduct, "General", "IsRunning", "absent"), "0");
  EXPECT_EQ(RunningNodes(), "0");
}

TEST_F(ProgramTest, HelpListsTheExitStatusesAndStartsNothing) {
  const std::string command =
      "XDG_CONFIG_HOME='" + dir_.File("help-config") + "' '" + SPROUTSMITH_PROGRAM + "' --help";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[512];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  const int status = ::pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (const char* line :
       {"  0  finished:", "  1  failed start:", "  2  rule failures:", "  3  nothing to do:",
        "  4  broken off:", "  5  cancelled:", "/G ", "/X ", "/L /NL", "/P ", "\".json\""}) {
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("help-config")));
}

}  // namespace
}  // namespace sproutsmith::app
