#pragma once
// A DM session that starts and answers as told, and records what start-up, Go and program
// end asked of it. It stands in only for the seam; the engine above it is real.

#include <functional>
#include <string>
#include <vector>

#include "app/dm_seam.h"

namespace sproutsmith::app {

class ScriptedDmSeam final : public DmSeam {
 public:
  bool StartFusion() override {
    calls.push_back("StartFusion");
    if (on_start) on_start();
    return starts;
  }
  std::vector<std::string> LibraryNames() override { return libraries; }
  std::string UserId() override { return user_id; }
  std::string CurrentLibraryName() override { return current_library; }
  std::string RunScalar(const std::string& sql) override {
    statements.push_back(sql);
    return scalar;
  }
  void ActiveStatus(int mode, const std::string& rule) override {
    calls.push_back("ActiveStatus(" + std::to_string(mode) + "," + rule + ")");
  }
  void ReleaseObjects() override { calls.push_back("ReleaseObjects"); }
  bool Go() override {
    calls.push_back("Go");
    if (on_go) on_go();
    calls.push_back("Go returned");
    return go_finishes;
  }

  bool starts = true;
  std::vector<std::string> libraries = {"DOCS", "ARCHIVE"};
  std::string user_id = "jsmith";
  std::string current_library = "DOCS";
  std::string scalar = "2";  // the rights count
  bool go_finishes = true;
  std::function<void()> on_start;
  std::function<void()> on_go;
  std::vector<std::string> calls;
  std::vector<std::string> statements;
};

}  // namespace sproutsmith::app
