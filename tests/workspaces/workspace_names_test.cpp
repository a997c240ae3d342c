// Workspace names: user tokens, the default workspace and the short names of REGISTRY rows.

#include "workspaces/workspace_names.h"

#include <gtest/gtest.h>

#include <vector>

namespace sproutsmith::workspaces {
namespace {

std::string Value(NameToken token) {
  switch (token) {
    case NameToken::kUserId:
      return "JDOE";
    case NameToken::kAuthor:
      return "USER1";
    case NameToken::kAuthorGroup:
      return "LITIGATION";
    case NameToken::kTypist:
      return "TYPER";
    case NameToken::kTypistGroup:
      return "TAX";
  }
  return "?";
}

TEST(WorkspaceNamesTest, TokensAreReplacedOnceInAnyLetterCase) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"%AUTHOR% Matters", "USER1 Matters"},
      {"%author% Matters", "USER1 Matters"},
      {"Files of %Author.User_Id%", "Files of USER1"},
      {"%AUTHOR.PRIMARY_GROUP% - %AUTHOR%", "LITIGATION - USER1"},
      {"%USER_ID%/%TYPIST%/%typist.primary_group%", "JDOE/TYPER/TAX"},
      {"%TYPIST.USER_ID% and %AUTHOR%", "TYPER and USER1"},
      // Only the first occurrence of each token.
      {"%AUTHOR% and %AUTHOR%", "USER1 and %AUTHOR%"},
      // Both spellings of the author are replaced, each once.
      {"%AUTHOR% %author.user_id% %AUTHOR%", "USER1 USER1 %AUTHOR%"},
      {"100% Done", "100% Done"},
      {"%AUTHOR", "%AUTHOR"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceNameTokens(c.name, Value), c.expected) << c.name;
  }
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

TEST(WorkspaceNamesTest, DefaultWorkspaceAndStoredForm) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"", "My Folders"},
      {"   ", "My Folders"},
      {"*DEFAULT RULE*", "My Folders"},
      {"Rule *DEFAULT RULE* 2", "My Folders"},
      {" Matters ", "Matters"},
      {"Line\r\nbreak", "Line  break"},
      {"O'Neil's [files]_100%", "O'Neil's [files]_100%"},
  };
  for (const Case& c : cases) EXPECT_EQ(WorkspaceNameOrDefault(c.name), c.expected) << c.name;
  EXPECT_EQ(StoredText("\n Smith \r"), "Smith");
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
