#include "rules/tracking.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/row_journal.h"
#include "rules/rules_session.h"

namespace sproutsmith::rules {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class TrackingTest : public RulesSession {
 protected:
  void SetUp() override {
    Start({{.name = "DEMO"}, {.name = "ARCHIVE"}, {.name = "ORA", .engine_code = 2}});
    tracking_ = std::make_unique<Tracking>(install_.context, *connection_);
    journal_ = std::make_unique<RowJournal>(install_.context, *connection_);
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

  static ResultTable Selected(const std::vector<std::vector<std::string>>& rows) {
    ResultTable t;
    t.SetHeadings({"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID"});
    for (const auto& row : rows) t.AddRow(row);
    return t;
  }
  // The values of each row of a work list, in order.
  static std::vector<std::string> Names(const std::vector<PendingRow>& work) {
    std::vector<std::string> names;
    for (const PendingRow& row : work) names.push_back(row.row.values.at(0));
    return names;
  }

  std::unique_ptr<Tracking> tracking_;
  std::unique_ptr<RowJournal> journal_;
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

// The journal of rows a cycle selected but has not finished.
TEST(RowJournalTextTest, EveryRowComesBackExactlyAndACutTextIsNoRow) {
  // A value of 1,200 characters with a two-byte character across the 1,000th byte: the
  // text is written in parts that never split a character.
  const std::string long_value = std::string(997, 'x') + "\xC3\xA9" + std::string(200, 'y');
  const std::vector<SourceRow> rows = {
      {{"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID"}, {"C0001", "11"}, ""},
      {{"A", "B", "C"}, {"it's 50% [done]", "tab\there", "line\r\nbreak"}, "x@example.com"},
      {{"", "\\"}, {" padded ", ""}, ""},
      {{"PROFILE.DOCNAME"}, {long_value}, ""},
      {{}, {}, ""},
  };
  for (const SourceRow& row : rows) {
    const std::string text = EncodeRow(row);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    SourceRow back;
    ASSERT_TRUE(DecodeRow(text, &back)) << text;
    EXPECT_EQ(back, row);
    // A text cut anywhere before its end marker is never taken for a row.
    for (const size_t cut : {text.size() - 1, text.size() / 2, size_t{3}}) {
      EXPECT_FALSE(DecodeRow(text.substr(0, cut), &back)) << cut;
    }
  }
}

TEST(RowJournalTextTest, ARowIsKnownByItsRecordsElseByAllItsValues) {
  const SourceRow a{{"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID", ".SYSTEM_ID"}, {"C1", "11", "5"}, ""};
  const SourceRow renamed{
      {"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID", ".SYSTEM_ID"}, {"C1 new", "11.0", "6"}, ""};
  EXPECT_EQ(RowKey(a), "CLIENT.SYSTEM_ID=11\n");
  EXPECT_EQ(RowKey(a), RowKey(renamed));
  const SourceRow plain{{"X"}, {"1"}, ""};
  EXPECT_EQ(RowKey(plain), EncodeRow(plain));
}

// On both flavours: rows left from earlier cycles come first, in their order; today's
// values replace those of a row nothing was made for; forgotten rows are gone.
TEST_F(TrackingTest, UnfinishedRowsComeFirstInTheirOrderAndKeepTheirNotes) {
  for (const char* library : {"DEMO", "ORA"}) {
    SCOPED_TRACE(library);
    const std::vector<std::string> emails = {"", "c1@x", "c2@x", "c3@x"};
    std::optional<std::vector<PendingRow>> first = journal_->Prepare(
        library, "R1", Selected({{"C1", "11"}, {"C2", "12"}, {"C3", "13"}}), emails);
    ASSERT_TRUE(first);
    ASSERT_EQ(Names(*first), (std::vector<std::string>{"C1", "C2", "C3"}));
    EXPECT_EQ((*first)[1].row.email, "c2@x");
    // C1 finished; C2 was making its level 2 folder; C3 was never reached.
    ASSERT_TRUE(journal_->Forget(library, "R1", (*first)[0]));
    ASSERT_TRUE(journal_->NoteCreating(library, "R1", (*first)[1], 1, 500));
    ASSERT_TRUE(journal_->NoteCreating(library, "R1", (*first)[1], 2, 640));
    // The next selection no longer returns C2 (its records are tracked) but returns C3 with
    // a new name and a new client C4.
    std::optional<std::vector<PendingRow>> next =
        journal_->Prepare(library, "R1", Selected({{"C3 renamed", "13"}, {"C4", "14"}}), {});
    ASSERT_TRUE(next);
    EXPECT_EQ(Names(*next), (std::vector<std::string>{"C2", "C3 renamed", "C4"}));
    EXPECT_EQ((*next)[0].creating_level, 2);
    EXPECT_EQ((*next)[0].watermark, 640);
    EXPECT_TRUE((*next)[0].resumed);
    EXPECT_EQ((*next)[0].row.email, "c2@x");
    EXPECT_FALSE((*next)[2].resumed);
    EXPECT_LT((*next)[1].sequence, (*next)[2].sequence);
    // Read back as stored: the same rows, the rename kept.
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    std::optional<std::vector<PendingRow>> stored = journal_->Load("R1");
    ASSERT_TRUE(stored);
    EXPECT_EQ(Names(*stored), Names(*next));
    // Another rule's rows are its own.
    std::optional<std::vector<PendingRow>> other =
        journal_->Prepare(library, "R2", Selected({}), {});
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->empty());
    for (const PendingRow& row : *next) ASSERT_TRUE(journal_->Forget(library, "R1", row));
    ASSERT_TRUE(connection_->ConnectLibrary(library));
    EXPECT_TRUE(journal_->Load("R1")->empty());
  }
  EXPECT_EQ(install_.CountLogLines(
                "Finishing 2 row(s) of rule R1 that an earlier run selected but did not finish"),
            2);
}

TEST_F(TrackingTest, ARowCutShortWhileItWasWrittenIsDroppedAndAPartWrittenTwiceIsReadOnce) {
  std::optional<std::vector<PendingRow>> work =
      journal_->Prepare("DEMO", "R1", Selected({{std::string(1500, 'L'), "11"}, {"C2", "12"}}), {});
  ASSERT_TRUE(work);
  // The long row's last part lost, as by a break between two inserts; the short row's part
  // written a second time.
  Exec("DEMO", "DELETE FROM QUIL_SETTINGS WHERE SECTION_KEY = 'PENDING_ROW " + (*work)[0].id +
                   "' AND KEY_TYPE = 2");
  Exec("DEMO",
       "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, "
       "KEY_TYPE) SELECT MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, KEY_TYPE "
       "FROM QUIL_SETTINGS WHERE SECTION_KEY = 'PENDING_ROW " +
           (*work)[1].id + "'");
  std::optional<std::vector<PendingRow>> stored = journal_->Load("R1");
  ASSERT_TRUE(stored);
  EXPECT_EQ(Names(*stored), std::vector<std::string>{"C2"});
  EXPECT_EQ(install_.CountLogLines("Forgetting an unfinished row of rule R1 that was cut short "
                                   "while it was being remembered"),
            1);
  EXPECT_EQ(Query("DEMO", "SELECT COUNT(*) FROM QUIL_SETTINGS WHERE SECTION_KEY = 'PENDING_ROW " +
                              (*work)[0].id + "'"),
            (testing::Rows{{"0"}}));
}

}  // namespace
}  // namespace sproutsmith::rules
