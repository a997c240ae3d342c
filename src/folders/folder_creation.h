#pragma once
// One folder of a path: found under its parent (or at the top), or created through the DM
// API with its profile, stamp, public flag, trustees and link under the parent.

#include <functional>
#include <map>
#include <string>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_record.h"

namespace sproutsmith::folders {

struct FolderRequest {
  std::string name;
  long long parent = 0;        // 0: a top-level folder
  std::string parent_library;  // "" = the connected library
  std::string item_library;    // "" = the parent's library
  int level = 1;               // 1 for the first level of a path
  // The row was making this folder when an earlier run stopped: a folder numbered above this
  // (the item library's highest document number before it) is that one, finished now instead
  // of made again. -1 when not resuming.
  long long resume_above = -1;
  // Told the item library's highest document number right before a folder is made; false
  // keeps the folder from being made. May be empty.
  std::function<bool(long long highest)> before_create;
};

class FolderCreator {
 public:
  FolderCreator(Context& context, dm::Connection& connection)
      : context_(context), connection_(connection) {}

  // The folder's document number (> 0) when it exists or was made; 0 or less when nothing
  // usable was made. `error_mode` is handed to the DM client's saves (2 shows, 3 silent).
  long long CreateFolder(const FolderRequest& request, const rules::RuleRecord& rule,
                         int error_mode);

  // The last CreateFolder found the folder instead of making (or finishing) it.
  bool FolderExisted() const { return folder_existed_; }
  // The folder the last CreateFolder made or finished did not get all of its own steps
  // written: later rows wait for it as for one CreateFolder could not finish.
  void LastFolderUnfinished();

 private:
  long long Create(const FolderRequest& request, const rules::RuleRecord& rule, int error_mode);

  Context& context_;
  dm::Connection& connection_;
  bool folder_existed_ = false;
  std::string last_place_;  // where the last CreateFolder looked, "" when it did not get so far
  long long last_folder_ = 0;
  // Folders saved but not finished (a step after the save failed), by their place: the next
  // row that needs the same folder finishes this one rather than making a second.
  std::map<std::string, long long> unfinished_;
};

}  // namespace sproutsmith::folders
