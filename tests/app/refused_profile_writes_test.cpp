// A profile write of a new folder's own steps (its metadata, its e-mail address) that the
// library refuses leaves the row unfinished; the next cycles give the folder what a whole run
// gives it, and rows beneath it wait rather than build with their own values.

#include <gtest/gtest.h>

#include <string>

#include "app/small_demo.h"

namespace sproutsmith::app {
namespace {

TEST(RefusedProfileWritesTest, AFolderWhoseOwnStepWasRefusedIsFinishedByTheNextCycles) {
  Demo clean;
  clean.Cycle();
  const std::string expected = clean.State();
  for (const char* refused : {"PROFILE SET MATTER", "PROFILE SET PD_ADDRESSEE"}) {
    SCOPED_TRACE(refused);
    Demo run;
    run.Cycle(nullptr, refused);
    ASSERT_NE(run.State(), expected) << "nothing was refused";
    run.Cycle();
    run.Cycle();
    EXPECT_EQ(run.State(), expected);
  }
}

}  // namespace
}  // namespace sproutsmith::app
