#pragma once
// Fixtures for template compilation: a window on the log, and a started session with the rule
// store and the compiler.

#include <gtest/gtest.h>

#include <memory>
#include <string>
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
