#pragma once
// One selected row cut into folder levels: its values cleaned and trimmed, the levels' names,
// and what the row says about the new folders' profiles, workspaces and queued documents.

#include <string>
#include <vector>

#include "log/log.h"
#include "template/selection_builder.h"
#include "template/template_item.h"

namespace sproutsmith::folders {

struct RowPlan {
  std::vector<std::string> level_names;  // [0] is level 1
  int profile_workspace_level = 0;
  long long source_profile_id = 0;
  std::string group_link_value, people_link_value;
  std::string folder_metadata_set;   // "COLUMN = n, ..."
  std::string document_type_clause;  // "DOCUMENTTYPE = n"
  std::string queue_conditions;      // "... AND ..."

  int LevelCount() const { return static_cast<int>(level_names.size()); }
};

// Cleans a value as the row walk does: every "%" removed, a leading "APPS." made "APPS".
std::string CleanValue(const std::string& value);

// Walks one row. `values` (1-based by column, [0] unused) are cleaned and trimmed in place,
// with every step logged. `autofolder_level` 0 keeps every level.
RowPlan PlanRow(log::Log& log, const std::vector<std::string>& headings,
                std::vector<std::string>& values, int row, int rows,
                const templ::ParsedTemplate& parsed, const templ::Selection& selection,
                long autofolder_level);

}  // namespace sproutsmith::folders
