// Folder item processing: one selected row, level by level.

#include "folders/folder_builder.h"

#include <optional>

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "folders/folder_lookup.h"
#include "log/error_trap.h"
#include "sorting/folder_sorting.h"
#include "text/text.h"
#include "workspaces/workspace_users.h"

namespace sproutsmith::folders {

using rules::RuleKey;
using text::Number;
using text::Quoted;
using text::Trim;
using text::UCase;

namespace {

// PROFILE.DOCNAME holds this many characters; a longer name is refused by the DM server.
constexpr long kMaxFolderName = 240;

}  // namespace

FolderBuilder::FolderBuilder(Context& context, dm::Connection& connection)
    : context_(context),
      connection_(connection),
      creator_(context, connection),
      workspaces_(context, connection),
      tracking_(context, connection),
      journal_(context, connection) {}

RowOutcome FolderBuilder::ProcessFolderItem(const RuleRun& run, rules::PendingRow& row,
                                            int number) {
  return log::Trap(context_.log, "ProcessFolderItem", RowOutcome{.failed = true},
                   [&] { return ProcessRow(run, row, number); });
}

long long FolderBuilder::Troubles() const {
  return connection_.FailedStatements() + context_.log.ErrorCount();
}

bool FolderBuilder::Storable(const RuleRun& run, const rules::SourceRow& row, const RowPlan* plan,
                             int number) {
  log::Log& log = context_.log;
  const std::string refused =
      "Error: Row #" + Number(number) + " of rule " + run.rule.Name() + " is not processed - ";
  if (plan == nullptr) {
    // A NUL cuts every statement the value goes into: the row would half-build.
    for (size_t c = 0; c < row.values.size(); ++c) {
      if (row.values[c].find('\0') == std::string::npos) continue;
      log.AddLogAndSeparator(refused + "its column " + row.headings[c] + " holds a NUL character");
      return false;
    }
    if (row.email.find('\0') != std::string::npos) {
      log.AddLogAndSeparator(refused + "its e-mail address holds a NUL character");
      return false;
    }
    return true;
  }
  for (int level = 1; level <= plan->LevelCount(); ++level) {
    const std::string name =
        CollapseSpaces(Trim(plan->level_names[static_cast<size_t>(level - 1)]));
    const long length = text::CharacterCount(name);
    if (length <= kMaxFolderName) continue;
    log.AddLogAndSeparator(refused + "the folder name of its level " + Number(level) + " is " +
                           Number(length) + " characters long (at most " + Number(kMaxFolderName) +
                           "): " + Quoted(name));
    return false;
  }
  return true;
}

RowOutcome FolderBuilder::ProcessRow(const RuleRun& run, rules::PendingRow& row, int number) {
  log::Log& log = context_.log;
  RowOutcome outcome;
  const std::optional<RowPlan> plan = PlanOfRow(run, row.row, number);
  if (!plan) {
    outcome.failed = outcome.refused = true;
    return outcome;
  }
  for (int level = 1; level <= plan->LevelCount(); ++level) {
    outcome.level_left = level;
    if (run.check_for_pause) run.check_for_pause();
    const std::string name = Trim(plan->level_names[static_cast<size_t>(level - 1)]);
    if (name.empty()) {
      if (level == plan->LevelCount()) {
        log.AddLog("Folder level " + Number(level) +
                   " is blank - will not create any more folders for this item");
        break;
      }
      if (level == 1) {
        log.AddLog("Folder level " + Number(level) +
                   " is blank - will not create any folders for this item");
        return outcome;
      }
      continue;
    }
    if (!BuildLevel(run, row, number, *plan, level, CollapseSpaces(name), outcome)) break;
  }
  return outcome;
}

std::optional<RowPlan> FolderBuilder::PlanOfRow(const RuleRun& run, const rules::SourceRow& source,
                                                int number) {
  if (!Storable(run, source, nullptr, number)) return std::nullopt;
  std::vector<std::string> headings(1), values(1);
  headings.insert(headings.end(), source.headings.begin(), source.headings.end());
  values.insert(values.end(), source.values.begin(), source.values.end());
  values.resize(headings.size());
  const long autofolder = static_cast<long>(run.rule.Number(RuleKey::kAutofolderLevel));
  RowPlan plan = PlanRow(context_.log, headings, values, number, run.rows, run.compiled.parsed,
                         run.compiled.selection, autofolder);
  if (!Storable(run, source, &plan, number)) return std::nullopt;
  return plan;
}

std::string FolderBuilder::ItemLibrary(const RuleRun& run, const std::string& name) {
  log::Log& log = context_.log;
  const std::string& email_name = run.rule[RuleKey::kEmailName];
  const std::string& email_library = run.rule[RuleKey::kEmailLibrary];
  log.AddLogAndSeparator("Comparing folder name '" + name + "' with '" + email_name +
                         "' with library " + email_library);
  if (UCase(Trim(email_name)) != UCase(Trim(name)) || email_library.empty()) return run.library;
  log.AddLogAndSeparator("Setting library for folder \"" + email_name + "\" to " + email_library);
  return email_library;
}

bool FolderBuilder::CommitRow(const RuleRun& run, int number, RowOutcome& outcome) {
  if (connection_.CommitHeld(run.library)) return true;
  context_.log.AddLogAndSeparator(
      "Error: The changes of row #" + Number(number) + " of rule " + run.rule.Name() +
      " could not be written to the library - the rule stops here and the next "
      "cycle does the row again");
  outcome.lost = true;
  return false;
}

bool FolderBuilder::BuildLevel(const RuleRun& run, rules::PendingRow& row, int number,
                               const RowPlan& plan, int level, const std::string& name,
                               RowOutcome& outcome) {
  const std::string item_library = ItemLibrary(run, name);
  // A statement of this level that failed (a refused write), or a step that reported an
  // error, leaves it short of what a whole run gives it: the row stops here, and its note
  // still names this level.
  const long long failures = Troubles();
  FolderRequest request{
      name,
      {.library = item_library, .parent = outcome.parent_folder, .parent_library = run.library},
      level};
  if (row.creating_level == level) request.resume_above = row.watermark;
  request.row = row.id;
  request.before_create = [&](long long highest) {
    // What the row made so far becomes durable before the note that guards the next folder:
    // a break then loses at most that folder, which the note lets the next cycle finish. A
    // folder made in another library commits apart from the note, so the note goes first.
    return CommitRow(run, number, outcome) &&
           journal_.NoteCreating(run.library, run.rule.Name(), row, level, highest) &&
           (text::EqualsNoCase(item_library, run.library) || CommitRow(run, number, outcome));
  };
  const long long folder = creator_.CreateFolder(request, run.rule, run.error_mode);
  outcome.parent_folder = folder;
  if (folder <= 0) {
    outcome.failed = true;
    return false;
  }
  if (creator_.FolderExisted()) {
    if (Troubles() <= failures) return true;
    outcome.failed = true;
    return false;
  }

  ++outcome.folders_added;
  context_.options.LabelAdded =
      Number(static_cast<long long>(text::Val(context_.options.LabelAdded)) + 1);
  if (context_.state.CancelRequested) {
    // The folder's own steps have not run: the next cycle finishes the row.
    outcome.interrupted = true;
    return false;
  }
  // Only a new top folder is sorted after the row; links under existing folders sort their
  // parents themselves.
  if (level == 1) outcome.first_level_folder = folder;
  NewFolderSteps(run, row.row, plan, level, folder, name, item_library);
  if (Troubles() > failures) {
    creator_.LastFolderUnfinished();
    outcome.failed = true;
    return false;
  }
  return true;
}

void FolderBuilder::NewFolderSteps(const RuleRun& run, const rules::SourceRow& row,
                                   const RowPlan& plan, int level, long long folder,
                                   const std::string& name, const std::string& item_library) {
  SetMetadata(run, plan, level, folder, item_library);
  {
    // The folder's own profile row lives in its own library.
    dm::Reconnect back(connection_);
    if (connection_.ConnectLibrary(item_library)) {
      if (level == static_cast<int>(run.rule.Number(RuleKey::kEmailLevel)) && !row.email.empty()) {
        SetEmailAddress(row.email, folder);
      }
      SetAuthor(folder);
    }
  }
  if (!run.site_lookups.empty()) {
    UpdateSiteProfile(context_, connection_, run.rule.Name(), run.site_lookups, level, folder);
  }
  Workspaces(run, plan, level, folder, name, item_library);
  if (context_.options.CheckAddNewDocs != 0 && level == plan.LevelCount()) {
    tracking_.QueueDocuments(plan.queue_conditions, run.library);
  }
}

void FolderBuilder::SetMetadata(const RuleRun& run, const RowPlan& plan, int level,
                                long long folder, const std::string& item_library) {
  if (plan.folder_metadata_set.empty() && plan.document_type_clause.empty()) return;
  log::Log& log = context_.log;
  std::string set = plan.folder_metadata_set;
  if (level == plan.LevelCount() && !plan.document_type_clause.empty()) {
    set += (set.empty() ? "" : ", ") + plan.document_type_clause;
  }
  if (set.empty()) {
    log.AddLogAndSeparator(
        "Warning: Unable to identify folder profile metadata from input value(s)");
    return;
  }
  if (UCase(item_library) != UCase(run.library)) {
    // The values are record numbers of the processed library: in another library they would
    // name other rows, and the folder's number there names another document.
    log.AddLogAndSeparator("Warning: Not setting folder profile metadata for folder #" +
                           Number(folder) + " - it lives in library " + item_library);
    return;
  }
  dm::Reconnect back(connection_);
  connection_.ConnectLibrary(run.library);
  log.AddLogAndSeparator("Updating folder profile metadata from input value(s) in library " +
                         connection_.LibraryName());
  long long affected = 0;
  connection_.RunStatement(
      "UPDATE [OWNER].PROFILE SET " + set + " WHERE DOCNUMBER = " + Number(folder), &affected);
  if (affected == 0) {
    log.AddLogAndSeparator("Warning: Unable to set folder profile metadata from input value(s)");
  }
}

void FolderBuilder::SetEmailAddress(const std::string& address, long long folder) {
  log::Log& log = context_.log;
  const std::string quoted = dm::SqlQuote(address);
  const std::string current =
      Trim(connection_
               .ReadFirstRow("SELECT PD_ADDRESSEE FROM [OWNER].PROFILE WHERE DOCNUMBER = " +
                             Number(folder))
               .Text(1));
  if (!current.empty()) return;
  const dm::FirstRow count = connection_.ReadFirstRow(
      "SELECT COUNT(*) FROM [OWNER].PROFILE WHERE PD_ADDRESSEE = '" + quoted + "'");
  if (count.succeeded && count.Number(1) == 0) {
    log.AddLogAndSeparator("Setting eMail address for this folder to " + Quoted(address));
    connection_.RunStatement("UPDATE [OWNER].PROFILE SET PD_ADDRESSEE = '" + quoted +
                             "' WHERE DOCNUMBER = " + Number(folder));
  } else {
    log.AddLogAndSeparator("Cannot set the eMail address for this folder to " + Quoted(address) +
                           " - the address is currently assigned to another item in library " +
                           connection_.LibraryName());
  }
}

void FolderBuilder::SetAuthor(long long folder) {
  const dm::FirstRow author = connection_.ReadFirstRow(
      "SELECT AUTHOR FROM [OWNER].PROFILE WHERE DOCNUMBER = " + Number(folder));
  if (!author.succeeded || author.Number(1) != 0) return;
  const std::string user = connection_.UserId();
  context_.log.AddLogAndSeparator("Author is not set - changing author for document #" +
                                  Number(folder) + " to " + user);
  connection_.RunStatement(
      "UPDATE [OWNER].PROFILE SET AUTHOR = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = "
      "'" +
      dm::SqlQuote(user) + "') WHERE DOCNUMBER = " + Number(folder));
}

void FolderBuilder::Workspaces(const RuleRun& run, const RowPlan& plan, int level, long long folder,
                               const std::string& name, const std::string& item_library) {
  log::Log& log = context_.log;
  const rules::RuleRecord& rule = run.rule;
  const std::vector<std::string> users = workspaces::WorkspaceUsers(
      context_, connection_,
      {.level = level,
       .author_level = static_cast<int>(rule.Number(RuleKey::kWorkspaceAuthor)),
       .typist_level = static_cast<int>(rule.Number(RuleKey::kWorkspaceTypist)),
       .profile_level = plan.profile_workspace_level,
       .source_profile = plan.source_profile_id,
       .people_link = run.compiled.selection.people_link,
       .group_link = run.compiled.selection.group_link,
       .people_value = plan.people_link_value,
       .group_value = plan.group_link_value,
       .group = rule[RuleKey::kWorkspaceGroup]});
  log.AddLogAndSeparator("Workspace users to process: " +
                         Number(static_cast<long long>(users.size())));
  if (!users.empty()) {
    std::string workspace = rule[RuleKey::kWorkspaceName];
    if (workspace.empty()) {
      const std::string default_workspace =
          Trim(connection_.library_state().settings.DefaultWorkspace);
      const bool default_rule =
          rule.Name().empty() || UCase(rule.Name()).find("*DEFAULT RULE*") != std::string::npos;
      workspace = default_rule && !default_workspace.empty() ? default_workspace : rule.Name();
    }
    if (folder == 0) {
      log.AddLog("Warning: Workspace level reached for this document - DocNumber is not set");
    } else if (name.empty()) {
      log.AddLog(
          "Warning: Workspace level reached for this document - Workspace item name is "
          "not set");
    } else if (workspace.empty()) {
      log.AddLog("Warning: Workspace level reached for this document - Workspace name is not set");
    } else {
      log.SetStatus("Processing " + Number(static_cast<long long>(users.size())) +
                    " subscription(s) for item " + Quoted(name) + " to Workspace " +
                    Quoted(workspace));
      log.Separator();
      for (const std::string& user : users) {
        log.SetStatus("Processing workspace functions (level " + Number(level) + ") on folder " +
                      Quoted(name) + "\r\n to workspace " + Quoted(workspace) +
                      " for Author-related user " + user + " from folder library " + item_library +
                      " #" + Number(folder));
        log.Separator();
        workspaces_.AddToWorkspace(name, folder, user, workspace, item_library);
      }
    }
  }
  log.Separator();
}

void FolderBuilder::SortFolders(long long folder) {
  sorting::SortFolders(context_, connection_, folder, connection_.LibraryName(),
                       connection_.library_state().settings.MaxItemsToSort);
}

void FolderBuilder::RecordRow(const RuleRun& run, const rules::PendingRow& row,
                              const RowOutcome& outcome) {
  if (outcome.refused) {
    // Nothing was written for it: there is nothing to finish.
    journal_.Forget(run.library, run.rule.Name(), row);
    return;
  }
  if (outcome.failed || outcome.interrupted) {
    // A recorded row is never selected again: its missing folders would never be built.
    context_.log.AddLogAndSeparator(
        "Warning: Not recording this row of rule " + run.rule.Name() +
        " - its folders are incomplete and the next cycle finishes them");
    return;
  }
  if (tracking_.RecordProcessedRow(row.row, run.rule.Name(), run.library, outcome.level_left,
                                   outcome.parent_folder) < 0) {
    return;  // stays in the journal: the next cycle records it
  }
  journal_.Forget(run.library, run.rule.Name(), row);
}

}  // namespace sproutsmith::folders
