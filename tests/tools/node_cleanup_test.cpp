#include "tools/node_cleanup.h"

#include <gtest/gtest.h>

#include "tools_session.h"

namespace sproutsmith::tools {
namespace {

class NodeCleanupTest : public ToolsSession {
 protected:
  void SetUp() override { StartLibraries(); }
  void Node(const std::string& library, const std::string& value) {
    install_.AddRunningNode(library, value);
  }
  Rows Nodes(const std::string& library) { return install_.RunningNodes(library); }
};

TEST_F(NodeCleanupTest, ClearsThisComputersRowsInEachLibraryAndKeepsOthers) {
  for (const char* library : {"DEMO", "ARCHIVE"}) {
    Node(library, "PC-ONE:CLIENTS");
    Node(library, "pc-one:CLIENT MATTERS");
    Node(library, "PC-TWO:CLIENTS");
  }
  ASSERT_TRUE(connection().ConnectLibrary("ARCHIVE"));
  rules::RunningNodes nodes(context(), connection(), "PC-ONE");
  const std::vector<std::string> cleared =
      ClearComputerNodes(context(), connection(), nodes, {"DEMO", "NOWHERE", "ARCHIVE"});
  EXPECT_EQ(cleared, (std::vector<std::string>{"DEMO", "ARCHIVE"}));
  EXPECT_EQ(Nodes("DEMO"), (Rows{{"PC-TWO:CLIENTS"}}));
  EXPECT_EQ(Nodes("ARCHIVE"), (Rows{{"PC-TWO:CLIENTS"}}));
  EXPECT_EQ(connection().LibraryName(), "ARCHIVE");
}

}  // namespace
}  // namespace sproutsmith::tools
