#include "template/compiler.h"

namespace sproutsmith::templ {

CompiledRule TemplateCompiler::Compile(rules::RuleRecord& rule, const CompileRequest& request) {
  CompiledRule out;
  const TemplateEnvironment env = EnvironmentOf(connection_, request.library, context_.clock.Now());
  if (!ParseRuleTemplate(rule, env, cache_, dictionary_, context_.log, &out.parsed)) return out;
  SelectionRequest selection;
  selection.row_limit_option = request.row_limit_option;
  selection.provisional_row_limit = request.row_limit_option * out.parsed.level_count;
  selection.reuse_statement = request.reuse_statement;
  out.selection = BuildSelection(rule, out.parsed, selection, context_, connection_, store_, cache_,
                                 dictionary_);
  if (!out.selection.complete) {
    out.outcome = CompiledRule::Outcome::kIncomplete;
    return out;
  }
  out.outcome = CompiledRule::Outcome::kSelected;
  const IntakeRequest intake{out.selection.statement, out.selection.row_limit,
                             request.saved_statement, out.selection.saved_index};
  out.intake = RunSelection(intake, rule, context_, connection_, store_);
  return out;
}

}  // namespace sproutsmith::templ
