#pragma once
// The folder builder: walks each selected row's levels from the top, finds or creates each
// folder, gives new folders their metadata, e-mail address, author and workspace entries,
// queues the documents of new bottom folders, and records the row once it is done.

#include <optional>
#include <string>
#include <vector>

#include "dm/connection.h"
#include "folders/folder_creation.h"
#include "folders/row_plan.h"
#include "folders/row_processor.h"
#include "log/context.h"
#include "rules/tracking.h"
#include "workspaces/workspaces.h"

namespace sproutsmith::folders {

class FolderBuilder final : public RowProcessor {
 public:
  FolderBuilder(Context& context, dm::Connection& connection);

  RowOutcome ProcessFolderItem(const RuleRun& run, rules::PendingRow& row, int number) override;
  void SortFolders(long long folder) override;
  void RecordRow(const RuleRun& run, const rules::PendingRow& row,
                 const RowOutcome& outcome) override;

 private:
  RowOutcome ProcessRow(const RuleRun& run, rules::PendingRow& row, int number);
  // The row cut into levels; none, with the reason logged, when a value cannot be stored.
  std::optional<RowPlan> PlanOfRow(const RuleRun& run, const rules::SourceRow& source, int number);
  // The folder of one level found, or made and given its own steps. False ends the row.
  bool BuildLevel(const RuleRun& run, rules::PendingRow& row, int number, const RowPlan& plan,
                  int level, const std::string& name, RowOutcome& outcome);
  // The library a level's folder lives in: the rule's, unless the rule names another one for
  // folders of this name.
  std::string ItemLibrary(const RuleRun& run, const std::string& name);
  // The row's held writes made durable; false, with the row lost, when the library refused.
  bool CommitRow(const RuleRun& run, int number, RowOutcome& outcome);
  // Failed statements and error lines so far: a rise over a piece of work means it did not
  // do all it meant to.
  long long Troubles() const;
  // False, with the reason logged, when a value of the row cannot be stored.
  bool Storable(const RuleRun& run, const rules::SourceRow& row, const RowPlan* plan, int number);
  // Everything a folder made just now gets; `item_library` is where it lives.
  void NewFolderSteps(const RuleRun& run, const rules::SourceRow& row, const RowPlan& plan,
                      int level, long long folder, const std::string& name,
                      const std::string& item_library);
  void SetMetadata(const RuleRun& run, const RowPlan& plan, int level, long long folder,
                   const std::string& item_library);
  void SetEmailAddress(const std::string& address, long long folder);
  void SetAuthor(long long folder);
  void Workspaces(const RuleRun& run, const RowPlan& plan, int level, long long folder,
                  const std::string& name, const std::string& item_library);

  Context& context_;
  dm::Connection& connection_;
  FolderCreator creator_;
  workspaces::Workspaces workspaces_;
  rules::Tracking tracking_;
  rules::RowJournal journal_;
};

}  // namespace sproutsmith::folders
