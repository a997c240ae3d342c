#include "dm/library_cache.h"

#include "text/text.h"

namespace sproutsmith::dm {

LibraryCache::LibraryCache(const std::vector<std::string>& names) {
  for (const auto& n : names) libraries_.push_back(CachedLibrary{.name = n});
}

CachedLibrary* LibraryCache::Find(const std::string& name) {
  const std::string wanted = text::UCase(text::Trim(name));
  for (auto& l : libraries_) {
    if (text::UCase(text::Trim(l.name)) == wanted) return &l;
  }
  return nullptr;
}

}  // namespace sproutsmith::dm
