#include "platform/os/settings_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/product_name.h"
#include "support/temp_dir.h"
#include "text/text.h"

namespace sproutsmith::os {
namespace {

using testing::ReadLines;
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kApp = testing::kProductName;

class SettingsStoreTest : public ::testing::Test {
 protected:
  SettingsStoreTest() : store_(dir_.File("config")) {}
  std::vector<std::string> FileLines() { return ReadLines(store_.FilePath(kApp)); }

  TempDir dir_;
  SettingsStore store_;
};

TEST_F(SettingsStoreTest, AbsentFileSectionOrKeyGivesTheFallbackAndEachApplicationHasItsFile) {
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

TEST_F(SettingsStoreTest, NamesMatchInAnyCaseAndKeepTheirFirstSpelling) {
  ASSERT_TRUE(store_.Save(kApp, "Libraries", "Docs", "-1"));
  ASSERT_TRUE(store_.Save(kApp, "LIBRARIES", "DOCS", "0"));
  EXPECT_EQ(store_.Get(kApp, "libraries", "docs"), "0");
  EXPECT_EQ(FileLines(), (std::vector<std::string>{"[Libraries]", "Docs=0", ""}));
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
  struct Case {
    const char* xdg;
    const char* home;
    const char* folder;
  };
  const Case cases[] = {
      {"/cfg/home", "/home/u", "/cfg/home/sproutsmith"},
      {"relative", "/home/u", "/home/u/.config/sproutsmith"},  // ignored, as XDG says
      {"", "/home/u", "/home/u/.config/sproutsmith"},
  };
  for (const Case& c : cases) {
    FixedEnvironment env;
    env.variables = {{"XDG_CONFIG_HOME", c.xdg}, {"HOME", c.home}};
    EXPECT_EQ(SettingsStore::DefaultFolder(env), c.folder) << c.xdg;
  }
  // Without HOME the account's own home folder is asked for.
  const std::string folder = SettingsStore::DefaultFolder(FixedEnvironment());
  EXPECT_TRUE(text::EndsWith(folder, "/.config/sproutsmith")) << folder;
  EXPECT_NE(folder, "/.config/sproutsmith");
}

}  // namespace
}  // namespace sproutsmith::os
