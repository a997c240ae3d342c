#pragma once
// Test data and fixtures for template compilation: a data dictionary given as a table (for
// the pure language tests), a window on the log, and a started session over a generated
// installation with the rule store attached (for the end-to-end tests).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "dm/connection.h"
#include "rules/rule_store.h"
#include "support/dm_installation.h"
#include "template/compiler.h"
#include "template/foreign_keys.h"
#include "template/library_access.h"
#include "template/template_levels.h"
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
    int n = 0;
    for (const auto& l : Lines()) n += l.find(fragment) != std::string::npos;
    return n;
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

// A started session over a generated installation, the rule store loading each library's
// rules, and the compiler's caches.
class CompileSession : public ::testing::Test {
 protected:
  void Start(const std::vector<sproutsmith::testing::LibrarySpec>& libraries) {
    install_.Create(libraries);
    client_ = install_.OpenClient();
    ASSERT_TRUE(client_);
    connection_ = std::make_unique<dm::Connection>(install_.context, *client_);
    store_ = std::make_unique<rules::RuleStore>(install_.context, *connection_);
    store_->Attach();
    ASSERT_TRUE(connection_->StartFusion()) << Dump();
    dictionary_ = std::make_unique<DocsColumnDictionary>(*connection_);
  }
  rules::RuleRecord Rule(const std::string& name) {
    const int index = store_->Find(connection_->LibraryName(), name);
    EXPECT_GT(index, 0) << name;
    return index > 0 ? store_->Rule(index) : rules::RuleRecord();
  }
  TemplateEnvironment Environment() {
    return EnvironmentOf(*connection_, connection_->LibraryName(), install_.clock.Now());
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
  std::string Dump() const { return install_.LogText(); }
  std::vector<std::vector<std::string>> Query(const std::string& sql) {
    return install_.Query(connection_->LibraryName(), sql);
  }

  sproutsmith::testing::DmInstallation install_;
  std::unique_ptr<dmapi::Client> client_;
  std::unique_ptr<dm::Connection> connection_;
  std::unique_ptr<rules::RuleStore> store_;
  std::unique_ptr<DocsColumnDictionary> dictionary_;
  ForeignKeyCache cache_;
  std::unique_ptr<TemplateCompiler> compiler_;
};

}  // namespace sproutsmith::templ::testing
