#include "tools/node_cleanup.h"

#include <gtest/gtest.h>

#include "tools_session.h"

namespace sproutsmith::tools {
namespace {

using NodeCleanupTest = ToolsSession;

TEST_F(NodeCleanupTest, ClearsThisComputersRowsInEachLibraryAndKeepsOthers) {
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    for (const char* node : {"PC-ONE:CLIENTS", "pc-one:CLIENT MATTERS", "PC-TWO:CLIENTS"}) {
      install_.AddRunningNode(library, node);
    }
  }
  ASSERT_TRUE(connection().ConnectLibrary("ARCHIVE"));
  rules::RunningNodes nodes(context(), connection(), "PC-ONE");
  const std::vector<std::string> cleared =
      ClearComputerNodes(context(), connection(), nodes, {"DEMO", "NOWHERE", "ARCHIVE"});
  EXPECT_EQ(cleared, (std::vector<std::string>{"DEMO", "ARCHIVE"}));
  EXPECT_EQ(install_.RunningNodes("DEMO"), (Rows{{"PC-TWO:CLIENTS"}}));
  EXPECT_EQ(install_.RunningNodes("ARCHIVE"), (Rows{{"PC-TWO:CLIENTS"}}));
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
}

}  // namespace
}  // namespace sproutsmith::tools
