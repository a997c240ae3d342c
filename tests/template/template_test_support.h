#pragma once
// Test data and fixtures for template compilation: a data dictionary given as a table (for
// the pure language tests), a window on the log, and a started session over a generated
// installation with the rule store attached (for the end-to-end tests).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "rules/rule_store.h"
#include "rules/rules_session.h"
#include "support/dm_installation.h"
#include "template/compiler.h"
#include "template/foreign_keys.h"
#include "template/library_access.h"
#include "template/template_levels.h"
#include "template/template_parser.h"
#include "text/text.h"

namespace sproutsmith::templ::testing {

// DOCSCOLUMN rows as test data: {table, column, foreign table, foreign column}. Names match
// without regard to case, as the library's dictionary does.
class MapDictionary final : public DataDictionary {
 public:
  using Row = std::tuple<std::string, std::string, std::string, std::string>;
  explicit MapDictionary(std::vector<Row> rows) : rows_(std::move(rows)) {}

  std::optional<ForeignKey> ForeignKeyOf(const std::string& column,
                                         const std::string& table) override {
    ++lookups;
    for (const auto& [t, c, ft, fc] : rows_) {
      if (text::EqualsNoCase(t, table) && text::EqualsNoCase(c, column)) {
        return ForeignKey{ft, fc, "N"};
      }
    }
    return std::nullopt;
  }
  std::string ProfileForeignTable(const std::string& column) override {
    for (const auto& [t, c, ft, fc] : rows_) {
      if (t == "PROFILE" && text::EqualsNoCase(c, column)) return ft;
    }
    return "";
  }
  int lookups = 0;

 private:
  std::vector<Row> rows_;
};

// The foreign keys of a provisioned library.
inline std::vector<MapDictionary::Row> StandardKeys() {
  return {{"PROFILE", "MATTER", "MATTER", "SYSTEM_ID"},
          {"MATTER", "CLIENT_ID", "CLIENT", "SYSTEM_ID"},
          {"PROFILE", "DOCUMENTTYPE", "DOCUMENTTYPES", "SYSTEM_ID"},
          {"PROFILE", "AUTHOR", "PEOPLE", "SYSTEM_ID"},
          {"PEOPLE", "PRIMARY_GROUP", "GROUPS", "SYSTEM_ID"},
          {"PROFILE", "APPLICATION", "APPS", "SYSTEM_ID"}};
}

inline constexpr char kDefaultTemplate[] =
    "%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% "
    "%DOCUMENTTYPE.TYPE_ID%";

// The log lines written since the window was opened (its start moves with Reset).
class LogWindow {
 public:
  explicit LogWindow(const sproutsmith::testing::DmInstallation& install) : install_(install) {
    Reset();
  }
  void Reset() { start_ = install_.LogMark(); }
  std::vector<std::string> Lines() const { return install_.LogLinesSince(start_); }
  // The lines without the separators.
  std::vector<std::string> Text() const {
    std::vector<std::string> out;
    for (const auto& l : Lines()) {
      if (l != text::kSeparator) out.push_back(l);
    }
    return out;
  }
  int Count(const std::string& fragment) const {
    return install_.CountLogLinesSince(start_, fragment);
  }
  std::string Dump() const {
    std::string s;
    for (const auto& l : Lines()) s += l + "\n";
    return s;
  }

 private:
  const sproutsmith::testing::DmInstallation& install_;
  size_t start_ = 0;
};

// The template language without a library: the data dictionary is a table, the environment
// that of library DEMO on the installation's fixed date (2020-11-14).
class ParserTest : public ::testing::Test {
 protected:
  ParserTest() : window_(install_) {
    env_.library_name = "DEMO";
    env_.library_description = "Demo library";
    env_.processing_library = "DEMO";
    env_.session_libraries = {"DEMO", "ARCHIVE"};
    env_.owner = "DOCSADM";
    env_.today = install_.clock.Now();
  }
  bool Parse(const std::string& template_text, ParsedTemplate* parsed,
             std::string* email = nullptr) {
    window_.Reset();
    return ParseTemplateText(template_text, email, env_, cache_, dictionary_, install_.log, parsed);
  }

  sproutsmith::testing::DmInstallation install_;
  LogWindow window_;
  TemplateEnvironment env_;
  ForeignKeyCache cache_;
  MapDictionary dictionary_{StandardKeys()};
};

// A started session over a generated installation, the rule store loading each library's
// rules, and the compiler's caches.
class CompileSession : public rules::RulesSession {
 protected:
  rules::RuleRecord Rule(const std::string& name) {
    const int index = store_->Find(connection_->LibraryName(), name);
    EXPECT_GT(index, 0) << name;
    return index > 0 ? store_->Rule(index) : rules::RuleRecord();
  }
  // The rule through the whole of template compilation, as the cycle runs it.
  CompiledRule Compile(rules::RuleRecord rule, long row_limit_option = 10000) {
    if (!compiler_)
      compiler_ = std::make_unique<TemplateCompiler>(install_.context, *connection_, *store_);
    rule.Set(rules::RuleKey::kTemplate,
             CutTemplateLevels(rule[rules::RuleKey::kTemplate],
                               static_cast<long>(rule.Number(rules::RuleKey::kAutofolderLevel))));
    return compiler_->Compile(rule, {connection_->LibraryName(), row_limit_option, "", ""});
  }
  std::vector<std::vector<std::string>> Query(const std::string& sql) {
    return install_.Query(connection_->LibraryName(), sql);
  }

  std::unique_ptr<TemplateCompiler> compiler_;
};

}  // namespace sproutsmith::templ::testing
