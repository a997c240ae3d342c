#include "rules/row_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/rules_session.h"

namespace sproutsmith::rules {
namespace {

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
  const SourceRow renamed{{"CLIENT.CLIENT_ID", "CLIENT.SYSTEM_ID", ".SYSTEM_ID"},
                          {"C1 new", "11.0", "6"}, ""};
  EXPECT_EQ(RowKey(a), "CLIENT.SYSTEM_ID=11\n");
  EXPECT_EQ(RowKey(a), RowKey(renamed));
  const SourceRow plain{{"X"}, {"1"}, ""};
  EXPECT_EQ(RowKey(plain), EncodeRow(plain));
}

class RowJournalTest : public RulesSession {
 protected:
  void SetUp() override {
    Start({{.name = "DEMO"}, {.name = "ORA", .engine_code = 2}});
    journal_ = std::make_unique<RowJournal>(install_.context, *connection_);
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
  std::unique_ptr<RowJournal> journal_;
};

// On both flavours: rows left from earlier cycles come first, in their order; today's
// values replace those of a row nothing was made for; forgotten rows are gone.
TEST_F(RowJournalTest, UnfinishedRowsComeFirstInTheirOrderAndKeepTheirNotes) {
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
    std::optional<std::vector<PendingRow>> next = journal_->Prepare(
        library, "R1", Selected({{"C3 renamed", "13"}, {"C4", "14"}}), {});
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
    std::optional<std::vector<PendingRow>> other = journal_->Prepare(library, "R2", Selected({}), {});
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

TEST_F(RowJournalTest, ARowCutShortWhileItWasWrittenIsDroppedAndAPartWrittenTwiceIsReadOnce) {
  std::optional<std::vector<PendingRow>> work = journal_->Prepare(
      "DEMO", "R1", Selected({{std::string(1500, 'L'), "11"}, {"C2", "12"}}), {});
  ASSERT_TRUE(work);
  // The long row's last part lost, as by a break between two inserts; the short row's part
  // written a second time.
  Exec("DEMO", "DELETE FROM QUIL_SETTINGS WHERE SECTION_KEY = 'PENDING_ROW " + (*work)[0].id +
                   "' AND KEY_TYPE = 2");
  Exec("DEMO", "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, "
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
