#pragma once
// The engine over a real DM installation (SQLite libraries in the test's folder): the DM
// seam is made from the engine's own context, as the program makes it.

#include <functional>
#include <memory>
#include <string>

#include "app/dm_session_seam.h"
#include "engine_test_fixture.h"
#include "support/dm_installation.h"

namespace sproutsmith::app {

class InstalledEngineTest : public EngineTest {
 protected:
  // `adjust` changes the parts before the engine is made (another file system, ...).
  Engine& BuildReal(const std::function<void(EngineParts&)>& adjust = {}) {
    EngineParts parts = NewEngineParts();
    parts.make_dm = [this](Context& context) -> std::unique_ptr<DmSeam> {
      auto seam = std::make_unique<DmSessionSeam>(context, install_.OpenClient(), "", "PC1");
      seam_ = seam.get();
      return seam;
    };
    parts.stop_requested = [this] { return stop_; };
    parts.computer_name = "PC1";
    if (adjust) adjust(parts);
    engine_ = std::make_unique<Engine>(std::move(parts));
    return *engine_;
  }
  // The report of the last engine's run.
  std::string Report() { return engine_ ? testing::ReadFile(engine_->ReportPath()) : ""; }

  testing::DmInstallation install_;
  DmSessionSeam* seam_ = nullptr;
  bool stop_ = false;  // what an outside stop request reads
};

}  // namespace sproutsmith::app
