// The process and the machine it runs on: where it runs from, its environment, the programs
// it starts, its signals, the one run per computer, its files and its settings files.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/os/cancel_signal.h"
#include "platform/os/environment.h"
#include "platform/os/file_system.h"
#include "platform/os/instance_lock.h"
#include "platform/os/program_launcher.h"
#include "platform/os/settings_store.h"
#include "support/product_name.h"
#include "support/temp_dir.h"
#include "text/text.h"

namespace sproutsmith::os {
namespace {

using testing::ReadFile;
using testing::ReadLines;
using testing::TempDir;
using testing::WriteFile;

TEST(EnvironmentTest, TheProcessKnowsWhereItRunsFromItsVariablesAndItsPath) {
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(ProgramFolder(), exe.parent_path().string());
  EXPECT_EQ(ExecutableName(), exe.filename().string());
  // The whole name, as a 255-byte buffer holds it.
  char expected[256] = {};
  ASSERT_EQ(::gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(ComputerName(), std::string(expected));

  ::setenv("SPROUTSMITH_TEST_VARIABLE", "value with blanks", 1);
  ::unsetenv("SPROUTSMITH_TEST_UNSET");
  const SystemEnvironment env;
  EXPECT_EQ(env.Variable("SPROUTSMITH_TEST_VARIABLE"), "value with blanks");
  EXPECT_EQ(env.Variable("SPROUTSMITH_TEST_UNSET"), "");

  // Programs are found on the path (a viewer that does not open shows at once).
  SystemLauncher launcher;
  EXPECT_TRUE(launcher.StartProgram("true", {"ignored argument"}));
  EXPECT_FALSE(launcher.StartProgram("no-such-program-sproutsmith", {}));
}

// In a child process of its own (the handlers are process-wide): a first signal only raises
// the flag, a second one ends the process at once.
TEST(CancelSignalTest, TheFirstSignalIsAFlagTheSecondEndsAtOnce) {
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(number);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (CancelSignal::Requested()) _exit(10);
      CancelSignal::Install();
      if (CancelSignal::Requested()) _exit(11);
      ::raise(number);
      if (!CancelSignal::Requested() || CancelSignal::Number() != number) _exit(12);
      ::raise(SIGTERM);
      _exit(13);  // not reached: the second signal ends the process
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 128 + SIGTERM);
  }
}

// The run lock between processes: a child process holds it, the parent is refused and told
// the child's process id. Locks are per installation and computer name.
// A child process that takes the lock, says whether it got it through a pipe, and then
// waits to be killed.
class Holder {
 public:
  Holder(const std::string& config, const std::string& computer,
         const std::vector<std::string>& fallbacks) {
    int pipe_fds[2];
    EXPECT_EQ(::pipe(pipe_fds), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      const InstanceLock lock = InstanceLock::Take(config, computer, fallbacks);
      const char answer = lock.held() ? 'y' : 'n';
      if (::write(pipe_fds[1], &answer, 1) != 1) _exit(1);
      while (true) ::pause();
    }
    ::close(pipe_fds[1]);
    char answer = 0;
    held_ = ::read(pipe_fds[0], &answer, 1) == 1 && answer == 'y';
    ::close(pipe_fds[0]);
  }
  ~Holder() { Kill(); }

  bool held() const { return held_; }
  pid_t pid() const { return pid_; }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
  bool held_ = false;
};

class InstanceLockTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  // The configuration's folder does not exist yet: taking the lock makes it.
  std::string config_ = dir_.File("dm/dm.conf");
  std::vector<std::string> fallbacks_ = {dir_.File("fallback")};
};

TEST_F(InstanceLockTest, AHolderKeepsOthersOfTheSameInstallationAndComputerOff) {
  Holder holder(config_, "pc1", fallbacks_);
  ASSERT_TRUE(holder.held());
  const std::string file =
      (std::filesystem::canonical(dir_.path()) / "dm" / "dm.conf.PC1.lock").string();
  EXPECT_EQ(testing::ReadFile(file), std::to_string(holder.pid()) + "\n");

  // Letter case does not make another computer; another spelling of the path is the same
  // installation.
  for (const std::string computer : {"PC1", "pc1"}) {
    for (const std::string& config : {config_, dir_.File("dm/../dm/./dm.conf")}) {
      SCOPED_TRACE(computer + " " + config);
      const InstanceLock refused = InstanceLock::Take(config, computer, fallbacks_);
      EXPECT_EQ(std::tuple(refused.state(), refused.holder(), refused.path()),
                std::tuple(InstanceLock::State::kHeldElsewhere, holder.pid(), file));
    }
  }
  // Another computer on the same installation, and the same computer on another one.
  for (const auto& [config, computer] : std::vector<std::pair<std::string, std::string>>{
           {config_, "PC2"}, {config_, "PC 1"}, {dir_.File("dm/other.conf"), "PC1"}}) {
    EXPECT_TRUE(InstanceLock::Take(config, computer, fallbacks_).held())
        << config << " " << computer;
  }
}

TEST_F(InstanceLockTest, AConfigurationFolderThatCannotHoldTheFileFallsBackToOneItCan) {
  // A file where the configuration's folder would be: no lock file can be made beside it.
  testing::WriteFile(dir_.File("blocked"), "");
  const std::string config = dir_.File("blocked/dm.conf");
  std::filesystem::create_directories(fallbacks_[0]);
  const std::vector<std::string> fallbacks = {dir_.File("missing"), fallbacks_[0]};

  Holder holder(config, "PC1", fallbacks);
  ASSERT_TRUE(holder.held());
  const InstanceLock refused = InstanceLock::Take(config, "pc1", fallbacks);
  EXPECT_EQ(std::tuple(refused.state(), refused.holder(),
                       std::filesystem::path(refused.path()).parent_path().string()),
            std::tuple(InstanceLock::State::kHeldElsewhere, holder.pid(), fallbacks_[0]));
  EXPECT_EQ(std::filesystem::path(refused.path()).filename().string().rfind("sproutsmith-PC1-", 0),
            0u)
      << refused.path();

  // With nowhere to put the file, nothing is held and every place tried is named.
  const InstanceLock nowhere = InstanceLock::Take(config, "PC1", {dir_.File("missing")});
  EXPECT_EQ(nowhere.state(), InstanceLock::State::kUnavailable);
  EXPECT_NE(nowhere.error().find("blocked/dm.conf.PC1.lock: Not a directory"), std::string::npos)
      << nowhere.error();
  EXPECT_NE(nowhere.error().find("missing/sproutsmith-PC1-"), std::string::npos) << nowhere.error();
}

TEST(SystemFileSystemTest, AppendCopyReplaceAndRemoveWorkAndFailuresAnswerTheSystemsReason) {
  TempDir dir;
  SystemFileSystem files;
  const std::string path = dir.File("a.log");
  EXPECT_FALSE(files.Exists(path));
  ASSERT_TRUE(files.Append(path, "one\r\n").ok());
  ASSERT_TRUE(files.Append(path, "two\r\n").ok());
  std::string error;
  const auto open = files.OpenForAppend(path, &error);
  ASSERT_NE(open, nullptr) << error;
  ASSERT_TRUE(open->Write("three\r\n").ok());
  // Readable before the file is closed: a crash loses no line already written.
  EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\nthree\r\n");
  EXPECT_TRUE(files.Exists(path));
  EXPECT_FALSE(files.Exists(""));
  EXPECT_FALSE(files.Exists(dir.path().string()));  // a folder is no file

  WriteFile(dir.File("from"), "new");
  WriteFile(dir.File("to"), "old and longer");
  ASSERT_TRUE(files.Copy(dir.File("from"), dir.File("to")).ok());
  EXPECT_EQ(ReadFile(dir.File("to")), "new");
  ASSERT_TRUE(files.Replace(dir.File("to"), "replaced").ok());
  EXPECT_EQ(ReadFile(dir.File("to")), "replaced");
  ASSERT_TRUE(files.Remove(dir.File("to")).ok());
  EXPECT_FALSE(files.Exists(dir.File("to")));
  EXPECT_TRUE(files.Exists(dir.File("from")));

  EXPECT_EQ(files.OpenForAppend(dir.File("missing/a.log"), &error), nullptr);
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_EQ(files.Append(dir.File("missing/a.log"), "x").text, "No such file or directory");
  const Status copied = files.Copy(dir.File("absent"), dir.File("b"));
  EXPECT_NE(copied.code, 0);
  EXPECT_FALSE(copied.text.empty());

  std::filesystem::create_directories(dir.File("full/child"));
  EXPECT_FALSE(files.Remove(dir.File("full")).ok());  // a folder that is not empty
  EXPECT_TRUE(std::filesystem::exists(dir.File("full")));
  // Nothing to remove is no failure.
  EXPECT_TRUE(files.Remove(dir.File("absent")).ok());
  // A replacement that cannot be written leaves neither the file nor a temporary one, and
  // the one that was written took its temporary file along in the rename: a.log, from, full.
  EXPECT_EQ(files.Replace(dir.File("missing/r.json"), "{}").text, "No such file or directory");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

constexpr const char* kApp = testing::kProductName;

class SettingsStoreTest : public ::testing::Test {
 protected:
  SettingsStoreTest() : store_(dir_.File("config")) {}
  std::vector<std::string> FileLines() { return ReadLines(store_.FilePath(kApp)); }

  TempDir dir_;
  SettingsStore store_;
};

TEST_F(SettingsStoreTest, AbsentNamesGiveTheFallbackOthersMatchInAnyCaseEachApplicationHasItsFile) {
  EXPECT_EQ(store_.Get(kApp, "General", "LogMethod", "1"), "1");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("config")));  // reading creates nothing
  ASSERT_TRUE(store_.Save(kApp, "General", "Loop", "0"));
  EXPECT_EQ(store_.Get(kApp, "General", "LogMethod", "1"), "1");
  EXPECT_EQ(store_.Get(kApp, "PauseTimer", "Loop", "-1"), "-1");
  EXPECT_EQ(store_.Get("QUIL", "General", "Loop", "x"), "x");
  EXPECT_EQ(store_.FilePath(kApp), dir_.File("config") + "/" + kApp + ".ini");

  // Each application has its own file.
  ASSERT_TRUE(store_.Save("QUIL", "General", "RegisterAPI", "-1"));
  EXPECT_EQ(ReadLines(dir_.File("config/QUIL.ini")),
            (std::vector<std::string>{"[General]", "RegisterAPI=-1", ""}));
  EXPECT_EQ(store_.Get(kApp, "General", "RegisterAPI", "0"), "0");
  EXPECT_EQ(store_.FilePath("a/b"), dir_.File("config") + "/a_b.ini");

  // Names match in any case and keep their first spelling.
  ASSERT_TRUE(store_.Save(kApp, "Libraries", "Docs", "-1"));
  ASSERT_TRUE(store_.Save(kApp, "LIBRARIES", "DOCS", "0"));
  EXPECT_EQ(store_.Get(kApp, "libraries", "docs"), "0");
  EXPECT_EQ(FileLines(),
            (std::vector<std::string>{"[General]", "Loop=0", "", "[Libraries]", "Docs=0", ""}));
}

TEST_F(SettingsStoreTest, ValuesAndFreeTextKeysRoundTripVerbatim) {
  // Rule keys are LIBRARY:RULE with whatever the rule's name holds.
  const std::vector<std::string> keys = {"DOCS:RULE=1", "DOCS:[]", "[SECTION]",     " [A",
                                         "100%",        "%3D",     "DOCS: MATTERS "};
  for (const std::string& key : keys) ASSERT_TRUE(store_.Save(kApp, "Rules", key, key + "!"));
  for (const std::string& key : keys) EXPECT_EQ(store_.Get(kApp, "Rules", key), key + "!") << key;
  EXPECT_EQ(FileLines().front(), "[Rules]");

  const std::vector<std::pair<std::string, std::string>> cases = {
      {"LogFile", "/tmp/a b/Arborline.LOG"},
      {"Blanks", "  padded  "},
      {"Equals", "a=b=c"},
      {"Percent", "%41%"},
      {"Empty", ""},
      {"Brackets", "[General]"},
  };
  for (const auto& [key, value] : cases) ASSERT_TRUE(store_.Save(kApp, "General", key, value));
  for (const auto& [key, value] : cases) {
    EXPECT_EQ(store_.Get(kApp, "General", key, "absent"), value) << key;
  }
}

TEST_F(SettingsStoreTest, UnreadableLinesAreSkipped) {
  std::filesystem::create_directories(dir_.File("config"));
  WriteFile(store_.FilePath(kApp),
            "orphan=before any section\r\n"
            "[General]\r\n"
            "no equals sign\r\n"
            "=no key\r\n"
            "Loop=1\r\n"
            "  [ PauseTimer-ish\n"
            "[Libraries]\n"
            "DOCS=0\n"
            "[General]\n"
            "LogMethod=0\n");
  EXPECT_EQ(store_.Get(kApp, "General", "Loop"), "1");  // CR LF line ends read as well
  EXPECT_EQ(store_.Get(kApp, "General", "LogMethod"), "0");
  EXPECT_EQ(store_.Get(kApp, "Libraries", "DOCS"), "0");
  EXPECT_EQ(store_.Get(kApp, "General", "orphan", "none"), "none");
  // A save rewrites what it could read and drops the rest.
  ASSERT_TRUE(store_.Save(kApp, "General", "Loop", "0"));
  EXPECT_EQ(FileLines(), (std::vector<std::string>{"[General]", "Loop=0", "LogMethod=0", "",
                                                   "[Libraries]", "DOCS=0", ""}));
}

TEST_F(SettingsStoreTest, RefusedValuesAndFailedWritesDoNoHarmAndLeaveNoLeftovers) {
  ASSERT_TRUE(store_.Save(kApp, "General", "Loop", "1"));
  EXPECT_FALSE(store_.Save(kApp, "General", "Loop", "two\nlines"));
  EXPECT_FALSE(store_.Save(kApp, "General", "", "x"));
  EXPECT_FALSE(store_.Save(kApp, "Gen\neral", "Loop", "x"));
  EXPECT_EQ(store_.Get(kApp, "General", "Loop"), "1");
  // In a batch the refused value is skipped; the others are written.
  EXPECT_FALSE(store_.SaveAll(
      kApp, {{"General", "A", "1"}, {"Libraries", "", "-1"}, {"General", "B", "2"}}));
  EXPECT_EQ(store_.Get(kApp, "General", "A"), "1");
  EXPECT_EQ(store_.Get(kApp, "General", "B"), "2");

  ASSERT_TRUE(store_.Save(kApp, "General", "Loop", "1"));
  ASSERT_TRUE(store_.Save(kApp, "General", "Loop", "0"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.File("config")),
                          std::filesystem::directory_iterator()),
            1);  // the temporary file was renamed over the old one

  SettingsStore nowhere("/proc/no-such-folder");
  EXPECT_FALSE(nowhere.Save(kApp, "General", "Loop", "1"));
  EXPECT_EQ(nowhere.Get(kApp, "General", "Loop", "fallback"), "fallback");
}

TEST(SettingsStoreFolderTest, DefaultFolderFollowsXdgConfigHome) {
  // (xdg, home, folder)
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"/cfg/home", "/home/u", "/cfg/home/sproutsmith"},
      {"relative", "/home/u", "/home/u/.config/sproutsmith"},  // ignored, as XDG says
      {"", "/home/u", "/home/u/.config/sproutsmith"},
  };
  for (const auto& [xdg, home, folder] : cases) {
    FixedEnvironment env;
    env.variables = {{"XDG_CONFIG_HOME", xdg}, {"HOME", home}};
    EXPECT_EQ(SettingsStore::DefaultFolder(env), folder) << xdg;
  }
  // Without HOME the account's own home folder is asked for.
  const std::string folder = SettingsStore::DefaultFolder(FixedEnvironment());
  EXPECT_TRUE(text::EndsWith(folder, "/.config/sproutsmith")) << folder;
  EXPECT_NE(folder, "/.config/sproutsmith");
}

}  // namespace
}  // namespace sproutsmith::os
