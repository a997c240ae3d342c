#include "folders/folder_membership.h"

namespace sproutsmith::folders {

bool AddFolderItem(Context&, dm::Connection&, long long, long long, const std::string&,
                   const rules::RuleRecord&, const std::string&, const std::string&) {
  return false;
}

}  // namespace sproutsmith::folders
