// Cutting a selected row into folder levels.

#include "folders/row_plan.h"

#include "text/text.h"

namespace sproutsmith::folders {

using text::Format;
using text::Trim;
using text::UCase;

namespace {

std::string Number(const std::string& value) { return text::Format(text::Val(value), "#0"); }

void Append(std::string& list, const std::string& separator, const std::string& item) {
  if (!list.empty()) list += separator;
  list += item;
}

bool IsSeparator(const std::string& v) { return v == "\\" || v == "/"; }

}  // namespace

std::string CleanValue(const std::string& value) {
  std::string out = text::Replace(value, "%", "");
  if (out.size() >= 5 && out.compare(0, 5, "APPS.") == 0) out = "APPS" + out.substr(5);
  return out;
}

RowPlan PlanRow(log::Log& log, const std::vector<std::string>& headings,
                std::vector<std::string>& values, int row, int rows,
                const templ::ParsedTemplate& parsed, const templ::Selection& selection,
                long autofolder_level) {
  const int columns = static_cast<int>(values.size()) - 1;
  auto heading = [&](int c) -> const std::string& { return headings[static_cast<size_t>(c)]; };
  log.SetStatus("Processing folder item #" + text::Number(row) + " of " + text::Number(rows) +
                " with " + text::Number(columns) + " column(s).");
  log.Separator();

  log.AddLog("SQL results for item #" + text::Number(row) + ":");
  for (int c = 1; c <= columns; ++c) {
    values[c] = CleanValue(values[c]);
    log.AddLog(Format(static_cast<long long>(c), "00") + ": " + heading(c) + "=" + values[c]);
  }
  log.Separator();

  if (columns > 2) {
    for (int c = 2; c <= columns; ++c) {
      const std::string upper = UCase(values[c]);
      const bool left = text::StartsWith(upper, "LEFT");
      if (!left && !text::StartsWith(upper, "RIGHT")) continue;
      const long n = static_cast<long>(text::Val(text::Mid(values[c], left ? 5 : 6)));
      std::string& target = values[c - 1];
      log.AddLog("Trimming SQL column #" + text::Number(c - 1) + " \"" + target + "\"" +
                 (left ? " to first " : " to right-most ") + text::Number(n) + " character(s)");
      if (n != 0) target = left ? text::Left(target, n) : text::Right(target, n);
    }
    log.Separator();
  }

  RowPlan plan;
  plan.level_names.assign(1, "");
  for (int c = 1; c <= columns; ++c) {
    if (heading(c).find("PROFILE.SYSTEM_ID") == std::string::npos) continue;
    plan.source_profile_id = static_cast<long long>(text::Val(values[c]));
    const std::string clause = heading(c) + " = " + text::Number(plan.source_profile_id);
    log.AddLogAndSeparator(clause);
    if (plan.source_profile_id != 0) {
      Append(plan.queue_conditions, " AND ", clause);
      log.AddLogAndSeparator("Adding SQL for adding documents to queue: " + clause);
    }
    break;
  }

  const templ::WorkspaceLink& group = selection.group_link;
  const templ::WorkspaceLink& people = selection.people_link;
  bool stopped = false;
  for (int c = 1; c <= columns && !stopped; ++c) {
    const std::string& h = heading(c);
    const std::string& v = values[c];
    if (!group.table.empty() && !group.key_column.empty() &&
        h == group.table + "." + group.key_column) {
      plan.group_link_value = v;
      log.AddLogAndSeparator("Group Link Value for workspace is " + v);
    }
    if (!people.table.empty() && !people.key_column.empty() &&
        h == people.table + "." + people.key_column) {
      plan.people_link_value = v;
      log.AddLogAndSeparator("People Link Value for workspace is " + v);
    }
    if (h.find("PROFILE.") != std::string::npos &&
        h.find("PROFILE.SYSTEM_ID") == std::string::npos && plan.profile_workspace_level == 0) {
      plan.profile_workspace_level = plan.LevelCount();
      log.AddLogAndSeparator("Profile Workspace Level: " + text::Number(plan.LevelCount()));
    }
    const std::string upper = UCase(h);
    if (upper == "DOCUMENTTYPES.SYSTEM_ID") {
      plan.document_type_clause = "DOCUMENTTYPE = " + Number(v);
    } else if (upper.find(".SYSTEM_ID") != std::string::npos) {
      for (const templ::TemplateItem& item : parsed.items) {
        const std::string& assignment = item.ProfileAssignment;
        const size_t eq = assignment.find('=');
        if (eq == std::string::npos) continue;
        const std::string p = Trim(assignment.substr(0, eq));
        const std::string s = Trim(assignment.substr(eq + 1));
        if (UCase(s) != upper) continue;
        const std::string clause = p + " = " + Number(v);
        if (p.find("DOCUMENTTYPE") != std::string::npos) {
          plan.document_type_clause = "DOCUMENTTYPE = " + Number(v);
          log.AddLog("Adding SQL for adding documents to queue: " + plan.document_type_clause);
        } else if (p != "APPLICATION" && p != "APPS") {
          Append(plan.folder_metadata_set, ", ", clause);
          log.AddLog("Adding SQL for setting folder metadata: " + clause);
        }
        Append(plan.queue_conditions, " AND ", clause);
        log.AddLogAndSeparator("Adding SQL for adding documents to queue: " + clause);
        break;
      }
    } else if (!IsSeparator(v)) {
      plan.level_names.back() += v;
    } else {
      std::string& name = plan.level_names.back();
      name = Trim(CleanValue(name));
      if (!name.empty()) {
        log.AddLog("Level " + text::Number(plan.LevelCount()) + ":" + name + " (a)");
        if (autofolder_level != 0 && plan.LevelCount() >= autofolder_level) {
          stopped = true;
          break;
        }
      }
      if (c < columns) plan.level_names.emplace_back();
    }
  }
  if (stopped) {
    log.Separator();
    log.AddLogAndSeparator("Rule_AutoFolder_Level " + text::Number(autofolder_level) + " reached");
  }
  std::string& last = plan.level_names.back();
  last = Trim(CleanValue(last));
  log.AddLogAndSeparator("Level " + text::Number(plan.LevelCount()) + ":" + last + " (b)");
  if (autofolder_level != 0 && plan.LevelCount() > autofolder_level) {
    log.Separator();
    log.AddLogAndSeparator("Rule_AutoFolder_Level " + text::Number(autofolder_level) + " reached");
    plan.level_names.resize(static_cast<size_t>(autofolder_level));
  }
  return plan;
}

}  // namespace sproutsmith::folders
