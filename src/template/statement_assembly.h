#pragma once
// The selection statement's text from its collected pieces: head, client/matter order,
// WHERE clause, qualifier, row limit in the engine's dialect, ORDER BY.

#include <string>
#include <vector>

#include "log/log.h"
#include "template/join_plan.h"
#include "template/table_list.h"
#include "template/template_item.h"

namespace sproutsmith::templ {

// What the item pass and the later steps collected; the statement is assembled from it.
struct SelectionParts {
  std::string select_list;
  std::string sid_list;
  std::string exclusion;
  int outer_depth = 0;
  std::string join_list;
  std::vector<JoinEntry> joins;  // the join list, entry by entry
  std::string order_list;
  std::string parameter_text;
  std::vector<std::string> parameter_tables;
  TableList tables;
};

struct AssemblyOptions {
  int engine = 10;  // DatabaseEngine
  std::string owner = "DOCSADM";
  std::string outer_join_equals = " = ";
  bool initialize = false;
  std::string text_max_folders = "0";
  std::string site_name;
  std::string rule_name;
  std::string library_name;
  std::string sproutsmith_text;
};

// The statement of `parts` (head, client/matter order, WHERE, qualifier, row limit, ORDER
// BY). `*row_limit` is the limit decided so far; on Microsoft SQL Server and Sybase a
// positive TextMaxFolders replaces it. "" when a table of the statement would be joined to
// nothing: the rule is incomplete.
std::string AssembleStatement(const SelectionParts& parts, const ParsedTemplate& parsed,
                              const AssemblyOptions& options, long* row_limit, log::Log& log);

}  // namespace sproutsmith::templ
