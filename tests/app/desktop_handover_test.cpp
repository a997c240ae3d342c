#include "app/desktop_handover.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

TEST(DesktopHandoverTest, OnlyAStartWithoutGoOnADesktopWithTheWindowProgramHandsOver) {
  testing::TempDir dir;
  const std::string window = dir.File(kWindowProgram);
  testing::WriteFile(window, "#!/bin/sh\n");
  std::filesystem::permissions(window, std::filesystem::perms::owner_all);

  os::FixedEnvironment desktop;
  desktop.program_folder = dir.path().string();
  desktop.variables["DISPLAY"] = ":0";
  os::FixedEnvironment wayland = desktop;
  wayland.variables = {{"WAYLAND_DISPLAY", "wayland-0"}};
  os::FixedEnvironment server = desktop;
  server.variables.clear();
  os::FixedEnvironment elsewhere = desktop;
  elsewhere.program_folder = dir.File("missing");

  struct Case {
    const char* name;
    std::vector<std::string> args;
    const os::FixedEnvironment* env;
    bool hands_over;
  };
  const Case cases[] = {
      {"plain start on X", {}, &desktop, true},
      {"options only, on Wayland", {"/L", "/v"}, &wayland, true},
      {"a cycle is asked for", {"/g"}, &desktop, false},
      {"unattended", {"/X", "/G"}, &desktop, false},
      {"no display", {}, &server, false},
      {"no window program beside", {}, &elsewhere, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WindowProgramFor(c.args, *c.env), c.hands_over ? window : "") << c.name;
  }

  // A file that cannot be run is no window program.
  std::filesystem::permissions(
      window, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(WindowProgramFor({}, desktop), "");
}

}  // namespace
}  // namespace sproutsmith::app
