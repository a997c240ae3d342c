// Start-up and program end over a real DM installation (SQLite libraries in a temp folder).

#include <gtest/gtest.h>

#include "app/dm_session_seam.h"
#include "engine_test_fixture.h"
#include "support/dm_installation.h"

namespace sproutsmith::app {
namespace {

class RealSessionTest : public EngineTest {
 protected:
  Engine& BuildReal() {
    install_.Create({{.name = "DEMO"}, {.name = "ARCHIVE", .engine_code = 2}});
    return BuildSeam([this](Context& context) -> std::unique_ptr<DmSeam> {
      return std::make_unique<DmSessionSeam>(context, install_.OpenClient(), "", "PC1");
    });
  }
  // The fixture's parts, with the seam made from the engine's own context.
  Engine& BuildSeam(std::function<std::unique_ptr<DmSeam>(Context&)> make_dm) {
    EngineParts parts;
    auto clock = std::make_unique<os::FixedClock>(text::DateTime{2026, 12, 6, 9, 4, 29});
    parts.clock = std::move(clock);
    parts.settings = std::make_unique<os::SettingsStore>(dir_.File("config"));
    auto ui = std::make_unique<testing::ScriptedUi>();
    ui_ = ui.get();
    parts.ui = std::move(ui);
    parts.make_dm = std::move(make_dm);
    parts.launcher = std::make_unique<testing::RecordingLauncher>();
    parts.environment = std::make_unique<os::FixedEnvironment>(env_);
    parts.screen = {20000, 12000};
    engine_ = std::make_unique<Engine>(std::move(parts));
    return *engine_;
  }
  int Count(const std::string& fragment) {
    int n = 0;
    for (const auto& l : LogLines()) n += l.find(fragment) != std::string::npos;
    return n;
  }

  testing::DmInstallation install_;
};

TEST_F(RealSessionTest, AnUnattendedRunReachesTheWaitingStateAndEndsCleanly) {
  EXPECT_EQ(BuildReal().Run({"/G", "/X"}), kExitFinished);
  EXPECT_EQ(Count("Connected to MSSQL 15 Library Object DEMO."), 1);
  EXPECT_GE(Count("2 rule(s) identified"), 1);
  EXPECT_EQ(Count("Waiting for user input"), 1);
  EXPECT_EQ(Count(") Started on Sunday, December 6, 2026 at 9:04:29 AM"), 1);
  EXPECT_EQ(Count(") Ended on Sunday, December 6, 2026 at 9:04:29 AM"), 1);
  EXPECT_EQ(Count("SQL Error"), 0);
  EXPECT_EQ(Count("Error:"), 0);
  EXPECT_TRUE(ui_->messages.empty());
  EXPECT_EQ(engine_->window().TVRules.size(), 2u);
}

TEST_F(RealSessionTest, AUserWithoutUniversalAccessIsRefusedAtStartUp) {
  BuildReal();
  // Take the login out of every group with universal access 191 or more.
  install_.Exec("DEMO", "DELETE FROM PEOPLEGROUPS WHERE GROUPS_SYSTEM_ID IN (SELECT SYSTEM_ID FROM "
                        "GROUPS WHERE UNIV_ACCESS >= 191)");
  EXPECT_EQ(engine_->Run({}), kExitFailed);
  const std::string refusal =
      "You are not a member of any groups with Universal Access >= 191. This is a requirement "
      "for running Arborline Sproutsmith for OpenText eDOCS";
  ASSERT_FALSE(ui_->messages.empty());
  EXPECT_EQ(ui_->messages.front().text, "Error: " + refusal);
  EXPECT_EQ(Count(refusal), 1);
  EXPECT_EQ(Count("Waiting for user input"), 0);
  EXPECT_EQ(Count(") Ended on "), 1);
}

TEST_F(RealSessionTest, ABrokenInstallationFailsTheStartWithItsReason) {
  BuildSeam([](Context& context) -> std::unique_ptr<DmSeam> {
    return std::make_unique<DmSessionSeam>(context, nullptr, "/x/dm.conf:3: unknown back end 'foo'",
                                           "PC1");
  });
  EXPECT_EQ(engine_->Run({"/G", "/X"}), kExitFailed);
  EXPECT_EQ(Count("/x/dm.conf:3: unknown back end 'foo'"), 1);
  EXPECT_EQ(Count("Unable to start the DM"), 1);
  EXPECT_NE(engine_->FailureMessage().find("Unable to start the DM"), std::string::npos);
  EXPECT_FALSE(engine_->FailureMessageShown());
}

}  // namespace
}  // namespace sproutsmith::app
