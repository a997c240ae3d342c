#pragma once
// Does a folder of this name already exist at this place: under a parent folder (a folder item
// of the parent, possibly in another library) or at the top of a library? A rule may say that
// only part of the name identifies the folder; a folder found that way by a numeric count is
// renamed to the new full name. Top-level folders the system made or adopted carry the
// "ARBORLINE <rule>" stamp in FOLDER.PATH and are preferred.

#include <string>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_record.h"

namespace sproutsmith::folders {

// How much of a name identifies a folder: `count` > 0 the first characters, < 0 the last,
// 0 with `characters` set: the name up to the first character of their first occurrence.
struct NameParse {
  long count = 0;
  std::string characters;  // trimmed, upper-cased, cut at a "\"

  static NameParse Read(const std::string& text);
  bool UsesCharacters() const { return count == 0 && !characters.empty() && characters != "0"; }
};

// A name between double quotes, as the log lines show names.
std::string Quoted(const std::string& name);

// The name as the search sees it: runs of blanks made single.
std::string CollapseSpaces(std::string name);

// The search pattern for `name` ("%" where the unidentified part goes; the name itself when
// all of it identifies the folder).
std::string SearchPattern(const std::string& name, const NameParse& parse);

// The LIKE text for a pattern: at most 240 characters, every character but the pattern's "%"
// matching only itself, quoted and upper-cased.
std::string LikeText(const std::string& pattern);

// The document number of the folder found (> 0), 0 when none (or an empty name), -1 when the
// search statement failed. `rule` supplies RULE_CREATE_PUBLIC_FOLDERS and its name.
long long CheckForFolder(Context& context, dm::Connection& connection,
                         const std::string& folder_name, const std::string& parse_characters,
                         long long parent_folder, const rules::RuleRecord& rule,
                         const std::string& folder_library, const std::string& item_library);

}  // namespace sproutsmith::folders
