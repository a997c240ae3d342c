#pragma once
// A ProgramLauncher that records what would have been started instead of starting it.

#include <string>
#include <vector>

#include "platform/os/program_launcher.h"

namespace sproutsmith::testing {

class RecordingLauncher final : public os::ProgramLauncher {
 public:
  struct Launch {
    std::string program;
    std::vector<std::string> args;
  };

  bool StartProgram(const std::string& program, const std::vector<std::string>& args) override {
    launches.push_back({program, args});
    return starts;
  }
  std::string DefaultViewer() const override { return viewer; }

  std::vector<Launch> launches;
  bool starts = true;                        // false: every start fails
  std::string viewer = "/usr/bin/xdg-open";  // "" : no desktop viewer
};

}  // namespace sproutsmith::testing
