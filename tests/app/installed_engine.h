#pragma once
// The engine over a real DM installation (SQLite libraries in the test's folder): the engine
// makes its DM session, as the program does.

#include <functional>
#include <memory>
#include <string>

#include "engine_test_fixture.h"
#include "support/dm_installation.h"

namespace sproutsmith::app {

class InstalledEngineTest : public EngineTest {
 protected:
  // `adjust` changes the parts before the engine is made (another file system, ...).
  Engine& BuildReal(const std::function<void(EngineParts&)>& adjust = {}) {
    EngineParts parts = NewEngineParts();
    parts.installation.client = install_.OpenClient();
    parts.stop_requested = [this] { return stop_; };
    parts.computer_name = "PC1";
    if (adjust) adjust(parts);
    engine_ = std::make_unique<Engine>(std::move(parts));
    session_ = &engine_->session();
    return *engine_;
  }
  // The report of the last engine's run.
  std::string Report() { return engine_ ? testing::ReadFile(engine_->ReportPath()) : ""; }

  testing::DmInstallation install_;
  Session* session_ = nullptr;
  bool stop_ = false;  // what an outside stop request reads
};

}  // namespace sproutsmith::app
