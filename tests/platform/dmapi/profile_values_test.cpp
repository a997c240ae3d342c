// Profile columns: what SetValue accepts and stores, what it refuses, user defaults,
// and the rights the library grants.

#include "standin_fixture.h"

namespace sproutsmith::dmapi {
namespace {

using ProfileValuesTest = StandinTest;

TEST_F(ProfileValuesTest, RefusedValuesLeaveTheColumnAsItWas) {
  // Two matters sharing a non-numeric number make a text lookup ambiguous.
  Exec("LIB1", "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID) VALUES (900001, 1, 'DUP')");
  Exec("LIB1", "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID) VALUES (900002, 2, 'DUP')");
  struct Case {
    const char* column;
    std::string value;
    long code;
  };
  const std::vector<Case> cases = {
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
  for (const Case& c : cases) {
    const std::string before = profile->Value(c.column);
    const Status status = profile->SetValue(c.column, c.value);
    EXPECT_EQ(status.code, c.code) << c.column << " = " << c.value << ": " << status.text;
    EXPECT_FALSE(status.text.empty()) << c.column;
    EXPECT_EQ(profile->Value(c.column), before) << c.column;
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

TEST_F(ProfileValuesTest, AcceptedValuesAreStoredAsTheLibraryKeepsThem) {
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

TEST_F(ProfileValuesTest, ColumnsCarryTheFormsAttributes) {
  std::unique_ptr<ProfileObject> profile = session->NewFolder()->Profile();
  ASSERT_GT(profile->ColumnCount(), 0);
  bool saw_docnum = false;
  for (int i = 1; i <= profile->ColumnCount(); ++i) {
    const ProfileColumn c = profile->Column(i);
    if (c.name == "DOCNUM") {
      saw_docnum = true;
      EXPECT_EQ(c.data_type, kNumericDataType);
      EXPECT_NE(c.attr1, 0);
    }
    if (c.name == "APP_ID") {
      EXPECT_EQ(c.value, "FOLDER");
    }
  }
  EXPECT_TRUE(saw_docnum);
  EXPECT_EQ(profile->Column(0).name, "");
  EXPECT_EQ(profile->Column(profile->ColumnCount() + 1).name, "");
}

TEST_F(ProfileValuesTest, ProfileDefaultsOfAUserAndForm) {
  Exec("LIB1",
       "INSERT INTO STANDIN_PROFILE_DEFAULTS (USER_ID, FORM_NAME, COLUMN_NAME, DEFAULT_VALUE) "
       "VALUES ('DMADMIN', 'FOLDER_PROF', 'TYPE_ID', 'FOLDER'), "
       "('DMADMIN', 'FOLDER_PROF', 'RETENTION', '30'), ('DMADMIN', 'DEFPROF', 'RETENTION', '5'), "
       "('OTHER', 'FOLDER_PROF', 'RETENTION', '1')");
  const auto defaults = session->ProfileDefaults("dmadmin", "folder_prof");
  ASSERT_TRUE(defaults.has_value());
  ASSERT_EQ(defaults->size(), 2u);
  EXPECT_EQ((*defaults)[0].column, "RETENTION");
  EXPECT_EQ((*defaults)[0].value, "30");
  EXPECT_EQ((*defaults)[1].column, "TYPE_ID");
  EXPECT_EQ((*defaults)[1].value, "FOLDER");

  const auto none = session->ProfileDefaults("NOBODY", "FOLDER_PROF");
  ASSERT_TRUE(none.has_value());
  EXPECT_TRUE(none->empty());

  // Defaults come from the current library.
  app->PointAtLibrary("LIB2");
  EXPECT_TRUE(session->ProfileDefaults("DMADMIN", "FOLDER_PROF")->empty());
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

  Exec("LIB1", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (" + thing +
                   ", 800001, 1)");
  EXPECT_FALSE(profile->RightsFor("PLAIN")->can_change);  // view only
  Exec("LIB1",
       "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (" + thing + ", 0, 63)");
  EXPECT_TRUE(profile->RightsFor("PLAIN")->can_change);  // through DOCS_USERS
  EXPECT_EQ(profile->RightsFor("PLAIN")->access, 63);
  Exec("LIB1", "UPDATE SECURITY SET ACCESSRIGHTS = 16711680 WHERE PERSONORGROUP = 800001");
  EXPECT_FALSE(profile->RightsFor("PLAIN")->can_change);  // denied outright
}

}  // namespace
}  // namespace sproutsmith::dmapi
