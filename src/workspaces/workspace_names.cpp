#include "workspaces/workspace_names.h"

#include <array>
#include <utility>

#include "text/text.h"

namespace sproutsmith::workspaces {

std::string ReplaceNameTokens(std::string_view name,
                              const std::function<std::string(NameToken)>& value) {
  static constexpr std::array<std::pair<const char*, NameToken>, 7> kTokens = {{
      {"%USER_ID%", NameToken::kUserId},
      {"%AUTHOR%", NameToken::kAuthor},
      {"%AUTHOR.USER_ID%", NameToken::kAuthor},
      {"%AUTHOR.PRIMARY_GROUP%", NameToken::kAuthorGroup},
      {"%TYPIST%", NameToken::kTypist},
      {"%TYPIST.USER_ID%", NameToken::kTypist},
      {"%TYPIST.PRIMARY_GROUP%", NameToken::kTypistGroup},
  }};
  std::string result(name);
  for (const auto& [token, which] : kTokens) {
    const long at = text::InStrNoCase(result, token);
    if (at == 0) continue;
    const std::string_view t(token);
    result = result.substr(0, at - 1) + value(which) + result.substr(at - 1 + t.size());
  }
  return result;
}

std::string StoredText(std::string_view s) {
  std::string t = text::Trim(s);
  t = text::Replace(t, "\r", " ");
  t = text::Replace(t, "\n", " ");
  return text::Trim(t);
}

std::string WorkspaceNameOrDefault(std::string_view name) {
  const std::string stored = StoredText(name);
  if (stored.empty() || stored.find("*DEFAULT RULE*") != std::string::npos) {
    return kDefaultWorkspace;
  }
  return stored;
}

std::string FirstCharacters(std::string_view s, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t taken = 0; end < s.size() && taken < count; ++taken) {
    ++end;
    // Continuation bytes (10xxxxxx) belong to the character just taken.
    while (end < s.size() && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) ++end;
  }
  return std::string(s.substr(0, end));
}

}  // namespace sproutsmith::workspaces
