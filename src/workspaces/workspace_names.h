#pragma once
// How a workspace and its items are named: the rule's workspace name with its user tokens
// filled in, the default workspace, and the short names the REGISTRY rows carry.

#include <functional>
#include <string>
#include <string_view>

namespace sproutsmith::workspaces {

// The workspace every folder goes to when a rule names none.
inline constexpr char kDefaultWorkspace[] = "My Folders";

enum class NameToken {
  kUserId,       // %USER_ID%
  kAuthor,       // %AUTHOR%, %AUTHOR.USER_ID%
  kAuthorGroup,  // %AUTHOR.PRIMARY_GROUP%
  kTypist,       // %TYPIST%, %TYPIST.USER_ID%
  kTypistGroup,  // %TYPIST.PRIMARY_GROUP%
};

// Replaces the first occurrence (any letter case) of each token, one token after the other
// in a fixed order; the rest of the name keeps its case. `value` is asked only for tokens
// the name holds, so a value that costs a look-up is looked up only when needed.
std::string ReplaceNameTokens(std::string_view name,
                              const std::function<std::string(NameToken)>& value);

// A text as a quoted SQL literal stores it: trimmed, CR and LF made blanks. Names are compared
// in this form, so a name with a trailing blank still finds the row it wrote.
std::string StoredText(std::string_view text);

// The stored form of a workspace name; the default workspace when it is empty or names the
// default rule.
std::string WorkspaceNameOrDefault(std::string_view name);

// The first `count` characters of a UTF-8 text (never half a character).
std::string FirstCharacters(std::string_view text, std::size_t count);

}  // namespace sproutsmith::workspaces
