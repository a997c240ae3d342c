#pragma once
// A started DM session with the rule store hooked into every connection, for the
// maintenance tools; library files are read and written behind their back with plain SQL.

#include <memory>
#include <string>

#include "rules/rule_store.h"
#include "support/engine_session.h"
#include "tools/library_choice.h"

namespace sproutsmith::tools {

class ToolsSession : public testing::EngineSession {
 protected:
  // DEMO (current), ARCHIVE and BARE, a library without the system's tables.
  void SetUp() override {
    Start({{.name = "DEMO"}, {.name = "ARCHIVE"}, {.name = "BARE", .with_quil_tables = false}});
    store_ = std::make_unique<rules::RuleStore>(context(), connection());
    store_->Attach();
    store_->LoadRules();
  }

  // The operator's choice of library, as the window's chooser makes it.
  LibraryChooser Choose(const std::string& library) {
    return [this, library] { return connection().ConnectLibrary(library); };
  }
  static LibraryChooser Cancelled() {
    return [] { return false; };
  }

  void Reply(runtime::Answer a) { install_.ui.answers.push_back(a); }
  const std::vector<testing::ShownMessage>& Shown() const { return install_.ui.messages; }
  std::string LastShown() const { return Shown().empty() ? "" : Shown().back().text; }

  // A rule written straight into QUIL_SETTINGS, then the connected library's rules reloaded.
  void AddRule(const std::string& library, const std::string& rule, const std::string& tmpl) {
    Exec(library,
         "INSERT INTO QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, KEY_TYPE) "
         "VALUES ('ARBORLINE', 'RULE_TEMPLATE', '" +
             testing::QuotesDoubled(rule) + "', '" + testing::QuotesDoubled(tmpl) + "', 1)");
    store_->LoadRules();
  }
  void Track(const std::string& library, const std::string& rule, const std::string& table,
             long long sid) {
    Exec(library,
         "INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" +
             std::to_string(sid) + ", '" + testing::QuotesDoubled(table) + "', '" +
             testing::QuotesDoubled(rule) + "', 0, '')");
  }
  Rows Tracked(const std::string& library) {
    return Query(library,
                 "SELECT RULE_NAME, TABLE_NAME, SID FROM QUIL_SPROUTSMITH ORDER BY RULE_NAME, "
                 "TABLE_NAME, SID");
  }
  std::string TrackedCount(const std::string& library, const std::string& where = "1 = 1") {
    return Scalar(library, "SELECT COUNT(*) FROM QUIL_SPROUTSMITH WHERE " + where);
  }

  std::unique_ptr<rules::RuleStore> store_;
};

}  // namespace sproutsmith::tools
