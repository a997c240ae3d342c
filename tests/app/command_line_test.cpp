#include "app/command_line.h"

#include <gtest/gtest.h>

namespace sproutsmith::app {
namespace {

TEST(CommandLineTest, ArgumentsBecomeOneTrimmedUpperCaseText) {
  EXPECT_EQ(BuildCommandLine({}), "");
  EXPECT_EQ(BuildCommandLine({"/g", "/x"}), "/G /X");
  EXPECT_EQ(BuildCommandLine({"  /kx ", "/v  "}), "/KX  /V");
  EXPECT_EQ(BuildCommandLine({"", "/l"}), "/L");
}

struct SwitchCase {
  std::vector<std::string> args;
  bool locked;
  int add_new_docs, display_errors, loop, log_method, lock_workstation;
  bool go, unattended, purge;
};

TEST(CommandLineTest, EverySwitchTakesEffect) {
  // Options start as: AddNewDocs 0, DisplayErrors 0, Loop 0, LogMethod 1, LockWorkstation 0,
  // unlocked.
  const std::vector<SwitchCase> cases = {
      {{}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/P"}, false, 0, 0, 0, 1, 0, false, false, true},
      {{"/adnf"}, false, 1, 0, 0, 1, 0, false, false, false},
      {{"/e"}, false, 0, 1, 0, 1, 0, false, false, false},
      {{"/K"}, true, 0, 0, 0, 1, 0, false, false, false},
      {{"/kx"}, false, 0, 0, 0, 1, 0, false, false, false},  // contains "/K", still unlocked
      {{"/KX", "/K"}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/l"}, false, 0, 0, 1, 1, 0, false, false, false},
      {{"/NL"}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/L", "/NL"}, false, 0, 0, 1, 1, 0, false, false, false},  // /L is tested first
      {{"/nv"}, false, 0, 0, 0, 0, 0, false, false, false},
      {{"/V", "/NV"}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/w"}, false, 0, 0, 0, 1, 1, false, false, false},
      {{"/NW"}, false, 0, 0, 0, 1, 0, false, false, false},
      {{"/g"}, false, 0, 0, 0, 1, 0, true, false, false},
      {{"/g", "/x"}, false, 0, 0, 0, 1, 0, true, true, false},
      {{"/X", "/G"}, false, 0, 0, 0, 1, 0, true, true, false},   // order is free
      {{"/G", "/XR"}, false, 0, 0, 0, 1, 0, true, true, false},  // "/XR" counts as "/X"
      {{"/X"}, false, 0, 0, 0, 1, 0, false, false, false},       // /X alone changes nothing
      {{"/Z", "/QUIET", "-G"}, false, 0, 0, 0, 1, 0, false, false, false},
  };
  for (const SwitchCase& c : cases) {
    runtime::RunState state;
    runtime::Options options;
    options.CheckAddNewDocs = 0;
    state.CommandLine = BuildCommandLine(c.args);
    ApplySessionSwitches(state, options);
    ApplyRunSwitches(state, options);
    const std::string label = "command line \"" + state.CommandLine + "\"";
    EXPECT_EQ(state.Locked, c.locked) << label;
    EXPECT_EQ(options.CheckAddNewDocs, c.add_new_docs) << label;
    EXPECT_EQ(options.CheckDisplayErrors, c.display_errors) << label;
    EXPECT_EQ(options.CheckLoop, c.loop) << label;
    EXPECT_EQ(options.CheckLogMethod, c.log_method) << label;
    EXPECT_EQ(options.CheckLockWorkstation, c.lock_workstation) << label;
    EXPECT_EQ(GoRequested(state), c.go) << label;
    EXPECT_EQ(state.Unattended(), c.unattended) << label;
    EXPECT_EQ(PurgeRequested(state), c.purge) << label;
  }
}

TEST(CommandLineTest, SwitchesOnlyEverCheckOrUncheck) {
  // Saved options stay when the command line says nothing about them.
  runtime::RunState state;
  runtime::Options options;
  options.CheckLoop = 1;
  options.CheckLogMethod = 0;
  options.CheckLockWorkstation = 1;
  state.Locked = true;
  state.CommandLine = BuildCommandLine({"/G"});
  ApplySessionSwitches(state, options);
  ApplyRunSwitches(state, options);
  EXPECT_EQ(options.CheckLoop, 1);
  EXPECT_EQ(options.CheckLogMethod, 0);
  EXPECT_EQ(options.CheckLockWorkstation, 1);
  EXPECT_TRUE(state.Locked);
}

}  // namespace
}  // namespace sproutsmith::app
