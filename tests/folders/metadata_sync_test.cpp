// Profile metadata between a parent folder and its item, read back from the PROFILE rows.

#include "folders/metadata_sync.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folders/library_session.h"

namespace sproutsmith::folders {
namespace {

class MetadataSyncTest : public testing::LibrarySession {
 protected:
  void SetUp() override {
    Start({{.name = "LIB"}, {.name = "OTHER"}});
    // Mail columns, and the same kind of column without MAIL, on the folder form (before the
    // first folder object reads the form).
    AddFormColumn("EMAIL_ADDRESS", "PD_ADDRESSEE");
    AddFormColumn("MAILSTOP", "PATH");
    AddFormColumn("STORAGE", "STORAGETYPE");
    parent_ = MakeFolder("LIB", "PARENT");
  }

  bool Sync(long long item, const std::string& item_library = "LIB",
            const std::string& type = "F") {
    return SyncData(
        context(), connection(),
        {.number = item, .library = item_library, .parent = parent_, .parent_library = "LIB"},
        type);
  }
  void Set(long long doc, const std::string& assignments, const std::string& library = "LIB") {
    Exec(library, "UPDATE PROFILE SET " + assignments + " WHERE DOCNUMBER = " + N(doc));
  }
  // A profile column of the folder form over a PROFILE column.
  void AddFormColumn(const std::string& name, const std::string& sql_column) {
    Exec("LIB",
         "INSERT INTO STANDIN_FORM_COLUMNS (FORM_NAME, COLUMN_NAME, SQL_COLUMN, DATA_TYPE, ATTR1, "
         "ATTR2, MAX_LENGTH, LOOKUP_TABLE, LOOKUP_COLUMN) VALUES ('FOLDER_PROF', '" +
             name + "', '" + sql_column + "', 0, 0, 0, 255, '', '')");
  }

  long long parent_ = 0;
};

TEST_F(MetadataSyncTest, ValuesGoDownThenUpAndEachSideIsSaved) {
  const long long child = MakeFolder("LIB", "CHILD", parent_);
  const std::string matter = Scalar("LIB", "SELECT MIN(SYSTEM_ID) FROM MATTER");
  const std::string author =
      Scalar("LIB", "SELECT MIN(SYSTEM_ID) FROM PEOPLE WHERE USER_ID <> 'DMADMIN'");
  // The parent's RETENTION of 0 counts as no value: the child's 30 stays and goes up.
  Set(parent_, "MATTER = " + matter + ", AUTHOR = " + author + ", RETENTION = 0");
  Set(child, "MATTER = NULL, RETENTION = 30");

  ASSERT_TRUE(Sync(child)) << Dump();
  EXPECT_EQ(Profile(child, "MATTER || ' ' || AUTHOR || ' ' || RETENTION"),
            matter + " " + author + " 30");
  EXPECT_EQ(Profile(parent_, "AUTHOR || ' ' || RETENTION"), author + " 30");
  EXPECT_NE(author, Scalar("LIB", "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'DMADMIN'"));
  const std::string c = N(child), p = N(parent_);
  EXPECT_TRUE(Once({"Processing Metadata between Parent #" + p + " in library LIB and Item #" + c +
                        " in library LIB",
                    "Setting Folder MATTER to " + matter, "Setting Folder RETENTION to 30",
                    "Saving profile object for child folder #" + c + " in library LIB",
                    "Folder object saved to #" + c + " in library LIB",
                    "Saving profile object for parent folder #" + p + " in library LIB",
                    "Folder object saved to #" + p + " in library LIB"}));
  EXPECT_LT(LineOf("Setting Folder MATTER"), LineOf("Saving profile object for child"));
  EXPECT_LT(LineOf("Saving profile object for child"), LineOf("Setting Folder RETENTION"));

  // Aligned: a second pass finds nothing to set, though both sides are saved again.
  const int set_before = Count("Setting Folder ");
  ASSERT_TRUE(Sync(child));
  EXPECT_EQ(Count("Setting Folder "), set_before);
  EXPECT_EQ(Count("Saving profile object for parent folder #" + p), 2);
}

TEST_F(MetadataSyncTest, NameDescriptionKindAndAccessStayTheItemsOwn) {
  const long long child = MakeFolder("LIB", "CHILD");
  Set(parent_, "DEFAULT_RIGHTS = 1");
  ASSERT_TRUE(Sync(child)) << Dump();
  EXPECT_EQ(Profile(child, "DOCNAME || ABSTRACT || DEFAULT_RIGHTS"), "CHILDCHILD0");
  EXPECT_EQ(Profile(parent_, "DOCNAME"), "PARENT");
  EXPECT_EQ(Count("Setting Folder "), 0) << Dump();
}

TEST_F(MetadataSyncTest, MailColumnsAreNeverCopied) {
  const long long child = MakeFolder("LIB", "CHILD");
  Set(parent_, "PD_ADDRESSEE = 'parent@example.com', STORAGETYPE = 'A'");
  Set(child, "PATH = 'Room 4'");

  ASSERT_TRUE(Sync(child)) << Dump();
  EXPECT_EQ(Profile(child, "PD_ADDRESSEE"), "NULL");
  EXPECT_EQ(Profile(parent_, "PATH"), "NULL");
  EXPECT_EQ(Profile(child, "STORAGETYPE"), "A");
  EXPECT_EQ(Count("Setting Folder "), 1) << Dump();
  EXPECT_EQ(Count("Setting Folder STORAGE to A"), 1);
}

TEST_F(MetadataSyncTest, TheSameDocumentCopiesNothing) {
  Set(parent_, "RETENTION = 7");
  ASSERT_TRUE(Sync(parent_)) << Dump();
  EXPECT_EQ(Count("Setting Folder "), 0);
  EXPECT_EQ(Count("Saving profile object"), 0);
  EXPECT_EQ(Profile(parent_, "RETENTION"), "7");
}

TEST_F(MetadataSyncTest, WhatCannotBeOpenedEndsTheStep) {
  struct Case {
    long long item;
    const char* type;
    std::string line;
  };
  // A document is no folder object.
  const Case cases[] = {
      {424243, "F", "Unable to open folder object #424243 for SyncData in library LIB"},
      {424244, "D", "Unable to open profile object #424244 for SyncData in library LIB"},
      {Document(), "F",
       "Unable to open folder object #" + N(Document()) + " for SyncData in library LIB"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Sync(c.item, "LIB", c.type)) << c.line;
    EXPECT_TRUE(Once({c.line}));
  }
  const long long item = parent_;
  parent_ = 424242;
  EXPECT_FALSE(Sync(item));
  EXPECT_TRUE(Once({"Unable to open folder object #424242 for SyncData in library LIB"}));
  EXPECT_EQ(Count("Saving profile object"), 0);
}

TEST_F(MetadataSyncTest, AValueTheItemRefusesIsLoggedAndStaysOnTheParent) {
  // A user the item's library does not know.
  Exec("LIB",
       "INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME) VALUES (900001, 'ONLYHERE', "
       "'Only Here')");
  const long long child = MakeFolder("OTHER", "REMOTE CHILD");
  Set(parent_, "AUTHOR = 900001, RETENTION = 12");

  ASSERT_TRUE(Sync(child, "OTHER")) << Dump();
  EXPECT_TRUE(Once({"Setting Folder AUTHOR_ID to ONLYHERE", ") setting column AUTHOR_ID"}));
  EXPECT_EQ(LineOf("Error #"), LineOf("setting column AUTHOR_ID"));
  // The child was saved. Numbers are not carried between libraries: there they could name
  // another library's records.
  EXPECT_EQ(Profile(child, "RETENTION", "OTHER"), "NULL");
  EXPECT_EQ(Profile(child, "AUTHOR", "OTHER"),
            Scalar("OTHER", "SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'DMADMIN'"));
  // The child's own author does not replace the value it refused.
  EXPECT_EQ(Profile(parent_, "AUTHOR"), "900001");
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
