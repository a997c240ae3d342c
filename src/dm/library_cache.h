#pragma once
// What was learnt about each library of the session, once per run, so that later
// connections run no detection query. An empty optional means "not yet learnt".

#include <optional>
#include <string>
#include <vector>

namespace sproutsmith::dm {

struct LibrarySettings {
  std::string ProfileExcludeColumn;
  std::string DefaultWorkspace;
  std::string EmailServer;
  double ContinueOnMove = 0;
  long TopLevelWarning = 0;
  long MaxItemsToSort = 0;
};

struct CachedLibrary {
  std::string name;  // as the library list names it
  std::optional<int> engine;
  std::optional<std::string> owner;
  std::optional<std::string> version_banner;
  bool dateformat_set = false;
  std::optional<std::string> database_version;
  std::optional<std::string> compatibility_level;
  std::optional<std::string> database_name;
  // Library preparation.
  bool prepared = false;  // the steps below ran once
  std::string unique_names;
  std::string own_database_name;
  std::string server_location;
  std::string quoted_identifier;
  bool has_quil_settings = false;
  bool has_needs_foldering = false;
  bool has_needs_securing = false;
  bool has_quil_sproutsmith = false;
  bool has_quil_subscription = false;
  bool has_quil_proxy = false;
  bool has_sec_reason = false;
  bool has_lookup_security = false;
  bool has_security_link = false;
  bool has_workspace_form = false;
  bool has_folder_last_update = false;
  LibrarySettings settings;
  std::vector<std::pair<std::string, long long>> validation_tables;
};

class LibraryCache {
 public:
  // Created at the first connection of the run with every library of the session.
  explicit LibraryCache(const std::vector<std::string>& names);
  // Case-insensitive; null when the session has no such library.
  CachedLibrary* Find(const std::string& name);
  size_t size() const { return libraries_.size(); }

 private:
  std::vector<CachedLibrary> libraries_;
};

}  // namespace sproutsmith::dm
