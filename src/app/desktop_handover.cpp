#include "app/desktop_handover.h"

#include <unistd.h>

#include <filesystem>

#include "app/command_line.h"

namespace sproutsmith::app {

std::string WindowProgramFor(const std::vector<std::string>& args, const os::Environment& env) {
  runtime::RunState state;
  state.CommandLine = BuildCommandLine(args);
  if (GoRequested(state)) return "";
  if (env.Variable("DISPLAY").empty() && env.Variable("WAYLAND_DISPLAY").empty()) return "";
  const std::string program =
      (std::filesystem::path(env.ProgramFolder()) / kWindowProgram).string();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(program, ec) || ::access(program.c_str(), X_OK) != 0) {
    return "";
  }
  return program;
}

}  // namespace sproutsmith::app
