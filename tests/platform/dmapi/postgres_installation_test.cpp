// Installations whose libraries live on a PostgreSQL server: the configuration names each
// library's database, the demo installation creates them, and the client works on them as
// on library files.

#include <gtest/gtest.h>

#include "platform/dmapi/installation.h"
#include "standin_fixture.h"
#include "support/postgres_server.h"
#include "support/status_assertions.h"

namespace sproutsmith::dmapi {
namespace {

TEST(PostgresInstallationTest, TheConfigurationNamesAConnectionInsteadOfAFile) {
  const std::string text =
      "[client]\nuser = DMADMIN\n[library LAW]\nbackend = PostgreSQL\n"
      "connection = host=/run/pg dbname=law\nowner = LAWADM\n";
  InstallationConfig config;
  ASSERT_TRUE(testing::Ok(ParseInstallationConfig(text, "/etc/dm.conf", &config)));
  ASSERT_EQ(config.libraries.size(), 1u);
  EXPECT_EQ(config.libraries[0].backend, "postgresql");
  EXPECT_EQ(config.libraries[0].connection, "host=/run/pg dbname=law");
  EXPECT_EQ(LibraryLocation(config.libraries[0]), "database host=/run/pg dbname=law");
  // Written back, it reads the same.
  InstallationConfig again;
  ASSERT_TRUE(testing::Ok(
      ParseInstallationConfig(FormatInstallationConfig(config, "/etc"), "/etc/dm.conf", &again)));
  EXPECT_EQ(again.libraries[0].connection, config.libraries[0].connection);

  const struct {
    const char* text;
    const char* error;
  } refused[] = {
      {"[client]\nuser = U\n[library LAW]\nbackend = postgresql\n",
       "/etc/dm.conf:3: library 'LAW' has no connection"},
      {"[client]\nuser = U\n[library LAW]\nbackend = oracle\n",
       "/etc/dm.conf:4: unknown back end 'oracle'"},
      {"[client]\nuser = U\n[library LAW]\nbackend = postgresql\nconnection =\n",
       "/etc/dm.conf:5: empty connection"},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(ParseInstallationConfig(c.text, "/etc/dm.conf", &config).text, c.error) << c.text;
  }
}

TEST(PostgresInstallationTest, InitDemoCreatesTheLibrariesAsDatabasesOfTheServer) {
  Status status;
  testing::PostgresServer* server = testing::PostgresServer::Get(&status);
  ASSERT_NE(server, nullptr) << status.text;
  testing::TempDir dir;
  const std::vector<std::string> init = {"init-demo",
                                         "--dir",
                                         dir.File("dm"),
                                         "--backend",
                                         "postgresql",
                                         "--server",
                                         server->ServerConnection(),
                                         "--prefix",
                                         "initdemo"};
  const ToolRun r = RunTool(init);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("library  " + server->ConnectionString("initdemo_demo")), std::string::npos)
      << r.out;
  const std::string config_path = dir.File("dm/dm.conf");
  EXPECT_NE(testing::ReadFile(config_path)
                .find("backend = postgresql\nconnection = " +
                      server->ConnectionString("initdemo_archive")),
            std::string::npos);

  // The client reaches both, in their flavours.
  std::string error;
  std::unique_ptr<Client> client = OpenInstallation(config_path, &error);
  ASSERT_NE(client, nullptr) << error;
  std::unique_ptr<Application> app = client->CreateApplication();
  EXPECT_TRUE(client->CreateSession()->LogOn());
  const struct {
    const char* library;
    const char* sql;
  } queries[] = {
      {"DEMO",
       "SELECT TOP 1 CLIENT_ID FROM DOCSADM.CLIENT WHERE CLIENT_ID LIKE 'c[0]%' ORDER BY 1"},
      {"ARCHIVE", "SELECT CLIENT_ID FROM DOCSADM.CLIENT WHERE ROWNUM <= 1 ORDER BY 1"},
  };
  for (const auto& q : queries) {
    std::unique_ptr<SqlObject> sql = client->CreateSqlObject();
    sql->AttachToken(app->LoginToken());
    ASSERT_EQ(sql->AttachLibrary(q.library), 0) << sql->ErrDescription();
    ASSERT_EQ(sql->Execute(q.sql), 0) << sql->ErrDescription();
    EXPECT_EQ(sql->ColumnName(1), "CLIENT_ID");
    EXPECT_EQ(sql->ColumnValue(1).text, "C0001") << q.library;
  }
  os::FixedEnvironment env;
  env.variables["SPROUTSMITH_DM"] = config_path;
  const ToolRun listed =
      RunTool({"sql", "DEMO", "SELECT COUNT(*) FROM [OWNER].REMOTE_LIBRARIES"}, env);
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("\n2\n"), std::string::npos) << listed.out;

  // A second run finds the databases and writes nothing over them.
  testing::TempDir other;
  std::vector<std::string> again = init;
  again[2] = other.File("dm");
  const ToolRun refused = RunTool(again);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("database initdemo_demo cannot be created: "), std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("already exists"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace sproutsmith::dmapi
