// A library made from nothing with sproutsmith-dm provision and generate, in a SQLite file and
// in a database of a PostgreSQL server, then worked on by the real program's unattended cycle:
// both back ends end with the same folders.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/program_process.h"
#include "platform/dmapi/dm_tool.h"
#include "platform/os/environment.h"
#include "support/postgres_server.h"
#include "support/status_assertions.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {
namespace {

struct ToolRun {
  int status = 0;
  std::string out;
  std::string err;
};

ToolRun Dm(const std::vector<std::string>& args, const std::string& config = "") {
  os::FixedEnvironment env;
  if (!config.empty()) env.variables["SPROUTSMITH_DM"] = config;
  std::ostringstream out, err;
  const int status = dmapi::RunDmTool(args, out, err, env);
  return {status, out.str(), err.str()};
}

TEST(GeneratedLibraryTest, ACycleBuildsTheSameFoldersOnSqliteAndPostgresql) {
  Status status;
  testing::PostgresServer* server = testing::PostgresServer::Get(&status);
  ASSERT_NE(server, nullptr) << status.text;
  testing::TempDir dir;
  const std::vector<std::string> pg = {"--backend", "postgresql", "--server",
                                       server->ServerConnection()};
  struct BackEnd {
    std::string name;
    std::string target;                // the file, or the database
    std::vector<std::string> options;  // where the target is
    std::string location;              // the configuration's line for it
  };
  const std::vector<BackEnd> back_ends = {
      {"sqlite", dir.File("gen.db"), {}, "database = " + dir.File("gen.db")},
      {"postgresql", "generated_lib", pg,
       "connection = " + server->ConnectionString("generated_lib")}};
  std::vector<std::string> trees;
  for (const BackEnd& b : back_ends) {
    SCOPED_TRACE(b.name);
    std::vector<std::string> provision = {"provision", b.target,  "--name",
                                          "gen",       "--owner", "GENADM"};
    provision.insert(provision.end(), b.options.begin(), b.options.end());
    ToolRun r = Dm(provision);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string where = b.options.empty() ? b.target : server->ConnectionString(b.target);
    EXPECT_EQ(r.out, "Library GEN provisioned in " + where + "\n");
    // A second provision finds the library and leaves it alone.
    r = Dm(provision);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(testing::Contains(r.err, "already holds a DM library"));

    std::vector<std::string> generate = {"generate", b.target, "--clients", "7",       "--matters",
                                         "2",        "--docs", "1",         "--owner", "GENADM"};
    generate.insert(generate.end(), b.options.begin(), b.options.end());
    r = Dm(generate);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Test data written to " + where + "\n");

    const std::string home = dir.File(b.name);
    const std::string config = home + "/dm.conf";
    std::filesystem::create_directories(home);
    std::ofstream(config) << "[client]\nuser = DMADMIN\ncurrent_library = GEN\n[library GEN]\n"
                          << "backend = " << b.name << "\n"
                          << b.location << "\nowner = GENADM\n";
    EXPECT_EQ(RunProgram("PC1", config, home, {"/G", "/X"}), 0)
        << testing::ReadFile(home + "/stderr.txt");
    r = Dm({"tree", "GEN"}, config);
    ASSERT_EQ(r.status, 0) << r.err;
    trees.push_back(r.out);
  }
  // Seven clients under each rule's top folder, two matters under each client.
  EXPECT_TRUE(testing::Contains(trees[0], "\n  C0007 #"));
  EXPECT_TRUE(testing::Contains(trees[0], "\n    0002 #"));
  EXPECT_EQ(trees[1], trees[0]);

  // The schema of another owner holds no library.
  const ToolRun wrong = Dm({"generate", "generated_lib", "--backend", "postgresql", "--server",
                            server->ServerConnection(), "--owner", "NOBODY"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.err, "sproutsmith-dm: " + server->ConnectionString("generated_lib") +
                           ": not a DM library in schema NOBODY (run provision first)\n");
}

}  // namespace
}  // namespace sproutsmith::app
