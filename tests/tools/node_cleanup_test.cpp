#include "tools/node_cleanup.h"

#include <gtest/gtest.h>

#include "tools_session.h"

namespace sproutsmith::tools {
namespace {

class NodeCleanupTest : public ToolsSession {
 protected:
  void SetUp() override { StartLibraries(); }
  void Node(const std::string& library, const std::string& value) {
    Exec(library,
         "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) VALUES "
         "('ARBORLINE', 'SPROUTSMITH', 'RUNNING_NODES', '" +
             value + "', '2020-11-14 09:00:00')");
  }
  Rows Nodes(const std::string& library) {
    return Query(library,
                 "SELECT CHAR_VAL FROM QUIL_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES' ORDER BY "
                 "CHAR_VAL");
  }
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
