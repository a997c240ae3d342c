#pragma once
// Template compilation of one rule, as the processing cycle runs it: parse the template,
// build the selection, run it into the result table. Holds what lives for the whole program
// run: the foreign-key cache and the data dictionary reader.

#include <string>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_record.h"
#include "rules/rule_store.h"
#include "template/foreign_keys.h"
#include "template/library_access.h"
#include "template/row_intake.h"
#include "template/selection_builder.h"
#include "template/template_item.h"

namespace sproutsmith::templ {

struct CompileRequest {
  std::string library;            // the library being processed (the rule's library)
  long row_limit_option = 10000;  // TextMaxFolders after the cycle's adjustment
  std::string reuse_statement;    // the saved statement chosen for re-use ("" = none)
  std::string saved_statement;    // the rule's own saved statement ("" = none)
};

struct CompiledRule {
  enum class Outcome {
    kTemplateFailed,  // "Unable to parse template string": uncheck the rule's node
    kIncomplete,      // "SQL incomplete": the results row already reads "Syntax Error"
    kSelected,        // the statement ran (it may have failed or returned nothing)
  };
  Outcome outcome = Outcome::kTemplateFailed;
  ParsedTemplate parsed;  // the item list folder item processing walks
  Selection selection;
  Intake intake;
};

class TemplateCompiler {
 public:
  TemplateCompiler(Context& context, dm::Connection& connection, rules::RuleStore& store)
      : context_(context), connection_(connection), store_(store), dictionary_(connection) {}

  // REQUIRES: the rule's library is connected. `rule` carries the template already cut to
  // RULE_AUTOFOLDER_LEVEL; its e-mail template takes the keyword values.
  CompiledRule Compile(rules::RuleRecord& rule, const CompileRequest& request);

  ForeignKeyCache& cache() { return cache_; }

 private:
  Context& context_;
  dm::Connection& connection_;
  rules::RuleStore& store_;
  DocsColumnDictionary dictionary_;
  ForeignKeyCache cache_;
};

}  // namespace sproutsmith::templ
