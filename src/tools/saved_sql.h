#pragma once
// The saved selection statement of a rule: the editor's Test, OK and Cancel, and the form
// in which the statement is kept in QUIL_SETTINGS (one row per part of 1000 characters,
// blanks stored as "<SPC>"). The editor works on one rule of one library; it connects that
// library while it works and the previously connected library again before returning.

#include <string>
#include <string_view>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_store.h"

namespace sproutsmith::tools {

inline constexpr size_t kSavedPartLength = 1000;
// The pieces of the rule record that hold the statement in memory.
inline constexpr size_t kRecordPieceLength = 1024;

// Every blank followed by a non-blank, or ending the text, becomes "<SPC>"; other blanks
// are dropped, so a run of blanks becomes one marker. Line breaks count as blanks (the
// stored form could not keep them).
std::string EncodeSpaces(std::string_view text);
// The encoded text cut into parts of kSavedPartLength; the last part loses its trailing
// blanks, and a part that is blank is left out.
std::vector<std::string> SplitParts(std::string_view encoded);

enum class TestResult {
  kEmpty,   // nothing to test
  kPassed,  // the statement ran; the row count was shown
  kFailed,  // the SQL object reported an error (shown)
};

enum class SaveResult {
  kSaved,        // the statement's parts were written
  kCleared,      // an empty statement: every part removed
  kNotSaved,     // the operator declined clearing, or the test before saving failed
  kUntested,     // a test was required and the operator declined it: nothing saved
  kWriteFailed,  // the library could not be connected or a part could not be written
};

// Whether OK saves a statement nobody tested: the window offers the test, the shell tool
// (where nobody may be there to answer) requires it.
enum class Testing { kOffered, kRequired };

class SavedSqlEditor {
 public:
  // The editor of `rule` (its name as the rule store holds it) in `library`. `rules` holds
  // the connected library's rules and every saved statement met so far.
  SavedSqlEditor(Context& context, dm::Connection& connection, rules::RuleStore& rules,
                 std::string library, std::string rule);

  // Opening: the saved statement of the library and rule (trimmed); "" after adding an
  // empty entry to the saved-statement list when there is none.
  std::string Open();
  // ButtonTest: runs `text` in the editor's library and shows the row count or the error.
  TestResult Test(const std::string& text);
  // ButtonOK: `text` is trimmed in place; offers a test first (an empty text: asks whether
  // to clear), then replaces the stored parts and the in-memory copies. With kRequired a No
  // to the test question saves nothing.
  SaveResult Save(std::string& text, Testing testing = Testing::kOffered);
  // ButtonCancel: true when the editor may close (empty text, or the operator confirms).
  bool Cancel(const std::string& text);

  // Rows the last passed test returned.
  long long last_row_count() const { return last_row_count_; }
  const std::string& library() const { return library_; }
  const std::string& rule() const { return rule_; }

 private:
  TestResult TestBody(const std::string& text);
  SaveResult SaveBody(const std::string& text);
  void UpdateMemory(const std::string& text);

  Context& context_;
  dm::Connection& connection_;
  rules::RuleStore& rules_;
  std::string library_;
  std::string rule_;
  long long last_row_count_ = 0;
};

}  // namespace sproutsmith::tools
