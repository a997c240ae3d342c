// The DM client: its configuration file, the demo installation (as library files, or as
// databases of a PostgreSQL server), libraries that cannot be reached, profile values and
// rights, the SQL pass-through object, and the sproutsmith-dm tool.

#include <filesystem>
#include <functional>
#include <tuple>

#include "platform/dmapi/demo_installation.h"
#include "platform/dmapi/dm_tool.h"
#include "platform/dmapi/local/reference_rows.h"
#include "standin_fixture.h"
#include "support/postgres_server.h"
#include "support/status_assertions.h"
#include "text/text.h"

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

// Profile columns: what SetValue accepts and stores, what it refuses, user defaults, the
// rights the library grants, and the reference rows behind them that the client keeps.
using ProfileValuesTest = StandinTest;

TEST_F(ProfileValuesTest, RefusedValuesLeaveTheColumnAsItWas) {
  // Two matters sharing a non-numeric number make a text lookup ambiguous.
  Exec("LIB1", "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID) VALUES (900001, 1, 'DUP')");
  Exec("LIB1", "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID) VALUES (900002, 2, 'DUP')");
  // (column, value, code)
  const std::vector<std::tuple<const char*, std::string, long>> cases = {
      {"DOCNAME", std::string(241, 'x'), kErrValueTooLong},
      {"AUTHOR_ID", std::string(65, 'A'), kErrValueTooLong},
      {"RETENTION", "ten", kErrNotNumeric},
      {"RETENTION", "12abc", kErrNotNumeric},
      {"AUTHOR_ID", "NOBODY", kErrUnknownLookup},
      {"TYPE_ID", "NOTATYPE", kErrUnknownLookup},
      {"MATTER", "999999999", kErrUnknownLookup},  // a number is a SYSTEM_ID
      {"MATTER", "DUP", kErrUnknownLookup},        // ambiguous
      {"NO_SUCH_COLUMN", "x", kErrNoSuchColumn},
      {"DOCNUM", "5", kErrReadOnly},
      {"APP_ID", "MS WORD", kErrReadOnly},  // a folder stays a folder
  };
  std::unique_ptr<FolderObject> folder = session->NewFolder();
  std::unique_ptr<ProfileObject> profile = folder->Profile();
  ASSERT_TRUE(profile->SetValue("DOCNAME", "Kept").ok());
  ASSERT_TRUE(profile->SetValue("AUTHOR_ID", "DMADMIN").ok());
  ASSERT_TRUE(profile->SetValue("RETENTION", "7").ok());
  for (const auto& [column, value, code] : cases) {
    const std::string before = profile->Value(column);
    const Status status = profile->SetValue(column, value);
    EXPECT_EQ(status.code, code) << column << " = " << value << ": " << status.text;
    EXPECT_FALSE(status.text.empty()) << column;
    EXPECT_EQ(profile->Value(column), before) << column;
  }
  EXPECT_TRUE(profile->SetNull("DOCNUM").ok());  // empty before the first save
  const SaveResult saved = profile->Save();
  ASSERT_TRUE(saved.status.ok()) << saved.status.text;
  EXPECT_EQ(profile->SetNull("DOCNUM").code, kErrReadOnly);
  EXPECT_EQ(profile->Value("DOCNUM"), std::to_string(saved.document_number));
  EXPECT_EQ(Query("LIB1", "SELECT DOCNAME, RETENTION FROM PROFILE WHERE DOCNUMBER = " +
                              std::to_string(saved.document_number)),
            (Rows{{"Kept", "7"}}));
}

TEST_F(ProfileValuesTest, AcceptedValuesAreStoredAsTheLibraryKeepsThemInTheFormsColumns) {
  const std::string matter = Scalar("LIB1", "SELECT MIN(SYSTEM_ID) FROM MATTER");
  Exec("LIB1", "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID) VALUES (900003, 1, 'M-X')");
  std::unique_ptr<FolderObject> folder = session->NewFolder();
  std::unique_ptr<ProfileObject> profile = folder->Profile();
  std::string accented;
  for (int i = 0; i < 240; ++i) accented += "\xC3\xA9";  // 240 characters, 480 bytes
  ASSERT_TRUE(profile->SetValue("DOCNAME", accented).ok());
  ASSERT_TRUE(profile->SetValue("AUTHOR_ID", "dmadmin").ok());
  EXPECT_EQ(profile->Value("AUTHOR_ID"), "DMADMIN");  // as the library spells it
  ASSERT_TRUE(profile->SetValue("MATTER", matter).ok());
  EXPECT_EQ(profile->Value("MATTER"), matter);
  ASSERT_TRUE(profile->SetValue("RETENTION", " 30 ").ok());
  const SaveResult first = profile->Save();
  ASSERT_TRUE(first.status.ok()) << first.status.text;
  EXPECT_EQ(Query("LIB1",
                  "SELECT LENGTH(DOCNAME), AUTHOR, MATTER, RETENTION FROM PROFILE "
                  "WHERE DOCNUMBER = " +
                      std::to_string(first.document_number)),
            (Rows{{"240", PeopleId("DMADMIN"), matter, "30"}}));

  // A matter named by its (unique) number text is looked up; setting Null clears it.
  ASSERT_TRUE(profile->SetValue("MATTER", "M-X").ok());
  EXPECT_EQ(profile->Value("MATTER"), "900003");
  ASSERT_TRUE(profile->SetNull("RETENTION").ok());
  ASSERT_TRUE(profile->Save().status.ok());
  EXPECT_EQ(Query("LIB1", "SELECT MATTER, RETENTION FROM PROFILE WHERE DOCNUMBER = " +
                              std::to_string(first.document_number)),
            (Rows{{"900003", "NULL"}}));
}

TEST_F(ProfileValuesTest, ProfileDefaultsOfAUserAndForm) {
  Exec("LIB1",
       "INSERT INTO STANDIN_PROFILE_DEFAULTS (USER_ID, FORM_NAME, COLUMN_NAME, DEFAULT_VALUE) "
       "VALUES ('DMADMIN', 'FOLDER_PROF', 'TYPE_ID', 'FOLDER'), "
       "('DMADMIN', 'FOLDER_PROF', 'RETENTION', '30'), ('DMADMIN', 'DEFPROF', 'RETENTION', '5'), "
       "('OTHER', 'FOLDER_PROF', 'RETENTION', '1')");
  // "COLUMN=value;" per default, or "<none>" when the question failed.
  auto defaults = [this](const std::string& user) {
    const auto read = session->ProfileDefaults(user, "folder_prof");
    std::string out = read ? "" : "<none>";
    for (const ColumnDefault& d : read.value_or(std::vector<ColumnDefault>{}))
      out += d.column + "=" + d.value + ";";
    return out;
  };
  EXPECT_EQ(defaults("dmadmin"), "RETENTION=30;TYPE_ID=FOLDER;");
  EXPECT_EQ(defaults("NOBODY"), "");
  // Defaults come from the current library.
  app->PointAtLibrary("LIB2");
  EXPECT_EQ(defaults("DMADMIN"), "");
}

TEST_F(ProfileValuesTest, LibraryRightsComeFromTheRightsTableUnlessTheUserIsASupervisor) {
  std::shared_ptr<Library> lib = app->CurrentLibrary();
  EXPECT_EQ(lib->PrimaryGroupId(), "DOCS_SUPERVISORS");
  for (const char* right : {kRightCreateFolder, kRightManageRootFolders, kRightSaveToRemoteLibrary,
                            "User.AnythingAtAll"}) {
    EXPECT_TRUE(lib->HasRight(right)) << right;
  }

  AddPlainUser("PLAIN", 800001);
  Exec("LIB1",
       "INSERT INTO STANDIN_RIGHTS (USER_ID, RIGHT_NAME, ALLOWED) VALUES "
       "('PLAIN', 'User.CreateFolder', 1), ('PLAIN', 'User.ManageRootFolders', 0)");
  Reopen("plain");
  lib = app->CurrentLibrary();
  EXPECT_EQ(lib->UserId(), "PLAIN");
  EXPECT_EQ(lib->PrimaryGroupId(), "DOCS_USERS");
  EXPECT_TRUE(lib->HasRight(kRightCreateFolder));
  EXPECT_FALSE(lib->HasRight(kRightManageRootFolders));
  EXPECT_FALSE(lib->HasRight(kRightSaveToRemoteLibrary));  // no row
  // The user is unknown in LIB2: its login fails there.
  EXPECT_EQ(app->PointAtLibrary("LIB2")->UserId(), "");
  EXPECT_FALSE(app->Libraries()->Item(2)->HasRight(kRightCreateFolder));

  // Membership of DOCS_SUPERVISORS (not only as primary group) grants everything.
  Exec("LIB1",
       "INSERT INTO PEOPLEGROUPS (PEOPLE_SYSTEM_ID, GROUPS_SYSTEM_ID) SELECT 800001, "
       "SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_SUPERVISORS'");
  EXPECT_TRUE(app->Libraries()->Item(1)->HasRight(kRightManageRootFolders));
}

TEST_F(ProfileValuesTest, EffectiveRightsFollowTrusteesOfASecuredProfile) {
  AddPlainUser("PLAIN", 800001);
  const long long n = MakeFolder("Secured");
  const std::string number = std::to_string(n);
  const std::string thing =
      Scalar("LIB1", "SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = " + number);
  std::unique_ptr<ProfileObject> profile = session->OpenProfile(n, "LIB1");
  EXPECT_EQ(profile->RightsValue("$DEFAULT_RIGHTS"), 0);
  EXPECT_EQ(profile->RightsValue("$SOMETHING_ELSE"), std::nullopt);
  EXPECT_TRUE(profile->RightsFor("PLAIN")->can_change);  // not secured
  EXPECT_EQ(profile->RightsFor("NOBODY"), std::nullopt);

  Exec("LIB1", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = " + number);
  EXPECT_EQ(profile->RightsValue("$DEFAULT_RIGHTS"), 1);
  EXPECT_FALSE(profile->RightsFor("PLAIN")->can_change);   // no trustee row
  EXPECT_TRUE(profile->RightsFor("DMADMIN")->can_change);  // supervisor

  const std::string trustee = "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (";
  Exec("LIB1", trustee + thing + ", 0, 63)");
  EXPECT_TRUE(profile->RightsFor("PLAIN")->can_change);  // through DOCS_USERS
  EXPECT_EQ(profile->RightsFor("PLAIN")->access, 63);
  Exec("LIB1", trustee + thing + ", 800001, 16711680)");
  EXPECT_FALSE(profile->RightsFor("PLAIN")->can_change);  // denied outright
}

// The reference rows a client keeps: what the client itself writes through SQL shows at once,
// what another program writes shows from the next moment at which the client forgets them
// (a search flag set, a log-on) and not at a switch of library.
class ReferenceRowsTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    std::unique_ptr<FolderObject> made = session->NewFolder();
    made->SetName("Typed");
    std::unique_ptr<ProfileObject> profile = made->Profile();
    ASSERT_TRUE(profile->SetValue("TYPE_ID", "FOLDER").ok());
    const SaveResult saved = profile->Save();
    ASSERT_TRUE(saved.status.ok()) << saved.status.text;
    folder = saved.document_number;
    type = Scalar("LIB1",
                  "SELECT DOCUMENTTYPE FROM PROFILE WHERE DOCNUMBER = " + std::to_string(folder));
    sql = Attached("LIB1");
  }

  std::string Shown(const std::string& column) {
    std::unique_ptr<ProfileObject> profile = session->OpenProfile(folder, "LIB1");
    return profile ? profile->Value(column) : "<no profile>";
  }
  bool HasColumn(const std::string& name) {
    std::unique_ptr<ProfileObject> profile = session->OpenProfile(folder, "LIB1");
    for (int i = 1; profile && i <= profile->ColumnCount(); ++i) {
      if (profile->Column(i).name == name) return true;
    }
    return false;
  }

  long long folder = 0;
  std::string type;
  std::unique_ptr<SqlObject> sql;
};

struct KeptRows {
  const char* name;
  // The statement of the i-th change, and whether the client's answers show it.
  std::function<std::string(int)> change;
  std::function<bool(int)> sees;
};

struct Moment {
  const char* name;
  std::function<void()> run;
};

TEST_F(ReferenceRowsTest, OwnWritesShowAtOnceOthersFromTheNextMomentOfForgetting) {
  const KeptRows kKept[] = {
      {"people by user id",
       [](int i) {
         return "UPDATE PEOPLE SET FULL_NAME = 'Admin " + std::to_string(i) +
                "' WHERE USER_ID = 'DMADMIN'";
       },
       [this](int i) {
         std::unique_ptr<User> user = session->FindUser("DMADMIN");
         return user && user->Name() == "Admin " + std::to_string(i);
       }},
      {"lookup rows behind a profile column",
       [this](int i) {
         return "UPDATE DOCUMENTTYPES SET TYPE_ID = 'TYPE" + std::to_string(i) +
                "' WHERE SYSTEM_ID = " + type;
       },
       [this](int i) { return Shown("TYPE_ID") == "TYPE" + std::to_string(i); }},
      {"form columns",
       [](int i) {
         return "INSERT INTO STANDIN_FORM_COLUMNS (FORM_NAME, COLUMN_NAME, SQL_COLUMN, DATA_TYPE, "
                "ATTR1, ATTR2, MAX_LENGTH, LOOKUP_TABLE, LOOKUP_COLUMN) VALUES ('FOLDER_PROF', "
                "'EXTRA" +
                std::to_string(i) + "', 'PATH', 0, 0, 0, 255, '', '')";
       },
       [this](int i) { return HasColumn("EXTRA" + std::to_string(i)); }},
      {"the FOLDER application's id",
       [](int i) {
         return "UPDATE APPS SET SYSTEM_ID = " + std::to_string(900000 + i) +
                " WHERE APPLICATION = 'FOLDER'";
       },
       [this](int i) {
         const long long made = MakeFolder("Application " + std::to_string(i));
         return Scalar("LIB1", "SELECT APPLICATION FROM PROFILE WHERE DOCNUMBER = " +
                                   std::to_string(made)) == std::to_string(900000 + i);
       }},
  };
  const Moment kMoments[] = {
      {"a search flag is set", [this] { app->Libraries()->SetSearchFlag(1, true); }},
      {"the user logs on", [this] { ASSERT_TRUE(session->LogOn()); }},
  };
  int i = 0;
  for (const KeptRows& kept : kKept) {
    SCOPED_TRACE(kept.name);
    for (const Moment& moment : kMoments) {
      SCOPED_TRACE(moment.name);
      ++i;
      ASSERT_FALSE(kept.sees(i));  // read and kept
      Exec("LIB1", kept.change(i));
      // Switching libraries, as the engine does for every folder of some rules, is no moment.
      ASSERT_NE(app->PointAtLibrary("LIB1"), nullptr);
      ASSERT_EQ(sql->AttachLibrary("LIB1"), 0) << sql->ErrDescription();
      EXPECT_FALSE(kept.sees(i)) << "another program's change showed before the moment";
      moment.run();
      EXPECT_TRUE(kept.sees(i)) << "not read again after the moment";
    }
    ++i;
    ASSERT_FALSE(kept.sees(i));
    ASSERT_EQ(sql->Execute(kept.change(i)), 0) << sql->ErrDescription();
    EXPECT_TRUE(kept.sees(i)) << "the client's own change did not show at once";
  }
}

TEST(MayWriteReferenceRowsTest, WritesToAKeptTableCountReadsOfOneDoNot) {
  // (statement, writes)
  const std::pair<const char*, bool> kCases[] = {
      {"SELECT * FROM PEOPLE", false},
      {"UPDATE PEOPLE SET FULL_NAME = 'X'", true},
      {"update docsadm.people set full_name = 'x'", true},
      {"UPDATE \"DOCSADM\".\"FORMS\" SET FORM_NAME = 'X'", true},
      {"UPDATE OR IGNORE APPS SET APPLICATION = 'F'", true},
      {"DELETE FROM \"DOCUMENTTYPES\" WHERE 1 = 0", true},
      {"DELETE REMOTE_LIBRARIES WHERE SYSTEM_ID = 1", true},
      {"UPDATE ONLY people SET FULL_NAME = 'X'", true},
      {"TRUNCATE TABLE DOCUMENTTYPES", true},
      {"INSERT INTO STANDIN_FORM_COLUMNS SELECT * FROM X", true},
      {"INSERT OR REPLACE INTO DOCSADM.PEOPLE (USER_ID) VALUES ('X')", true},
      {"DROP TABLE FORMS", true},
      {"WITH X AS (SELECT 1) UPDATE PEOPLE SET FULL_NAME = 'X'", true},
      {"UPDATE PROFILE SET DOCNAME = 'X'; UPDATE PEOPLE SET FULL_NAME = 'X'", true},
      // Only read: the engine sets a folder's author and metadata so for every folder.
      {"UPDATE PROFILE SET AUTHOR = (SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'X')", false},
      {"INSERT INTO QUIL_SPROUTSMITH (SID) VALUES (1)", false},
  };
  for (const auto& [statement, writes] : kCases) {
    EXPECT_EQ(local::MayWriteReferenceRows(statement), writes) << statement;
  }
}

// The SQL pass-through object: attaching, one result set at a time, errors as values.
using SqlObjectTest = StandinTest;

TEST_F(SqlObjectTest, AttachingNeedsTheLoginTokenAndAReachableLibraryAndTellsItsEngine) {
  std::unique_ptr<SqlObject> sql = client->CreateSqlObject();
  EXPECT_NE(sql->Execute("SELECT 1"), 0);
  EXPECT_EQ(sql->ErrDescription().rfind("[Sproutsmith][DM] ", 0), 0u) << sql->ErrDescription();

  EXPECT_NE(sql->AttachLibrary("LIB1"), 0);  // no token yet
  sql->AttachToken("DST-FORGED");
  EXPECT_NE(sql->AttachLibrary("LIB1"), 0);
  // Another client's login is not this one's.
  sql->AttachToken(OpenInstallation(config)->CreateApplication()->LoginToken());
  EXPECT_NE(sql->AttachLibrary("LIB1"), 0);

  sql->AttachToken(app->LoginToken());
  EXPECT_NE(sql->AttachLibrary("NOWHERE"), 0);
  EXPECT_NE(sql->ErrDescription().find("NOWHERE"), std::string::npos);
  EXPECT_EQ(sql->AttachLibrary("lib2"), 0) << sql->ErrDescription();
  EXPECT_EQ(sql->EngineCode(), 2);
  EXPECT_EQ(sql->AttachLibrary("LIB1"), 0);
  EXPECT_EQ(sql->EngineCode(), 10);

  // A client that cannot tell (engine code 0) reports 0, and the library's own row
  // decides the flavour.
  config.libraries[1].engine_code = 0;
  Reopen();
  std::unique_ptr<SqlObject> unknown = Attached("LIB2");
  EXPECT_EQ(unknown->EngineCode(), 0);
  ASSERT_EQ(unknown->Execute("SELECT USER_ID FROM DOCSADM.PEOPLE WHERE ROWNUM <= 1"), 0)
      << unknown->ErrDescription();
  EXPECT_EQ(unknown->GetRowCount(), 1);
}

// A table named with an empty owner is refused on both flavours, as their servers refuse
// it; the same statement with the owner runs.
TEST_F(SqlObjectTest, AnEmptyOwnerIsRefused) {
  const char* const statements[] = {
      "SELECT COUNT(*) FROM {}PROFILE",
      "SELECT COUNT(*) FROM {}PROFILE P, {}FOLDER F WHERE P.DOCNUMBER = F.DOCNUMBER",
      "DELETE FROM {}QUIL_SETTINGS WHERE 1 = 0",
      "UPDATE {}PROFILE SET DOCNAME = DOCNAME WHERE 1 = 0",
      "INSERT INTO {}QUIL_SETTINGS (INT_VAL) SELECT SYSTEM_ID FROM {}PROFILE WHERE 1 = 0",
  };
  for (const char* library : {"LIB1", "LIB2"}) {
    std::unique_ptr<SqlObject> sql = Attached(library);
    for (const char* statement : statements) {
      SCOPED_TRACE(std::string(library) + ": " + statement);
      EXPECT_NE(sql->Execute(text::Replace(statement, "{}", ".")), 0);
      EXPECT_NE(sql->GetSQLErrorCode(), 0);
      EXPECT_FALSE(sql->ErrDescription().empty());
      EXPECT_EQ(sql->Execute(text::Replace(statement, "{}", "DOCSADM.")), 0)
          << sql->ErrDescription();
    }
  }
}

// "+" gives what the library's server gives, or an error: never a sum of two strings.
TEST_F(SqlObjectTest, PlusConcatenatesOnSqlServerAndOnlyAddsOnOracle) {
  const std::string user = Query("LIB1", "SELECT MIN(USER_ID) FROM PEOPLE")[0][0];
  const std::string labels =
      Query("LIB1",
            "SELECT GROUP_CONCAT(L, '|') FROM (SELECT CLIENT_ID || '-' || CLIENT_NAME AS L "
            "FROM CLIENT ORDER BY CLIENT_ID)")[0][0];
  // (library, statement, expected); expected: "ERROR" when the server refuses it
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"LIB1", "SELECT 'A' + 'B'", "AB"},
      {"LIB1", "SELECT ('A' + ('B' + 'C')) + 'D'", "ABCD"},
      {"LIB1", "SELECT 'A' + NULL", "NULL"},
      {"LIB1", "SELECT COUNT(*) FROM PEOPLE WHERE USER_ID + '' = '" + user + "'", "1"},
      {"LIB1",
       "SELECT GROUP_CONCAT(L, '|') FROM (SELECT C.CLIENT_ID + '-' + C.CLIENT_NAME AS L FROM "
       "DOCSADM.CLIENT C ORDER BY C.CLIENT_ID)",
       labels},
      {"LIB1", "SELECT 1 + 2 * 3 - 4", "3"},
      {"LIB1", "SELECT '1' + 2", "3"},
      {"LIB1", "SELECT COUNT(*) + 1 FROM PEOPLE WHERE USER_ID = '" + user + "'", "2"},
      {"LIB1", "SELECT 'X' + 1", "ERROR"},
      {"LIB2", "SELECT 1 + 2 FROM DUAL", "3"},
      {"LIB2", "SELECT '1' + 2 FROM DUAL", "3"},
      {"LIB2", "SELECT 'A' || 'B' FROM DUAL", "AB"},
      {"LIB2", "SELECT NULL + 1 FROM DUAL", "NULL"},
      {"LIB2", "SELECT 'A' + 'B' FROM DUAL", "ERROR"},
  };
  for (const auto& [library, statement, expected] : cases) {
    SCOPED_TRACE(std::string(library) + ": " + statement);
    std::unique_ptr<SqlObject> sql = Attached(library);
    const int status = sql->Execute(statement);
    if (expected == "ERROR") {
      EXPECT_NE(status, 0);
      EXPECT_FALSE(sql->ErrDescription().empty());
      continue;
    }
    ASSERT_EQ(status, 0) << sql->ErrDescription();
    ASSERT_TRUE(sql->MoveFirst());
    const sql::Value v = sql->ColumnValue(1);
    EXPECT_EQ(v.IsNull() ? "NULL" : v.text, expected);
  }
}

TEST_F(SqlObjectTest, QueryResultIsCountedBeforeItIsReadAndWalkedRowByRow) {
  std::unique_ptr<SqlObject> sql = Attached("LIB1");
  const Rows users = Query("LIB1", "SELECT USER_ID FROM PEOPLE ORDER BY USER_ID");
  ASSERT_GE(users.size(), 3u);

  ASSERT_EQ(
      sql->Execute("SELECT USER_ID, SYSTEM_ID AS \"P.SYSTEM_ID\" FROM PEOPLE ORDER BY USER_ID"), 0)
      << sql->ErrDescription();
  EXPECT_EQ(std::tuple(sql->GetRowCount(), sql->ColumnCount(), sql->ColumnName(1),
                       sql->ColumnName(2), sql->ColumnName(3)),
            std::tuple(static_cast<long long>(users.size()), 2, "USER_ID", "P.SYSTEM_ID", ""));
  ASSERT_TRUE(sql->MoveFirst());
  Rows read;
  do {
    read.push_back({sql->ColumnValue(1).text});
  } while (sql->MoveNext());
  EXPECT_EQ(read, users);
  EXPECT_FALSE(sql->MoveNext());
  EXPECT_TRUE(sql->ColumnValue(1).IsNull());  // past the end
  EXPECT_TRUE(sql->MoveFirst());
  EXPECT_EQ(sql->ColumnValue(1).text, users[0][0]);
  EXPECT_TRUE(sql->ColumnValue(0).IsNull());

  sql->ReleaseResults();
  EXPECT_EQ(std::tuple(sql->GetRowCount(), sql->ColumnCount()), std::tuple(0, 0));
  EXPECT_FALSE(sql->MoveFirst());

  ASSERT_EQ(sql->Execute("SELECT USER_ID FROM PEOPLE WHERE USER_ID = 'NOBODY'"), 0);
  EXPECT_EQ(sql->GetRowCount(), 0);
  EXPECT_FALSE(sql->MoveFirst());
}

TEST_F(SqlObjectTest, ErrorsComeBackAsValuesUntilTheNextGoodStatement) {
  std::unique_ptr<SqlObject> sql = Attached("LIB1");
  const int status = sql->Execute("SELECT * FROM NO_SUCH_TABLE");
  EXPECT_NE(status, 0);
  EXPECT_EQ(sql->GetSQLErrorCode(), status);
  EXPECT_NE(sql->GetSQLErrorCode(), 9);
  EXPECT_NE(sql->ErrNumber(), 0);
  EXPECT_EQ(sql->ErrDescription().rfind("[Sproutsmith][SQLite] ", 0), 0u) << sql->ErrDescription();
  EXPECT_NE(sql->ErrDescription().find("NO_SUCH_TABLE"), std::string::npos);
  EXPECT_EQ(sql->GetRowCount(), 0);
  // The error stays readable after a release, and the next good statement clears it.
  sql->ReleaseResults();
  EXPECT_EQ(sql->GetSQLErrorCode(), status);
  ASSERT_EQ(sql->Execute("SELECT 1"), 0);
  EXPECT_EQ(std::tuple(sql->GetSQLErrorCode(), sql->ErrDescription()), std::tuple(0, ""));
}

TEST_F(SqlObjectTest, AllocatesKeysFromTheAttachedLibrary) {
  const std::string lib1_keys = LastKey("LIB1");
  std::unique_ptr<SqlObject> sql = Attached("LIB2");
  const long long last = std::stoll(LastKey("LIB2"));
  EXPECT_EQ(sql->AllocateKey("SYSTEMKEY"), last + 1);
  EXPECT_EQ(sql->AllocateKey("SYSTEMKEY"), last + 2);
  EXPECT_EQ(sql->AllocateKey("NO_SUCH_KEY"), 0);
  EXPECT_NE(sql->ErrDescription(), "");
  EXPECT_EQ(LastKey("LIB1"), lib1_keys);
  std::unique_ptr<SqlObject> detached = client->CreateSqlObject();
  EXPECT_EQ(detached->AllocateKey("SYSTEMKEY"), 0);
}

// The sproutsmith-dm commands, run in process against real library files.
TEST(DmToolTest, HelpAndUsageErrors) {
  const ToolRun help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("SPROUTSMITH_DM"), std::string::npos);
  // (args, first_line)
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "sproutsmith-dm: no command given"},
      {{"frobnicate"}, "sproutsmith-dm: unknown command 'frobnicate'"},
      {{"provision", "x.db"}, "sproutsmith-dm: --name is needed"},
      {{"provision", "x.db", "--name"}, "sproutsmith-dm: option --name needs a value"},
      {{"provision", "x.db", "--name", "N", "--engine", "two"},
       "sproutsmith-dm: option --engine needs a whole number of at least 0, not 'two'"},
      {{"generate", "x.db", "--colour", "red"}, "sproutsmith-dm: unknown option --colour"},
      {{"provision", "x", "--name", "N", "--backend", "oracle"},
       "sproutsmith-dm: unknown back end 'oracle'"},
      {{"generate", "x", "--backend", "PostgreSQL"},
       "sproutsmith-dm: --backend postgresql needs --server"},
      {{"generate", "x.db", "--server", "host=/tmp"},
       "sproutsmith-dm: --server needs --backend postgresql"},
      {{"tree"}, "sproutsmith-dm: one library name is needed"},
      {{"workspaces", "LIB1", "LIB2"}, "sproutsmith-dm: one library name is needed"},
      {{"workspaces", "LIB1", "--all"}, "sproutsmith-dm: unknown option --all"},
      {{"sql", "LIB"}, "sproutsmith-dm: a library name and one statement are needed"},
  };
  for (const auto& [args, first_line] : cases) {
    const ToolRun r = RunTool(args);
    EXPECT_EQ(r.status, 2) << first_line;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), first_line);
  }
}

TEST(DmToolTest, ProvisionAndGenerateALibraryFile) {
  testing::TempDir dir;
  const std::string file = dir.File("new.db");
  ToolRun r = RunTool({"provision", file, "--name", "fresh", "--engine", "5", "--owner", "FRESHOWN",
                       "--other", "OLD:2", "--other", "NEWER:10:NEWOWN"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunTool({"generate", file, "--clients", "3", "--matters", "1", "--people", "4", "--user",
               "BOSS", "--no-rules"});
  ASSERT_EQ(r.status, 0) << r.err;

  EXPECT_EQ(
      testing::ReadFileRows(file,
                            "SELECT LIBRARY_NAME, DATABASE_ENGINE, OWNER FROM "
                            "REMOTE_LIBRARIES ORDER BY LIBRARY_NAME"),
      (Rows{{"FRESH", "5", "FRESHOWN"}, {"NEWER", "10", "NEWOWN"}, {"OLD", "2", "FRESHOWN"}}));
  EXPECT_EQ(testing::ReadFileRows(file, "SELECT USER_ID FROM PEOPLE WHERE USER_ID = 'BOSS'"),
            Rows{{"BOSS"}});

  r = RunTool({"generate", dir.File("missing.db")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "sproutsmith-dm: " + dir.File("missing.db") + ": no such file\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing.db")));
}

using DmToolLibraryTest = ToolLibraryTest;

TEST_F(DmToolLibraryTest, TreeListsTheLibraryAndSqlRunsThroughThePassThroughObject) {
  std::unique_ptr<FolderObject> top = session->NewFolder();
  top->SetName("Clients");
  top->MarkPublic();
  const long long t = top->Save("", 3).document_number;
  const long long a = MakeFolder("A matter");
  ASSERT_TRUE(session->OpenFolder(t, "LIB1")->AddItem("LIB1", a).status.ok());
  ToolRun r = RunTool({"tree", "lib1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Clients #" + std::to_string(t) + " [public] trustees=0\n  A matter #" +
                       std::to_string(a) + " trustees=0\n");
  // The workspaces command lists through the same library lookup; its layout is the
  // developer's, and what it reads is compared whole by the workspace tests.
  const ToolRun nowhere = RunTool({"tree", "NOWHERE"});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_EQ(nowhere.err.rfind("sproutsmith-dm: library 'NOWHERE' is not in ", 0), 0u)
      << nowhere.err;

  r = RunTool({"sql", "LIB2",
               "SELECT USER_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'DMADMIN' "
               "AND ROWNUM <= 1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "USER_ID\nDMADMIN\n1 row(s)\n");
  r = RunTool({"sql", "LIB1", "UPDATE PEOPLE SET EMAIL_ADDRESS = NULL WHERE USER_ID = 'DMADMIN'"});
  EXPECT_EQ(r.out, "1 row(s) affected\n");
  r = RunTool({"sql", "LIB1", "SELECT * FROM NOTHING_HERE"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("sproutsmith-dm: error 1: [Sproutsmith][SQLite] ", 0), 0u) << r.err;
  r = RunTool({"sql", "NOWHERE", "SELECT 1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("[Sproutsmith][DM] Library 'NOWHERE'"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace sproutsmith::dmapi
