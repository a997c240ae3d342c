#include "sorting/folder_sorting.h"

namespace sproutsmith::sorting {

bool SortFolders(Context&, dm::Connection&, long long, const std::string&, long) { return false; }
bool SortThisFolder(Context&, dm::Connection&, long long, const std::string&, long) {
  return false;
}

}  // namespace sproutsmith::sorting
