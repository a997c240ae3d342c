// Profile columns: what SetValue accepts and stores, what it refuses, user defaults, the
// rights the library grants, and the reference rows behind them that the client keeps.

#include <functional>

#include "platform/dmapi/local/reference_rows.h"
#include "standin_fixture.h"

namespace sproutsmith::dmapi {
namespace {

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
      {"  (select USER_ID from DOCSADM.PEOPLE)", false},
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
      {"UPDATE PROFILE SET DOCNAME = 'PEOPLE';", false},
      {"INSERT INTO FOLDER_ITEM (SYSTEM_ID) SELECT SYSTEM_ID FROM APPS", false},
      {"DELETE FROM SECURITY WHERE PERSONORGROUP IN (SELECT SYSTEM_ID FROM PEOPLE)", false},
      {"INSERT INTO PEOPLEGROUPS (PEOPLE_SYSTEM_ID) VALUES (1)", false},
      {"INSERT INTO QUIL_SPROUTSMITH (SID) VALUES (1)", false},
  };
  for (const auto& [statement, writes] : kCases) {
    EXPECT_EQ(local::MayWriteReferenceRows(statement), writes) << statement;
  }
}

}  // namespace
}  // namespace sproutsmith::dmapi
