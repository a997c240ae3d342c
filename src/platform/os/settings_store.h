#pragma once
// Per-user application settings: one INI-style text file per application name, sections and
// keys as the product names them, values as strings. Every Save rewrites the file atomically
// (temporary file + rename), so a killed process never leaves a half-written file.
//
// Section and key names match without regard to letter case, as the Windows settings store
// the product was written for did; a key keeps the spelling it was first saved with. Keys
// and sections stay in the order they were first saved. A line the store cannot read is
// skipped, never fatal.

#include <string>
#include <utility>
#include <vector>

#include "platform/os/environment.h"

namespace sproutsmith::os {

struct Setting {
  std::string section;
  std::string key;
  std::string value;
};

class SettingsStore {
 public:
  // `folder` holds the files; created on the first Save. Default: DefaultFolder().
  explicit SettingsStore(std::string folder);

  // $XDG_CONFIG_HOME/sproutsmith, else $HOME/.config/sproutsmith (the account's home folder
  // when HOME is not set).
  static std::string DefaultFolder(const Environment& env);

  // The stored value, or `fallback` when the file, section or key is absent.
  std::string Get(const std::string& application, const std::string& section,
                  const std::string& key, const std::string& fallback = "") const;
  // Writes one value. Returns false (and changes nothing on disk) when the file cannot be
  // written, or when a name is empty or a name or the value holds a line break (the file
  // could not keep it).
  bool Save(const std::string& application, const std::string& section, const std::string& key,
            const std::string& value);
  // Writes several values with one rewrite of the file, in the order given. A value that
  // Save would refuse is skipped and makes the result false; the others are still written.
  bool SaveAll(const std::string& application, const std::vector<Setting>& settings);

  // <folder>/<application>.ini ("/" in the name becomes "_").
  std::string FilePath(const std::string& application) const;
  const std::string& folder() const { return folder_; }

 private:
  using Entries = std::vector<std::pair<std::string, std::string>>;
  using Sections = std::vector<std::pair<std::string, Entries>>;
  Sections Load(const std::string& application) const;

  std::string folder_;
};

}  // namespace sproutsmith::os
