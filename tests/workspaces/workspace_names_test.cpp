// Workspace names: user tokens, the default workspace and the short names of REGISTRY rows.

#include "workspaces/workspace_names.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace sproutsmith::workspaces {
namespace {

// Each token's value, in the order of NameToken.
std::string Value(NameToken token) {
  const char* const values[] = {"JDOE", "USER1", "LITIGATION", "TYPER", "TAX"};
  return values[static_cast<int>(token)];
}

TEST(WorkspaceNamesTest, TokensAreReplacedOnceInAnyLetterCaseAndBlankNamesAreTheDefault) {
  const auto tokens = [](const std::string& name) { return ReplaceNameTokens(name, Value); };
  const auto named = [](const std::string& name) { return WorkspaceNameOrDefault(name); };
  struct Case {
    std::function<std::string(const std::string&)> convert;
    const char* name;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {tokens, "%AUTHOR% Matters", "USER1 Matters"},
      {tokens, "%author% Matters", "USER1 Matters"},
      {tokens, "Files of %Author.User_Id%", "Files of USER1"},
      {tokens, "%AUTHOR.PRIMARY_GROUP% - %AUTHOR%", "LITIGATION - USER1"},
      {tokens, "%USER_ID%/%TYPIST%/%typist.primary_group%", "JDOE/TYPER/TAX"},
      {tokens, "%TYPIST.USER_ID% and %AUTHOR%", "TYPER and USER1"},
      // Only the first occurrence of each token.
      {tokens, "%AUTHOR% and %AUTHOR%", "USER1 and %AUTHOR%"},
      // Both spellings of the author are replaced, each once.
      {tokens, "%AUTHOR% %author.user_id% %AUTHOR%", "USER1 USER1 %AUTHOR%"},
      {tokens, "100% Done", "100% Done"},
      {tokens, "%AUTHOR", "%AUTHOR"},
      {tokens, "", ""},
      {named, "", "My Folders"},
      {named, "   ", "My Folders"},
      {named, "*DEFAULT RULE*", "My Folders"},
      {named, "Rule *DEFAULT RULE* 2", "My Folders"},
      {named, " Matters ", "Matters"},
      {named, "Line\r\nbreak", "Line  break"},
      {named, "O'Neil's [files]_100%", "O'Neil's [files]_100%"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.convert(c.name), c.expected) << c.name;
  EXPECT_EQ(StoredText("\n Smith \r"), "Smith");
}

TEST(WorkspaceNamesTest, OnlyTokensTheNameHoldsAreLookedUp) {
  std::vector<NameToken> asked;
  auto recording = [&](NameToken t) {
    asked.push_back(t);
    return Value(t);
  };
  EXPECT_EQ(ReplaceNameTokens("Matters", recording), "Matters");
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(ReplaceNameTokens("%typist.primary_group% %USER_ID%", recording), "TAX JDOE");
  EXPECT_EQ(asked, (std::vector<NameToken>{NameToken::kUserId, NameToken::kTypistGroup}));
}

TEST(WorkspaceNamesTest, FirstCharactersNeverCutsACharacter) {
  EXPECT_EQ(FirstCharacters("Litigation Matters 2020", 13), "Litigation Ma");
  EXPECT_EQ(FirstCharacters("Short", 13), "Short");
  EXPECT_EQ(FirstCharacters("", 13), "");
  // "é" and "ü" take two bytes each; 13 characters are 15 bytes here.
  EXPECT_EQ(FirstCharacters("Société Zürich AG", 13), "Société Züric");
  EXPECT_EQ(FirstCharacters("日本語のフォルダ名です", 3), "日本語");
}

}  // namespace
}  // namespace sproutsmith::workspaces
