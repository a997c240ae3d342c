// The client configuration file, the demo installation (as library files, or as databases
// of a PostgreSQL server), and libraries that cannot be reached.

#include <filesystem>

#include "platform/dmapi/demo_installation.h"
#include "standin_fixture.h"
#include "support/postgres_server.h"
#include "support/status_assertions.h"

namespace sproutsmith::dmapi {
namespace {

namespace fs = std::filesystem;

constexpr char kGood[] =
    "# a comment\n"
    "; another\n"
    "[client]\n"
    "user = jsmith\n"
    "current_library = archive\n"
    "\n"
    "[Library demo]\n"
    "description = The demo  \n"
    "BACKEND = SQLite\n"
    "database = libs/demo.db\n"
    "engine = 0\n"
    "Busy_Wait = 0\n"
    "page_cache = 64\n"
    "\t[library ARCHIVE]\r\n"
    "database = /data/archive.db\n"
    "owner = ARCH\n"
    "engine = 2\n"
    "[library LAW]\n"
    "backend = PostgreSQL\n"
    "connection = host=/run/pg dbname=law\n";

// The client's user and current library, then one line per library.
std::vector<std::string> Describe(const InstallationConfig& config) {
  std::vector<std::string> lines = {config.user_id + " @" + config.current_library};
  for (const LibraryConfig& l : config.libraries) {
    lines.push_back(l.name + "|" + l.description + "|" + l.backend + "|" + l.database_path + "|" +
                    l.connection + "|" + l.owner + "|" + std::to_string(l.engine_code) + "|" +
                    std::to_string(l.busy_wait_seconds) + "|" + std::to_string(l.page_cache_mb));
  }
  return lines;
}

TEST(InstallationConfigTest, ReadsClientAndLibrariesAndWritesThemBack) {
  InstallationConfig config;
  ASSERT_TRUE(testing::Ok(ParseInstallationConfig(kGood, "/etc/dm/dm.conf", &config)));
  // Relative paths are the configuration's folder's; defaults fill what is not given.
  EXPECT_EQ(Describe(config),
            (std::vector<std::string>{
                "jsmith @ARCHIVE", "DEMO|The demo|sqlite|/etc/dm/libs/demo.db||DOCSADM|0|0|64",
                "ARCHIVE||sqlite|/data/archive.db||ARCH|2|5|256",
                "LAW||postgresql||host=/run/pg dbname=law|DOCSADM|10|5|256"}));
  EXPECT_EQ(config.Find("archive"), 1);
  EXPECT_EQ(config.Find("OTHER"), -1);
  EXPECT_EQ(LibraryLocation(config.libraries[2]), "database host=/run/pg dbname=law");

  // Written out and read back, it is the same installation.
  InstallationConfig again;
  ASSERT_TRUE(testing::Ok(ParseInstallationConfig(FormatInstallationConfig(config, "/etc/dm"),
                                                  "/etc/dm/dm.conf", &again)));
  EXPECT_EQ(Describe(again), Describe(config));
}

TEST(InstallationConfigTest, ProblemsAreReportedAsFileLineMessage) {
  const std::string head = "[client]\nuser = U\n";
  const std::string lib = "[library L]\ndatabase = l.db\n";
  // Line 5, after a client and a library.
  const std::pair<std::string, std::string> line5[] = {
      {"backend = foo", "unknown back end 'foo'"},
      {"engine = ten", "engine code 'ten' is not a whole number of 0 or more"},
      {"engine = -2", "engine code '-2' is not a whole number of 0 or more"},
      {"busy_wait = 2.5", "busy wait '2.5' is not a whole number of seconds, 0 or more"},
      {"busy_wait = -1", "busy wait '-1' is not a whole number of seconds, 0 or more"},
      {"page_cache = 0", "page cache '0' is not a whole number of megabytes, 1 to 65536"},
      {"page_cache = lots", "page cache 'lots' is not a whole number of megabytes, 1 to 65536"},
      {"colour = red", "unknown key 'colour' in [library L]"},
      {"just words", "expected \"key = value\", a [section] or a comment"},
      {"[library L", "section header without closing \"]\""},
      {"[server]", "unknown section [server]"},
      {"[library l]\ndatabase = x", "duplicate library 'L' (first defined on line 3)"},
      {"database = m.db", "duplicate key 'database' (first set on line 4)"},
      {"[library A B]", "invalid library name 'A B' (letters, digits, '_' and '-' only)"},
      {"[client]", "duplicate [client] section (first on line 1)"},
  };
  std::vector<std::pair<std::string, std::string>> cases = {
      {head + "shoe = 9\n" + lib, "dm.conf:3: unknown key 'shoe' in [client]"},
      {"user = U\n", "dm.conf:1: key 'user' outside a section"},
      {head + "[library L]\nowner = X\n", "dm.conf:3: library 'L' has no database"},
      {head + "[library L]\nbackend = postgresql\n", "dm.conf:3: library 'L' has no connection"},
      {head + "[library L]\nbackend = postgresql\nconnection =\n", "dm.conf:5: empty connection"},
      {head + "current_library = M\n" + lib, "dm.conf:3: current library 'M' is not defined"},
      {"[client]\n" + lib, "dm.conf:1: [client] sets no user"},
      {lib, "dm.conf: missing [client] section"},
      {head, "dm.conf: no [library NAME] section"},
  };
  for (const auto& [text, message] : line5) {
    cases.push_back({head + lib + text + "\n", "dm.conf:5: " + message});
  }
  for (const auto& [text, message] : cases) {
    InstallationConfig config;
    EXPECT_EQ(ParseInstallationConfig(text, "dm.conf", &config).text, message) << text;
  }
}

TEST(InstallationConfigTest, AMissingOrBadFileIsNamedInTheError) {
  testing::TempDir dir;
  std::string error;
  EXPECT_EQ(OpenInstallation(dir.File("absent.conf"), &error), nullptr);
  EXPECT_EQ(error, dir.File("absent.conf") + ": no such file");
  testing::WriteFile(dir.File("bad.conf"), "[client]\nuser = U\n[library L]\nbackend = foo\n");
  EXPECT_EQ(OpenInstallation(dir.File("bad.conf"), &error), nullptr);
  EXPECT_EQ(error, dir.File("bad.conf") + ":4: unknown back end 'foo'");
}

TEST(DemoInstallationTest, CreatedFromNothingAndNeverWrittenOver) {
  testing::TempDir dir;
  const std::string folder = dir.File("fresh/sub");
  DemoOptions options;
  options.data.clients = 4;
  DemoInstallation demo;
  ASSERT_TRUE(testing::Ok(CreateDemoInstallation(folder, options, &demo)));
  EXPECT_EQ(demo.config_path, fs::path(folder) / "dm.conf");
  // Its libraries are named relative to it.
  EXPECT_NE(testing::ReadFile(demo.config_path).find("database = archive.db"), std::string::npos);
  // A second run never writes over it.
  EXPECT_EQ(CreateDemoInstallation(folder, options, nullptr).text,
            demo.config_path + ": already exists; the demo installation is not written over it");
}

// On a PostgreSQL server the demo's libraries are databases of their own.
TEST(DemoInstallationTest, InitDemoCreatesTheLibrariesAsDatabasesOfAServer) {
  Status status;
  testing::PostgresServer* server = testing::PostgresServer::Get(&status);
  ASSERT_NE(server, nullptr) << status.text;
  testing::TempDir dir;
  const std::string dm = dir.File("dm");
  const std::string server_connection = server->ServerConnection();
  const std::vector<std::string> init = {"init-demo",       "--dir",      dm,
                                         "--backend",       "postgresql", "--server",
                                         server_connection, "--prefix",   "initdemo"};
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
  for (const auto& [library, query] :
       {std::pair(
            "DEMO",
            "SELECT TOP 1 CLIENT_ID FROM DOCSADM.CLIENT WHERE CLIENT_ID LIKE 'c[0]%' ORDER BY 1"),
        std::pair("ARCHIVE",
                  "SELECT CLIENT_ID FROM DOCSADM.CLIENT WHERE ROWNUM <= 1 ORDER BY 1")}) {
    std::unique_ptr<SqlObject> sql = AttachedSql(*client, *app, library);
    ASSERT_EQ(sql->Execute(query), 0) << sql->ErrDescription();
    EXPECT_EQ(sql->ColumnName(1), "CLIENT_ID");
    EXPECT_EQ(sql->ColumnValue(1).text, "C0001") << library;
  }
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

TEST_F(StandinTest, AMissingOrForeignLibraryFileFailsItsConnectionCleanly) {
  fs::remove(File("LIB2"));
  sql::SqliteDatabase::Open(dir.File("other.db"), true)
      ->Execute("CREATE TABLE NOTES (TEXT VARCHAR(10))");
  LibraryConfig foreign = config.libraries[0];
  foreign.name = "FOREIGN";
  foreign.database_path = dir.File("other.db");
  config.libraries.push_back(foreign);
  Reopen();

  std::unique_ptr<SqlObject> sql = client->CreateSqlObject();
  sql->AttachToken(app->LoginToken());
  EXPECT_NE(sql->AttachLibrary("LIB2"), 0);
  EXPECT_EQ(sql->ErrDescription(),
            "[Sproutsmith][DM] Library 'LIB2' cannot be reached: database file " + File("LIB2") +
                " does not exist");
  EXPECT_NE(sql->Execute("SELECT 1"), 0);  // nothing attached
  EXPECT_NE(sql->AttachLibrary("FOREIGN"), 0);
  EXPECT_EQ(sql->ErrDescription(),
            "[Sproutsmith][DM] Library 'FOREIGN' cannot be reached: database file " +
                dir.File("other.db") + " does not hold a DM library");
  EXPECT_FALSE(fs::exists(File("LIB2")));  // nothing was created in its place

  // The library object reports a failed login; the other library still works.
  EXPECT_EQ(app->PointAtLibrary("LIB2")->UserId(), "");
  EXPECT_EQ(session->NewFolder(), nullptr);
  EXPECT_FALSE(session->LogOn());
  EXPECT_EQ(app->PointAtLibrary("LIB1")->UserId(), "DMADMIN");
  EXPECT_EQ(sql->AttachLibrary("LIB1"), 0);
  EXPECT_NE(MakeFolder("Still works"), 0);
}

TEST_F(StandinTest, LibraryListChooserAndPointing) {
  std::shared_ptr<LibraryList> libs = app->Libraries();
  ASSERT_EQ(libs->Count(), 2);
  EXPECT_EQ(libs->Name(0) + "|" + libs->Name(1) + "|" + libs->Item(2)->Name(), "|LIB1|LIB2");
  EXPECT_EQ(libs->Item(3), nullptr);
  EXPECT_TRUE(libs->SearchFlag(2));
  libs->SetSearchFlag(2, false);
  EXPECT_FALSE(app->Libraries()->SearchFlag(2));  // the client remembers it

  EXPECT_EQ(app->PointAtLibrary("NOWHERE"), nullptr);  // the current library stays
  EXPECT_EQ(app->CurrentLibrary()->Name(), "LIB1");
  EXPECT_EQ(app->PointAtLibrary("lib2")->Name(), "LIB2");
  EXPECT_EQ(app->CurrentLibrary()->Name(), "LIB2");

  EXPECT_EQ(app->ChooseLibrary(), nullptr);  // no dialog owner: cancelled
  app->SetLibraryChooser([](const std::vector<std::string>&) { return std::string(); });
  EXPECT_EQ(app->ChooseLibrary(), nullptr);
}

}  // namespace
}  // namespace sproutsmith::dmapi
