#include "rules/tracking.h"

#include <gtest/gtest.h>

#include "rules/rules_session.h"

namespace sproutsmith::rules {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class TrackingTest : public RulesSession {
 protected:
  void SetUp() override {
    Start({{.name = "DEMO"}, {.name = "ARCHIVE"}});
    tracking_ = std::make_unique<Tracking>(install_.context, *connection_);
  }
  // One result row under the given headings.
  static ResultTable Result(std::vector<std::string> headings, std::vector<std::string> values) {
    ResultTable t;
    t.SetHeadings(std::move(headings));
    t.AddRow(std::move(values));
    return t;
  }
  Rows Tracked(const std::string& library) {
    return Query(library,
                 "SELECT SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY FROM "
                 "QUIL_SPROUTSMITH ORDER BY rowid");
  }
  int Record(const ResultTable& t, const std::string& rule, const std::string& library = "DEMO",
             int level_left = 3, long long parent = 40) {
    return tracking_->RecordProcessedRow(t, 1, rule, library, level_left, parent);
  }

  std::unique_ptr<Tracking> tracking_;
};

TEST_F(TrackingTest, EverySystemIdColumnIsRecordedFromTheLastColumnToTheFirst) {
  const auto t =
      Result({"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID", "MATTER.SYSTEM_ID"}, {"C0001", "11", "22"});
  EXPECT_EQ(Record(t, "CLIENTS"), 2);
  EXPECT_EQ(Tracked("DEMO"),
            (Rows{{"22", "MATTER", "CLIENTS", "0", ""}, {"11", "CLIENT", "CLIENTS", "0", ""}}));
  EXPECT_EQ(Count("Updating QUIL_SPROUTSMITH information in DEMO for newly created folder(s)"), 1);
  EXPECT_LT(LineOf("Adding Folder column item MATTER.SYSTEM_ID to QUIL_SPROUTSMITH"),
            LineOf("Adding Folder column item CLIENT.SYSTEM_ID to QUIL_SPROUTSMITH"));
  EXPECT_EQ(Count("DELETE FROM DOCSADM.QUIL_SPROUTSMITH WHERE SID = 22 AND TABLE_NAME = 'MATTER' "
                  "AND UPPER(RULE_NAME) = 'CLIENTS'"),
            1)
      << Dump();
  EXPECT_EQ(Count("INSERT INTO DOCSADM.QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, "
                  "LOCKED_BY) VALUES(11, 'CLIENT', 'CLIENTS', 0, '')"),
            1);

  // The same row again replaces its rows instead of adding to them.
  EXPECT_EQ(Record(t, "clients"), 2);
  EXPECT_EQ(Tracked("DEMO").size(), 2u);
}

TEST_F(TrackingTest, OnlyHeadingsNamingATableBeforeSystemIdAreRecorded) {
  const auto t =
      Result({".SYSTEM_ID", "CLIENT_ID", "  .system_id", "SYSTEM_ID", " matter .System_Id"},
             {"1", "2", "3", "4", "5"});
  EXPECT_EQ(Record(t, "CLIENTS"), 1);
  EXPECT_EQ(Tracked("DEMO"), (Rows{{"5", "matter", "CLIENTS", "0", ""}}));
  EXPECT_EQ(Record(Result({".SYSTEM_ID", "CLIENT.CLIENT_ID"}, {"1", "2"}), "CLIENTS"), 0);
  EXPECT_EQ(Tracked("DEMO").size(), 1u);
}

TEST_F(TrackingTest, ARowWhoseFirstFolderFailedStaysNew) {
  const auto t = Result({"CLIENT.SYSTEM_ID"}, {"11"});
  EXPECT_EQ(Record(t, "CLIENTS", "DEMO", 1, 0), 0);
  EXPECT_EQ(Record(t, "CLIENTS", "DEMO", 1, -1), 0);
  EXPECT_TRUE(Tracked("DEMO").empty());
  EXPECT_EQ(Count("Updating QUIL_SPROUTSMITH information"), 0);
  // Left deeper down, or at level 1 with a folder made: recorded.
  EXPECT_EQ(Record(t, "R1", "DEMO", 2, 0), 1);
  EXPECT_EQ(Record(t, "R2", "DEMO", 1, 7), 1);
  EXPECT_EQ(Tracked("DEMO").size(), 2u);
}

TEST_F(TrackingTest, RuleNamesWithWildcardsOrQuotesTouchOnlyTheirOwnRows) {
  const auto t = Result({"O'NEIL.SYSTEM_ID"}, {"9"});
  for (const char* rule : {"AXB", "A_B", "A%B", "O'HARA", "AB"}) {
    EXPECT_EQ(Record(t, rule), 1) << rule;
  }
  for (const char* rule : {"A_B", "A%B", "O'HARA"}) Record(t, rule);
  EXPECT_EQ(Tracked("DEMO"), (Rows{{"9", "O'NEIL", "AXB", "0", ""},
                                   {"9", "O'NEIL", "AB", "0", ""},
                                   {"9", "O'NEIL", "A_B", "0", ""},
                                   {"9", "O'NEIL", "A%B", "0", ""},
                                   {"9", "O'NEIL", "O'HARA", "0", ""}}))
      << Dump();
  EXPECT_EQ(Count("SQL Error"), 0);
}

TEST_F(TrackingTest, TheRulesLibraryIsUsedAndTheConnectedOneRestored) {
  const auto t = Result({"CLIENT.SYSTEM_ID"}, {"11"});
  EXPECT_EQ(Record(t, "CLIENTS", "ARCHIVE"), 1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  EXPECT_EQ(Tracked("ARCHIVE"), (Rows{{"11", "CLIENT", "CLIENTS", "0", ""}}));
  EXPECT_TRUE(Tracked("DEMO").empty());

  // A library that cannot be connected gets nothing, nothing lands elsewhere, and the row is
  // not recorded.
  EXPECT_EQ(Record(t, "CLIENTS", "NOWHERE"), -1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  EXPECT_TRUE(Tracked("DEMO").empty());
  EXPECT_EQ(Count("Unable to connect to library NOWHERE"), 1) << Dump();
}

class QueueTest : public TrackingTest {
 protected:
  void SetUp() override {
    TrackingTest::SetUp();
    matter_ = Scalar("ARCHIVE",
                     "SELECT MATTER FROM PROFILE WHERE MATTER IS NOT NULL ORDER BY "
                     "DOCNUMBER LIMIT 1");
    ASSERT_FALSE(matter_.empty());
    const std::string folder_app =
        Scalar("ARCHIVE", "SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'");
    Exec("ARCHIVE",
         "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, STATUS, "
         "MATTER) VALUES (900001, 900001, 'A folder', " +
             folder_app + ", 0, " + matter_ + ")");
    documents_ = Query("ARCHIVE", "SELECT DOCNUMBER FROM PROFILE WHERE MATTER = " + matter_ +
                                      " AND DOCNUMBER <> 900001 ORDER BY DOCNUMBER");
    ASSERT_GE(documents_.size(), 2u);
    Exec("ARCHIVE", "UPDATE PROFILE SET STATUS = 3 WHERE DOCNUMBER = " + documents_[1][0]);
    // A document without an application is still a document.
    Exec("ARCHIVE",
         "UPDATE PROFILE SET APPLICATION = NULL WHERE DOCNUMBER = " + documents_.back()[0]);
    // Already queued by someone else.
    Exec("ARCHIVE", "INSERT INTO NEEDS_FOLDERING (SID, STATUS, RETRY_COUNT, TABLE_NAME) VALUES (" +
                        documents_[0][0] + ", 5, 0, 'PROFILE')");
  }
  Rows Queue() {
    return Query("ARCHIVE",
                 "SELECT SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, TABLE_NAME, "
                 "MACHINE_NAME, LOCK_TIME FROM NEEDS_FOLDERING ORDER BY SID");
  }

  std::string matter_;
  Rows documents_;
};

TEST_F(QueueTest, TheRowsDocumentsAreQueuedOnceAndFoldersNever) {
  EXPECT_TRUE(tracking_->QueueDocuments("MATTER = " + matter_, "ARCHIVE"));
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
  Rows expected = {{documents_[0][0], "5", "NULL", "0", "NULL", "PROFILE", "NULL", "NULL"}};
  for (size_t i = 1; i < documents_.size(); ++i) {
    expected.push_back({documents_[i][0], "0", "", "0", i == 1 ? "3" : "0", "PROFILE", "", "NULL"});
  }
  EXPECT_EQ(Queue(), expected);
  EXPECT_EQ(Count("Adding New Documents to Queue in library ARCHIVE"), 1);
  EXPECT_EQ(Count("INSERT INTO DOCSADM.NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, "
                  "DOCSTATUS, TABLE_NAME, MACHINE_NAME, LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, "
                  "STATUS, 'PROFILE', '', NULL FROM DOCSADM.PROFILE WHERE MATTER = " +
                  matter_ +
                  " AND NOT EXISTS (SELECT * FROM DOCSADM.APPS WHERE APPS.SYSTEM_ID = "
                  "PROFILE.APPLICATION AND APPS.APPLICATION = 'FOLDER')  AND DOCNUMBER NOT IN "
                  "(SELECT SID FROM DOCSADM.NEEDS_FOLDERING WHERE TABLE_NAME = 'PROFILE')"),
            1)
      << Dump();

  EXPECT_TRUE(tracking_->QueueDocuments("MATTER = " + matter_, "ARCHIVE"));
  EXPECT_EQ(Queue(), expected);
}

TEST_F(QueueTest, NothingIsQueuedWithTheOptionOffOrWithoutConditions) {
  install_.options.CheckAddNewDocs = 0;
  EXPECT_FALSE(tracking_->QueueDocuments("MATTER = " + matter_, "ARCHIVE"));
  EXPECT_EQ(Queue().size(), 1u);
  EXPECT_EQ(Count("Adding New Documents to Queue"), 0);

  install_.options.CheckAddNewDocs = 1;
  EXPECT_FALSE(tracking_->QueueDocuments("  ", "ARCHIVE"));
  EXPECT_EQ(Queue().size(), 1u);
  EXPECT_EQ(Count("Not adding new documents to Queue - unable to form SQL statement"), 1);
  EXPECT_EQ(connection_->LibraryName(), "DEMO");
}

}  // namespace
}  // namespace sproutsmith::rules
