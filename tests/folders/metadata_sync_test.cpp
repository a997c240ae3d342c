// Profile metadata between a parent folder and its item, read back from the PROFILE rows.

#include "folders/metadata_sync.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/engine_session.h"

namespace sproutsmith::folders {
namespace {

using std::to_string;

class MetadataSyncTest : public testing::EngineSession {
 protected:
  void SetUp() override { Start({{.name = "LIB"}, {.name = "OTHER"}}); }

  bool Sync(long long parent, long long item, const std::string& item_library = "LIB",
            const std::string& type = "F") {
    return SyncData(
        context(), connection(),
        {.number = item, .library = item_library, .parent = parent, .parent_library = "LIB"}, type);
  }
  std::string Column(const std::string& library, long long doc, const std::string& column) {
    return Scalar(library,
                  "SELECT " + column + " FROM PROFILE WHERE DOCNUMBER = " + to_string(doc));
  }
  void Set(const std::string& library, long long doc, const std::string& assignments) {
    Exec(library, "UPDATE PROFILE SET " + assignments + " WHERE DOCNUMBER = " + to_string(doc));
  }
  // A profile column of the folder form over a PROFILE column.
  void AddFormColumn(const std::string& library, const std::string& name,
                     const std::string& sql_column) {
    Exec(library,
         "INSERT INTO STANDIN_FORM_COLUMNS (FORM_NAME, COLUMN_NAME, SQL_COLUMN, DATA_TYPE, ATTR1, "
         "ATTR2, MAX_LENGTH, LOOKUP_TABLE, LOOKUP_COLUMN) VALUES ('FOLDER_PROF', '" +
             name + "', '" + sql_column + "', 0, 0, 0, 255, '', '')");
  }
};

TEST_F(MetadataSyncTest, ValuesGoDownThenUpAndEachSideIsSaved) {
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("LIB", "CHILD", parent);
  const std::string matter = Scalar("LIB", "SELECT MIN(SYSTEM_ID) FROM MATTER");
  const std::string author =
      Scalar("LIB", "SELECT MIN(SYSTEM_ID) FROM PEOPLE WHERE USER_ID <> 'DMADMIN'");
  const std::string admin = Scalar("LIB", "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'DMADMIN'");
  // The parent's RETENTION of 0 counts as no value: the child's 30 stays and goes up.
  Set("LIB", parent, "MATTER = " + matter + ", AUTHOR = " + author + ", RETENTION = 0");
  Set("LIB", child, "MATTER = NULL, RETENTION = 30");

  ASSERT_TRUE(Sync(parent, child)) << Dump();
  EXPECT_EQ(Column("LIB", child, "MATTER"), matter);
  EXPECT_EQ(Column("LIB", child, "AUTHOR"), author);
  EXPECT_EQ(Column("LIB", child, "RETENTION"), "30");
  EXPECT_EQ(Column("LIB", parent, "RETENTION"), "30");
  EXPECT_EQ(Column("LIB", parent, "AUTHOR"), author);
  EXPECT_NE(author, admin);
  const std::string c = to_string(child), p = to_string(parent);
  for (const std::string& line : std::vector<std::string>{
           "Processing Metadata between Parent #" + p + " in library LIB and Item #" + c +
               " in library LIB",
           "Setting Folder MATTER to " + matter, "Setting Folder RETENTION to 30",
           "Saving profile object for child folder #" + c + " in library LIB",
           "Folder object saved to #" + c + " in library LIB",
           "Saving profile object for parent folder #" + p + " in library LIB",
           "Folder object saved to #" + p + " in library LIB"}) {
    EXPECT_EQ(Count(line), 1) << line << "\n" << Dump();
  }
  EXPECT_LT(LineOf("Setting Folder MATTER"), LineOf("Saving profile object for child"));
  EXPECT_LT(LineOf("Saving profile object for child"), LineOf("Setting Folder RETENTION"));

  // Aligned: a second pass finds nothing to set, though both sides are saved again.
  const int set_before = Count("Setting Folder ");
  ASSERT_TRUE(Sync(parent, child));
  EXPECT_EQ(Count("Setting Folder "), set_before);
  EXPECT_EQ(Count("Saving profile object for parent folder #" + p), 2);
}

TEST_F(MetadataSyncTest, NameDescriptionKindAndAccessStayTheItemsOwn) {
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("LIB", "CHILD");
  Set("LIB", parent, "DEFAULT_RIGHTS = 1");
  ASSERT_TRUE(Sync(parent, child)) << Dump();
  EXPECT_EQ(Column("LIB", child, "DOCNAME"), "CHILD");
  EXPECT_EQ(Column("LIB", child, "ABSTRACT"), "CHILD");
  EXPECT_EQ(Column("LIB", parent, "DOCNAME"), "PARENT");
  EXPECT_EQ(Column("LIB", child, "DEFAULT_RIGHTS"), "0");
  EXPECT_EQ(Count("Setting Folder "), 0) << Dump();
}

TEST_F(MetadataSyncTest, MailColumnsAreNeverCopied) {
  AddFormColumn("LIB", "EMAIL_ADDRESS", "PD_ADDRESSEE");
  AddFormColumn("LIB", "MAILSTOP", "PATH");
  AddFormColumn("LIB", "STORAGE", "STORAGETYPE");  // the same kind of column without MAIL
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("LIB", "CHILD");
  Set("LIB", parent, "PD_ADDRESSEE = 'parent@example.com', STORAGETYPE = 'A'");
  Set("LIB", child, "PATH = 'Room 4'");

  ASSERT_TRUE(Sync(parent, child)) << Dump();
  EXPECT_EQ(Column("LIB", child, "PD_ADDRESSEE"), "NULL");
  EXPECT_EQ(Column("LIB", parent, "PATH"), "NULL");
  EXPECT_EQ(Column("LIB", child, "STORAGETYPE"), "A");
  EXPECT_EQ(Count("Setting Folder EMAIL_ADDRESS"), 0) << Dump();
  EXPECT_EQ(Count("Setting Folder MAILSTOP"), 0);
  EXPECT_EQ(Count("Setting Folder STORAGE to A"), 1);
}

TEST_F(MetadataSyncTest, TheSameDocumentCopiesNothing) {
  const long long folder = MakeFolder("LIB", "FOLDER");
  Set("LIB", folder, "RETENTION = 7");
  ASSERT_TRUE(Sync(folder, folder)) << Dump();
  EXPECT_EQ(Count("Setting Folder "), 0);
  EXPECT_EQ(Count("Saving profile object"), 0);
  EXPECT_EQ(Column("LIB", folder, "RETENTION"), "7");
}

TEST_F(MetadataSyncTest, WhatCannotBeOpenedEndsTheStep) {
  const long long folder = MakeFolder("LIB", "FOLDER");
  const std::string document = Scalar(
      "LIB",
      "SELECT MIN(DOCNUMBER) FROM PROFILE WHERE APPLICATION <> (SELECT SYSTEM_ID FROM APPS WHERE "
      "APPLICATION = 'FOLDER')");
  struct Case {
    long long parent;
    long long item;
    const char* type;
    std::string line;
  };
  const Case cases[] = {
      {424242, folder, "F", "Unable to open folder object #424242 for SyncData in library LIB"},
      {folder, 424243, "F", "Unable to open folder object #424243 for SyncData in library LIB"},
      {folder, 424244, "D", "Unable to open profile object #424244 for SyncData in library LIB"},
      // A document is no folder object.
      {folder, std::stoll(document), "F",
       "Unable to open folder object #" + document + " for SyncData in library LIB"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Sync(c.parent, c.item, "LIB", c.type)) << c.line;
    EXPECT_EQ(Count(c.line), 1) << Dump();
  }
  EXPECT_EQ(Count("Saving profile object"), 0);
}

TEST_F(MetadataSyncTest, AValueTheItemRefusesIsLoggedAndStaysOnTheParent) {
  // A user the item's library does not know.
  Exec("LIB",
       "INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME) VALUES (900001, 'ONLYHERE', "
       "'Only Here')");
  const long long parent = MakeFolder("LIB", "PARENT");
  const long long child = MakeFolder("OTHER", "REMOTE CHILD");
  Set("LIB", parent, "AUTHOR = 900001, RETENTION = 12");

  ASSERT_TRUE(Sync(parent, child, "OTHER")) << Dump();
  EXPECT_EQ(Count("Setting Folder AUTHOR_ID to ONLYHERE"), 1) << Dump();
  EXPECT_EQ(Count(") setting column AUTHOR_ID"), 1);
  EXPECT_EQ(LineOf("Error #"), LineOf("setting column AUTHOR_ID"));
  // The child was saved. Numbers are not carried between libraries: there they could name
  // another library's records.
  EXPECT_EQ(Column("OTHER", child, "RETENTION"), "NULL");
  EXPECT_EQ(Column("OTHER", child, "AUTHOR"),
            Scalar("OTHER", "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'DMADMIN'"));
  // The child's own author does not replace the value it refused.
  EXPECT_EQ(Column("LIB", parent, "AUTHOR"), "900001");
}

TEST_F(MetadataSyncTest, CDocNotesAnotherLibraryOnlyWhileErrorsAreDisplayed) {
  CDoc(context(), connection(), "OTHER");
  EXPECT_EQ(Count("NOTE: Object library is: "), 0);
  context().options.CheckDisplayErrors = 1;
  CDoc(context(), connection(), "lib");
  EXPECT_EQ(Count("NOTE: Object library is: "), 0);
  CDoc(context(), connection(), "OTHER");
  EXPECT_EQ(Count("NOTE: Object library is: LIB"), 1) << Dump();
}

}  // namespace
}  // namespace sproutsmith::folders
