#include "app/saved_options.h"

#include <gtest/gtest.h>

#include "app/program_paths.h"
#include "support/product_name.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

using testing::TempDir;

constexpr const char* kApp = testing::kProductName;

class SavedOptionsTest : public ::testing::Test {
 protected:
  SavedOptionsTest() : store_(dir_.File("config")) {}
  void Put(const std::string& section, const std::string& key, const std::string& value) {
    ASSERT_TRUE(store_.Save(kApp, section, key, value));
  }

  TempDir dir_;
  os::SettingsStore store_;
};

TEST_F(SavedOptionsTest, BooleansAreNumbersAndAnyNonZeroChecks) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"-1", 1}, {"0", 0}, {"1", 1}, {"2", 1}, {"", 0}, {"abc", 0}, {" -1", 1}, {"0.5", 1}};
  for (const auto& [saved, checked] : cases) {
    EXPECT_EQ(CheckValue(saved), checked) << '"' << saved << '"';
    Put("General", "Loop", saved);
    Put("PauseTimer", "Monday", saved);
    Put("Libraries", "DOCS", saved);
    runtime::Options o;
    ReadGeneralOptions(store_, kApp, o);
    EXPECT_EQ(o.CheckLoop, checked) << '"' << saved << '"';
    EXPECT_EQ(ReadPauseDays(store_, kApp)[1].checked, checked != 0) << '"' << saved << '"';
    EXPECT_EQ(ReadLibraryNode(store_, kApp, "docs").checked, checked != 0);
  }
}

TEST_F(SavedOptionsTest, NumbersAreShownAsAbsoluteValues) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"-30", "30"}, {"30", "30"}, {"", "0"}, {"abc", "0"}, {"12.6", "13"}, {"-0", "0"}};
  for (const auto& [saved, shown] : cases) {
    Put("General", "Loop_Delay", saved);
    Put("General", "MaxFolders", saved);
    runtime::Options o;
    ReadGeneralOptions(store_, kApp, o);
    EXPECT_EQ(o.TextLoopDelay, shown) << saved;
    EXPECT_EQ(o.TextMaxFolders, shown) << saved;
  }
  Put("General", "Screen.Left", "1234");
  EXPECT_EQ(ReadWindowCoordinate(store_, kApp, "Screen.Left"), 1234);
}

TEST_F(SavedOptionsTest, ProgramEndSavesInItsOrderAndReadsBack) {
  runtime::Options o;
  o.CheckLoop = 1;
  o.TextLoopDelay = "-30";
  o.CheckLogMethod = 0;
  o.CheckDisplayErrors = 1;
  o.TextMaxFolders = "25 folders";
  o.TextPauseStart = "9:5";
  o.TextPauseEnd = "late";
  o.CheckLockWorkstation = 1;
  o.MNTimeStampLogFile = true;
  MainWindowModel window;
  window.window = {11985, 3532, 4830, 9135};
  window.window_on_screen = true;
  window.TVPause = {{"Sunday", true}, {"Monday", false}};
  window.TVRules = {{"DOCS", true, {{"Matters", true}, {" client folders ", false}}},
                    {"Archive", false, {{"[]", false}}}};
  ASSERT_TRUE(SaveProgramEndSettings(store_, kApp, o, "/tmp/x.LOG", window));
  EXPECT_EQ(testing::ReadFile(store_.FilePath(kApp)),
            "[General]\nScreen.Top=3532\nScreen.Left=11985\nScreen.Width=4830\nScreen.Height=9135\n"
            "Loop=1\nLoop_Delay=-30\nLogMethod=0\nLogFile=/tmp/x.LOG\nDisplayErrors=1\n"
            "ProcessDescending=0\nReUseSQL=0\nCheckAddNewDocs=1\nMaxFolders=25\nUsePauseTime=0\n"
            "PauseStart=09:05\nPauseEnd=late\nLockWorkstation=1\nTimeStampLogFile=-1\n\n"
            "[PauseTimer]\nSunday=-1\nMonday=0\n\n"
            "[Libraries]\nDOCS=-1\nArchive=0\n\n"
            "[Rules]\nDOCS:MATTERS=-1\nDOCS:CLIENT FOLDERS=0\nARCHIVE:[]=0\n\n");

  runtime::Options back;
  ReadGeneralOptions(store_, kApp, back);
  EXPECT_EQ(back.CheckLoop, 1);
  EXPECT_EQ(back.TextLoopDelay, "30");
  EXPECT_EQ(back.CheckLogMethod, 0);
  EXPECT_EQ(back.TextPauseStart, "09:05");
  EXPECT_TRUE(back.MNTimeStampLogFile);
  EXPECT_FALSE(ReadPauseDays(store_, kApp)[1].checked);
  EXPECT_FALSE(ReadLibraryNode(store_, kApp, "Archive").checked);
}

TEST(ProgramPathsTest, TempFolderFallsBackToTmpdirThenTheProgramFolder) {
  os::FixedEnvironment env;
  env.variables = {{"TEMP", "/temp"}, {"TMPDIR", "/tmpdir"}};
  EXPECT_EQ(TempFolder(env, "/opt/sprout"), "/temp");
  env.variables["TEMP"] = "";
  EXPECT_EQ(TempFolder(env, "/opt/sprout"), "/tmpdir");
  env.variables.erase("TMPDIR");
  EXPECT_EQ(TempFolder(env, "/opt/sprout"), "/opt/sprout");

  EXPECT_EQ(DefaultLogFile("/opt/sprout", kApp), std::string("/opt/sprout/") + kApp + ".LOG");
  EXPECT_EQ(DefaultLogFile("/tmp/", kApp), std::string("/tmp/") + kApp + ".LOG");
}

}  // namespace
}  // namespace sproutsmith::app
