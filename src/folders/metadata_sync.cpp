#include "folders/metadata_sync.h"

namespace sproutsmith::folders {

bool SyncData(Context&, dm::Connection&, long long, long long, const std::string&,
              const std::string&, const std::string&) {
  return false;
}

void CDoc(Context&, dm::Connection&, const std::string&) {}

}  // namespace sproutsmith::folders
