#pragma once
// Per-user application settings: one INI-style text file per application name, sections and
// keys as the product names them, values as strings. Every Save rewrites the file atomically
// (temporary file + rename), so a killed process never leaves a half-written file.

#include <map>
#include <string>

namespace sproutsmith::os {

class SettingsStore {
 public:
  // `folder` holds the files; created on the first Save. Default: DefaultFolder().
  explicit SettingsStore(std::string folder);

  // $XDG_CONFIG_HOME/sproutsmith, else $HOME/.config/sproutsmith.
  static std::string DefaultFolder();

  // The stored value, or `fallback` when the file, section or key is absent.
  std::string Get(const std::string& application, const std::string& section,
                  const std::string& key, const std::string& fallback = "") const;
  // Writes one value. Returns false (and changes nothing on disk) when the file cannot be
  // written.
  bool Save(const std::string& application, const std::string& section, const std::string& key,
            const std::string& value);

  std::string FilePath(const std::string& application) const;
  const std::string& folder() const { return folder_; }

 private:
  using Sections = std::map<std::string, std::map<std::string, std::string>>;
  Sections Load(const std::string& application) const;

  std::string folder_;
};

}  // namespace sproutsmith::os
