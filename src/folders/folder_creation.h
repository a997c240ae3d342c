#pragma once
// One folder of a path: found under its parent (or at the top), or created through the DM
// API with its profile, stamp, public flag, trustees and link under the parent.

#include <functional>
#include <map>
#include <string>

#include "dm/connection.h"
#include "dm/item_place.h"
#include "log/context.h"
#include "rules/rule_record.h"

namespace sproutsmith::folders {

// How the DM client's saves report an error: in a box of their own, or only to the caller.
enum class ErrorMode { kShow = 2, kSilent = 3 };

struct FolderRequest {
  std::string name;
  // Where the folder goes: parent 0 for a top-level folder; an empty parent library is the
  // connected one, an empty library the parent's. The number is not used.
  dm::ItemPlace place;
  int level = 1;  // 1 for the first level of a path
  // The row was making this folder when an earlier run stopped: a folder numbered above this
  // (the item library's highest document number before it) is that one, finished now instead
  // of made again. -1 when not resuming.
  long long resume_above = -1;
  // Told the item library's highest document number right before a folder is made; false
  // keeps the folder from being made. May be empty.
  std::function<bool(long long highest)> before_create;
  // Which row asks (its journal id; "" for none): a folder a row failed to make or finish
  // is left to that row.
  std::string row;
};

class FolderCreator {
 public:
  FolderCreator(Context& context, dm::Connection& connection)
      : context_(context), connection_(connection) {}

  // The folder's document number (> 0) when it exists or was made; 0 or less when nothing
  // usable was made. `error_mode` is handed to the DM client's saves.
  long long CreateFolder(const FolderRequest& request, const rules::RuleRecord& rule,
                         ErrorMode error_mode);

  // The last CreateFolder found the folder instead of making (or finishing) it.
  bool FolderExisted() const { return folder_existed_; }

  // The folder the last CreateFolder made could not be given its own steps: like one it
  // could not finish, it is left to the row that asked for it.
  void LastFolderUnfinished();

 private:
  long long Create(const FolderRequest& request, const rules::RuleRecord& rule,
                   ErrorMode error_mode);
  // The folder at `key` is another row's to finish (logged): this row waits.
  bool LeftToEarlierRow(const FolderRequest& request, const std::string& key, long long found);
  long long Existing(const FolderRequest& request, const std::string& key, long long found);
  // The operator's answer when the library asks before a top-level folder is made; a No also
  // cancels the cycle.
  bool TopLevelConfirmed(const FolderRequest& request);

  Context& context_;
  dm::Connection& connection_;
  bool folder_existed_ = false;
  // Folders a row failed to make, or saved but could not finish, by their place: only that
  // row goes on with them; another that needs one waits for the next cycle, so the folder
  // still gets the values of the row a whole run makes it for.
  struct Unfinished {
    long long number = 0;  // 0: not saved
    std::string row;
  };
  std::map<std::string, Unfinished> unfinished_;
  std::string last_place_;  // where the last CreateFolder looked; "" when it got not so far
  Unfinished last_;         // what it made, and for which row
};

}  // namespace sproutsmith::folders
