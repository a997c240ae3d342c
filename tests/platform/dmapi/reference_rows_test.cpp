// The reference rows a client keeps: what the client itself writes through SQL shows at once,
// what another program writes shows from the next moment at which the client forgets them
// (a search flag set, a log-on) and not at a switch of library, and a user or lookup value
// added meanwhile is found at once.

#include "platform/dmapi/local/reference_rows.h"

#include <functional>

#include "standin_fixture.h"

namespace sproutsmith::dmapi {
namespace {

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

TEST_F(ReferenceRowsTest, AUserOrLookupValueAddedMeanwhileIsFoundAtOnce) {
  EXPECT_EQ(session->FindUser("NEWCOMER"), nullptr);
  std::unique_ptr<ProfileObject> profile = session->OpenProfile(folder, "LIB1");
  EXPECT_EQ(profile->SetValue("TYPE_ID", "NEWTYPE").code, kErrUnknownLookup);

  AddPlainUser("NEWCOMER", 800001);
  Exec("LIB1",
       "INSERT INTO DOCUMENTTYPES (SYSTEM_ID, TYPE_ID, DESCRIPTION) VALUES (800002, "
       "'NEWTYPE', 'New type')");
  ASSERT_NE(session->FindUser("NEWCOMER"), nullptr);
  EXPECT_EQ(session->FindUser("NEWCOMER")->Name(), "Pat Plain");
  EXPECT_TRUE(profile->SetValue("TYPE_ID", "NEWTYPE").ok());
  EXPECT_TRUE(profile->SetValue("AUTHOR_ID", "NEWCOMER").ok());
  ASSERT_TRUE(profile->Save().status.ok());
  EXPECT_EQ(Shown("AUTHOR_ID"), "NEWCOMER");
}

TEST(MayWriteReferenceRowsTest, WritesToAKeptTableCountReadsOfOneDoNot) {
  const struct {
    const char* statement;
    bool writes;
  } kCases[] = {
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
  for (const auto& c : kCases) {
    EXPECT_EQ(local::MayWriteReferenceRows(c.statement), c.writes) << c.statement;
  }
}

}  // namespace
}  // namespace sproutsmith::dmapi
