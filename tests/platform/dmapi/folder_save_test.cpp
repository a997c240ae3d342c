// Saving folders: the rows a DM server leaves behind, refusals, and what a later save keeps.

#include <algorithm>
#include <set>

#include "standin_fixture.h"

namespace sproutsmith::dmapi {
namespace {

using FolderSaveTest = StandinTest;

TEST_F(FolderSaveTest, NewFolderWritesProfileFolderVersionAndActivityRows) {
  const std::string keys_before = LastKey("LIB1");
  std::unique_ptr<FolderObject> folder = session->NewFolder();
  ASSERT_NE(folder, nullptr);
  folder->SetName("Smith & O'Neil");
  folder->SetDescription("Clients S");
  std::unique_ptr<ProfileObject> profile = folder->Profile();
  for (const auto& [column, value] : std::vector<std::pair<std::string, std::string>>{
           {"AUTHOR_ID", "DMADMIN"}, {"TYPIST_ID", "DMADMIN"}, {"TYPE_ID", "FOLDER"}}) {
    EXPECT_TRUE(profile->SetValue(column, value).ok()) << column;
  }
  const SaveResult saved = profile->Save();
  ASSERT_TRUE(saved.status.ok()) << saved.status.text;
  const long long n = saved.document_number;
  EXPECT_EQ(folder->DocumentNumber(), n);
  EXPECT_EQ(profile->Value("DOCNUM"), std::to_string(n));

  const std::string where = " WHERE DOCNUMBER = " + std::to_string(n);
  EXPECT_EQ(
      Query("LIB1",
            "SELECT P.DOCNAME, P.ABSTRACT, A.APPLICATION, AU.USER_ID, TY.USER_ID, DT.TYPE_ID, "
            "F.FORM_NAME, P.STATUS, P.DEFAULT_RIGHTS, P.CREATION_DATE FROM PROFILE P "
            "LEFT JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION "
            "LEFT JOIN PEOPLE AU ON AU.SYSTEM_ID = P.AUTHOR LEFT JOIN PEOPLE TY ON "
            "TY.SYSTEM_ID = P.TYPIST LEFT JOIN DOCUMENTTYPES DT ON DT.SYSTEM_ID = P.DOCUMENTTYPE "
            "LEFT JOIN FORMS F ON F.SYSTEM_ID = P.FORM WHERE P.DOCNUMBER = " +
                std::to_string(n)),
      (Rows{{"Smith & O'Neil", "Clients S", "FOLDER", "DMADMIN", "DMADMIN", "FOLDER", "FOLDER_PROF",
             "0", "0", "2026-12-06 09:30:15"}}));
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER" + where), "1");
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM VERSIONS" + where), "1");
  EXPECT_EQ(
      Query("LIB1",
            "SELECT ACTIVITY_TYPE, TYPIST FROM ACTIVITYLOG" + where + " ORDER BY ACTIVITY_TYPE"),
      (Rows{
          {"45", PeopleId("DMADMIN")}, {"46", PeopleId("DMADMIN")}, {"47", PeopleId("DMADMIN")}}));
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM ROOT_OBJECT" + where), "0");

  // Document number, profile SYSTEM_ID and version id: three distinct numbers from the
  // counter, none of them in use before; the document number is the counter's latest.
  const long long system_id = std::stoll(SystemId(n));
  const long long version = std::stoll(Scalar("LIB1", "SELECT VERSION_ID FROM VERSIONS" + where));
  EXPECT_EQ(std::set<long long>({n, system_id, version}).size(), 3u);
  EXPECT_GT(std::min({n, system_id, version}), std::stoll(keys_before));
  EXPECT_EQ(LastKey("LIB1"), std::to_string(n));

  // Saving again updates the same document.
  const SaveResult again = folder->Save("", 3);
  EXPECT_TRUE(again.status.ok()) << again.status.text;
  EXPECT_EQ(again.document_number, n);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM PROFILE" + where), "1");
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER" + where), "1");
}

TEST_F(FolderSaveTest, SaveWithAFormAndRefusedSavesWriteNothing) {
  std::unique_ptr<FolderObject> folder = session->NewFolder();
  folder->SetName("Form test");
  const std::string profiles = Scalar("LIB1", "SELECT COUNT(*) FROM PROFILE");

  const SaveResult unknown = folder->Save("NO_SUCH_FORM", 2);
  EXPECT_EQ(unknown.status.code, kErrNoSuchForm);
  EXPECT_EQ(unknown.document_number, 0);

  folder->SetName("   ");
  EXPECT_EQ(folder->Save("", 2).status.code, kErrRequired);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM PROFILE"), profiles);

  folder->SetName("Form test");
  const SaveResult saved = folder->Save("defprof", 2);
  ASSERT_TRUE(saved.status.ok()) << saved.status.text;
  EXPECT_EQ(Scalar("LIB1",
                   "SELECT F.FORM_NAME FROM PROFILE P, FORMS F WHERE "
                   "F.SYSTEM_ID = P.FORM AND P.DOCNUMBER = " +
                       std::to_string(saved.document_number)),
            "DEFPROF");
  // "*DEFAULT FORM*" keeps the form the folder has.
  ASSERT_TRUE(folder->Save("*DEFAULT FORM*", 2).status.ok());
  EXPECT_EQ(Scalar("LIB1",
                   "SELECT F.FORM_NAME FROM PROFILE P, FORMS F WHERE "
                   "F.SYSTEM_ID = P.FORM AND P.DOCNUMBER = " +
                       std::to_string(saved.document_number)),
            "DEFPROF");
}

TEST_F(FolderSaveTest, ReopenedFolderShowsItsProfileAndASaveKeepsSqlEditsMadeMeanwhile) {
  const long long n = MakeFolder("Original");
  const std::string number = std::to_string(n);

  std::unique_ptr<FolderObject> folder = session->OpenFolder(n, "lib1");
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->Name(), "Original");
  EXPECT_EQ(folder->DocumentNumber(), n);
  std::unique_ptr<ProfileObject> profile = folder->Profile();
  // Author and typist were not given: they are the logged-on user.
  EXPECT_EQ(profile->Value("AUTHOR_ID"), "DMADMIN");
  EXPECT_EQ(profile->Value("TYPIST_ID"), "DMADMIN");
  EXPECT_EQ(profile->Value("APP_ID"), "FOLDER");
  EXPECT_EQ(profile->Value("DOCNUM"), number);

  // The engine edits the row with SQL while the object is open; a save must not put the
  // values it read back over them.
  Exec("LIB1",
       "UPDATE PROFILE SET RETENTION = 90, DOCUMENTTYPE = NULL WHERE DOCNUMBER = " + number);
  folder->SetName("Renamed");
  ASSERT_TRUE(folder->Save("", 3).status.ok());
  EXPECT_EQ(
      Query("LIB1",
            "SELECT DOCNAME, RETENTION, DOCUMENTTYPE FROM PROFILE WHERE DOCNUMBER = " + number),
      (Rows{{"Renamed", "90", "NULL"}}));
}

TEST_F(FolderSaveTest, OpeningChecksLibraryNumberAndKind) {
  const long long document = FirstDocument();
  const long long n = MakeFolder("A folder");
  EXPECT_EQ(session->OpenFolder(document, "LIB1"), nullptr);  // not a folder
  EXPECT_NE(session->OpenProfile(document, "LIB1"), nullptr);
  EXPECT_EQ(session->OpenProfile(987654321, "LIB1"), nullptr);
  EXPECT_EQ(session->OpenFolder(n, "NO_SUCH_LIBRARY"), nullptr);
  EXPECT_EQ(session->OpenFolder(n, "LIB2"), nullptr);  // the number belongs to LIB1
  EXPECT_NE(session->OpenFolder(n, ""), nullptr);      // "" = the current library
  // A profile row with the FOLDER application but no FOLDER row is no folder object.
  Exec("LIB1", "DELETE FROM FOLDER WHERE DOCNUMBER = " + std::to_string(n));
  EXPECT_EQ(session->OpenFolder(n, "LIB1"), nullptr);
}

TEST_F(FolderSaveTest, UniqueDocumentNamesAreEnforcedWhenTheLibraryAsks) {
  MakeFolder("Twice");
  EXPECT_NE(MakeFolder("Twice"), 0);  // allowed while the parameter is off

  Exec("LIB1",
       "UPDATE STANDIN_PARAMETERS SET PARAM_VALUE = '1' WHERE "
       "PARAM_NAME = 'DOCSParms.UniqueDocNames'");
  EXPECT_EQ(app->CurrentLibrary()->Parameter(kParamUniqueDocNames), "1");
  std::unique_ptr<FolderObject> folder = session->NewFolder();
  folder->SetName("TWICE");
  EXPECT_EQ(folder->Save("", 3).status.code, kErrDuplicateName);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM PROFILE WHERE DOCNAME = 'Twice'"), "2");

  // A folder keeps its own name when saved again.
  const long long other = MakeFolder("Only once");
  std::unique_ptr<FolderObject> reopened = session->OpenFolder(other, "LIB1");
  reopened->SetName("Only once");
  EXPECT_TRUE(reopened->Save("", 3).status.ok());
}

TEST_F(FolderSaveTest, MarkPublicWritesOneRootObjectRowBeforeOrAfterTheFirstSave) {
  std::unique_ptr<FolderObject> early = session->NewFolder();
  early->SetName("Public early");
  EXPECT_TRUE(early->MarkPublic().ok());
  const long long a = early->Save("", 3).document_number;
  ASSERT_NE(a, 0);

  const long long b = MakeFolder("Public late");
  std::unique_ptr<FolderObject> late = session->OpenFolder(b, "LIB1");
  EXPECT_TRUE(late->MarkPublic().ok());
  EXPECT_TRUE(late->MarkPublic().ok());
  EXPECT_TRUE(late->Save("", 3).status.ok());

  EXPECT_EQ(Query("LIB1", "SELECT DOCNUMBER, DISPLAYNAME FROM ROOT_OBJECT ORDER BY DOCNUMBER"),
            (Rows{{std::to_string(a), "Public early"}, {std::to_string(b), "Public late"}}));
}

}  // namespace
}  // namespace sproutsmith::dmapi
