#pragma once
// The selection statement of a rule: from the compiled template, the rule's qualifier text
// and parameters and the cycle's options, one SELECT that returns the rule's new source
// rows (one column per template item, one SYSTEM_ID column per source table), excluding the
// rows the tracking table already holds for the rule, limited in the engine's dialect and
// ordered by the template's levels. Written in Microsoft SQL Server flavour with "[OWNER]"
// (the gateway rewrites it for Oracle); on Oracle the joins are written the old way.

#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_record.h"
#include "rules/rule_store.h"
#include "template/foreign_keys.h"
#include "template/join_plan.h"
#include "template/rule_parameters.h"
#include "template/statement_assembly.h"
#include "template/template_item.h"

namespace sproutsmith::templ {

// A table whose column names the DM users of a folder's workspaces.
struct WorkspaceLink {
  std::string table;
  std::string lookup_column;
  std::string key_column;
};

struct SelectionRequest {
  // The row limit option after the cycle's adjustment: 10000 for 0, negative or above
  // 10000; 0 in initialize mode.
  long row_limit_option = 10000;
  // The row limit option times the template's level count.
  long provisional_row_limit = 0;
  // The saved statement the cycle chose for re-use ("" when none).
  std::string reuse_statement;
};

struct Selection {
  // False: "SQL incomplete" was reported and the rule is skipped.
  bool complete = false;
  std::string statement;
  long row_limit = 0;
  std::string sid_list;
  std::string sid_table;
  int sid_count = 0;
  WorkspaceLink group_link;
  WorkspaceLink people_link;
  RuleParameters parameters;
  // The rule's entry in the saved-statement list (0 when the statement was re-used).
  int saved_index = 0;
};

// Builds the rule's statement in the connected library, saves it in the saved-statement
// list (or takes the re-used one) and, in initialize mode, deletes the rule's tracking rows
// of the bottom table. `rule` is the rule as the cycle runs it (template already cut);
// `parsed` keeps the items as folder item processing reads them, its table list extended.
Selection BuildSelection(const rules::RuleRecord& rule, ParsedTemplate& parsed,
                         const SelectionRequest& request, Context& context,
                         dm::Connection& connection, rules::RuleStore& store,
                         ForeignKeyCache& cache, DataDictionary& dictionary);

}  // namespace sproutsmith::templ
