#pragma once
// Does a folder of this name already exist at this place: under a parent folder (a folder item
// of the parent, possibly in another library) or at the top of a library? A rule may say that
// only part of the name identifies the folder; a folder found that way by a numeric count is
// renamed to the new full name. Top-level folders the system made or adopted carry the
// "ARBORLINE <rule>" stamp in FOLDER.PATH and are preferred.

#include <string>

#include "dm/connection.h"
#include "dm/item_place.h"
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

// The name as the search sees it: runs of blanks made single.
std::string CollapseSpaces(std::string name);

// The search pattern for `name` ("%" where the unidentified part goes; the name itself when
// all of it identifies the folder).
std::string SearchPattern(const std::string& name, const NameParse& parse);

// The LIKE text for a pattern: at most 240 characters, every character but the pattern's "%"
// matching only itself, quoted and upper-cased.
std::string LikeText(const std::string& pattern);

// The word that opens FOLDER.PATH of every top folder this system made or adopted.
inline constexpr char kFolderStamp[] = "ARBORLINE";

// The stamp of `rule`'s top folders as an SQL literal: 'ARBORLINE <rule>'.
std::string StampLiteral(const rules::RuleRecord& rule);

// A rule whose top folders are public looks for them among the public folders.
bool SearchesPublicFolders(const rules::RuleRecord& rule);

// What the search statement's SQL object reported.
struct SearchCodes {
  int error_code = 0;
  long error_number = 0;
  std::string description;
  long long rows_affected = 0;
  long long rows = 0;
};

// The folder the search takes: the first one stamped for the rule, else the first row.
struct FolderMatch {
  long long number = 0;  // 0: none; -1: the search statement failed
  std::string name;      // as stored (a partial match's may differ from the one sought)
  std::string item_library, parent_library;
  std::string path;  // upper case; under a parent always "ARBORLINE"
  SearchCodes codes;
};

// The search of CheckForFolder in the connected library, without its log lines and without
// writing anything: no stamp, no rename. `name` has its blanks collapsed already; `place`
// gives the parent folder (0: the top) and its library, and the library of the item sought
// (its number is not used); the rule gives the parse characters and whether top folders are
// public.
FolderMatch FindFolder(dm::Connection& connection, const std::string& name,
                       const dm::ItemPlace& place, const rules::RuleRecord& rule);

// The document number of the folder named `folder_name` at `place` (its library and parent;
// the number is not used), > 0; 0 when none (or an empty name), -1 when the search statement
// failed. `rule` supplies RULE_PARSECHARACTERS, RULE_CREATE_PUBLIC_FOLDERS and its name.
long long CheckForFolder(Context& context, dm::Connection& connection,
                         const std::string& folder_name, const dm::ItemPlace& place,
                         const rules::RuleRecord& rule);

}  // namespace sproutsmith::folders
