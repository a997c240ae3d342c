// Finding a folder under its parent or at the top of a library: patterns from the rule's parse
// characters, escaping, the stamped-first choice and renaming.

#include "folders/folder_lookup.h"

#include <gtest/gtest.h>

#include <string>

#include "folders/library_session.h"

namespace sproutsmith::folders {
namespace {

TEST(SearchPatternTest, PartsOfTheNameThatIdentifyAFolder) {
  struct Case {
    const char* spec;
    const char* name;
    const char* pattern;
  };
  const Case cases[] = {
      {"5", "C0001 Harbour Supplies Ltd", "C0001%"},
      {"-4", "Harbour C123", "%C123"},
      {"-", "C0001-Harbour", "C0001-%"},
      {"  -  ", "C0001-Harbour", "C0001-%"},
      {"- \\ ignored", "C0001-Harbour", "C0001-%"},
      {"#", "no mark here", "no mark here"},
      {"", "Whole Name", "Whole Name"},
      {"0", "Whole Name", "Whole Name"},
      {"3", "AB", "AB%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SearchPattern(c.name, NameParse::Read(c.spec)), c.pattern)
        << c.spec << " / " << c.name;
  }
}

TEST(SearchPatternTest, TheLikeTextMatchesOnlyWhatTheNameSays) {
  EXPECT_EQ(LikeText("O'Brien [Ltd]%"), "O''BRIEN [[]LTD]%");
  EXPECT_EQ(LikeText("A_B"), "A[_]B");
  const std::string long_name(300, 'x');
  EXPECT_EQ(LikeText(long_name), std::string(240, 'X'));
  EXPECT_EQ(CollapseSpaces("A  B   C"), "A B C");
}

using rules::RuleKey;

class FolderLookupTest : public testing::LibrarySession {
 protected:
  void SetUp() override {
    Start({{.name = "LIB"}, {.name = "OTHER"}, {.name = "ORA", .engine_code = 2}});
    rule_.Set(RuleKey::kName, "R1");
  }
  // As folder creation calls it: in the library the folder would live in.
  long long Find(const std::string& name, const std::string& parse, long long parent,
                 const std::string& item_library = "LIB", const std::string& library = "LIB") {
    connection().ConnectLibrary(item_library);
    rule_.Set(RuleKey::kParseCharacters, parse);
    return CheckForFolder(context(), connection(), name,
                          {.library = item_library, .parent = parent, .parent_library = library},
                          rule_);
  }
  std::string Path(long long doc) {
    return Scalar("LIB", "SELECT PATH FROM FOLDER WHERE DOCNUMBER = " + N(doc));
  }

  rules::RuleRecord rule_;
};

TEST_F(FolderLookupTest, UnderAParent) {
  const long long parent = MakeFolder("LIB", "CLIENTS");
  const long long harbour = MakeFolder("LIB", "C0001 Harbour Supplies", parent);
  const long long dash = MakeFolder("LIB", "C0002-Old", parent);
  MakeFolder("LIB", "C0001 Elsewhere");  // not under the parent

  EXPECT_EQ(Find("C0002-New", "-", parent), dash);
  EXPECT_EQ(Profile(dash, "DOCNAME"), "C0002-Old");  // found by parse characters: used as it is
  EXPECT_EQ(Find("Nothing", "", parent), 0);
  EXPECT_EQ(Count("Match on folder item \"Nothing\" not found in parent folder #"), 1);

  // A numeric count adopts and renames: profile and folder item.
  EXPECT_EQ(Find("C0001  Harbour Supplies Ltd", "5", parent), harbour);
  EXPECT_EQ(Profile(harbour, "DOCNAME"), "C0001 Harbour Supplies Ltd");
  EXPECT_EQ(Scalar("LIB", "SELECT DISPLAYNAME FROM FOLDER_ITEM WHERE DOCNUMBER = " + N(harbour)),
            "C0001 Harbour Supplies Ltd");
  EXPECT_GE(Count("The folder name search will be on \"C0001%\""), 1);
  // A parent search never stamps.
  EXPECT_EQ(Path(harbour), "NULL");
}

TEST_F(FolderLookupTest, AtTheTopTheStampedFolderWinsElseTheNewestIsStamped) {
  const long long older = MakeFolder("LIB", "TOP");
  const long long newer = MakeFolder("LIB", "TOP");
  EXPECT_EQ(Find("TOP", "", 0), newer);
  EXPECT_EQ(Path(newer), "ARBORLINE R1");
  EXPECT_EQ(Path(older), "NULL");

  // Stamps of (older, newer) and the folder this rule takes: its own stamp wins; another
  // rule's folder is that rule's tree and is never taken, renamed or filed into.
  struct Case {
    const char* older_path;
    const char* newer_path;
    long long expected;
  };
  const Case cases[] = {
      {"'ARBORLINE R1'", "NULL", older},
      {"'ARBORLINE OTHER RULE'", "NULL", newer},
      {"'ARBORLINE OTHER RULE'", "'ARBORLINE R1'", newer},
      {"'ARBORLINE OTHER RULE'", "'ARBORLINE R10'", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.older_path) + " / " + c.newer_path);
    Exec("LIB", std::string("UPDATE FOLDER SET PATH = ") + c.older_path +
                    " WHERE DOCNUMBER = " + N(older));
    Exec("LIB", std::string("UPDATE FOLDER SET PATH = ") + c.newer_path +
                    " WHERE DOCNUMBER = " + N(newer));
    EXPECT_EQ(Find("top", "", 0), c.expected);
  }
  EXPECT_EQ(Path(older), "ARBORLINE OTHER RULE");
  EXPECT_EQ(Path(newer), "ARBORLINE R10");

  // A folder linked under another folder of this library is not at the top.
  MakeFolder("LIB", "INSIDE", MakeFolder("LIB", "HOLDER"));
  EXPECT_EQ(Find("INSIDE", "", 0), 0);
  EXPECT_EQ(Count("Top-level folder \"INSIDE\" not found in library LIB"), 1);
  EXPECT_EQ(Count("GetRowCount:     0"), 1);
}

TEST_F(FolderLookupTest, PublicRulesSearchOnlyPublicFoldersAndAnItemLibraryOnlyItsOwn) {
  const long long plain = MakeFolder("LIB", "PUBLIC ONE");
  rule_.Set(RuleKey::kCreatePublicFolders, "1");
  EXPECT_EQ(Find("PUBLIC ONE", "", 0), 0);
  EXPECT_EQ(Count("The search will be for a Public Folder"), 1);
  Exec("LIB",
       "INSERT INTO ROOT_OBJECT (DOCNUMBER, DISPLAYNAME) VALUES (" + N(plain) + ", 'PUBLIC ONE')");
  EXPECT_EQ(Find("PUBLIC ONE", "", 0), plain);

  // A folder in another library under a local parent.
  rule_.Set(RuleKey::kCreatePublicFolders, "0");
  const long long parent = MakeFolder("LIB", "CLIENTS");
  const long long remote = MakeFolder("OTHER", "C0009 Remote", parent, "LIB");
  EXPECT_EQ(Find("C0009 Remote", "", parent, "OTHER"), remote);
  EXPECT_EQ(Find("C0009 Remote", "", parent, "LIB"), 0);
}

// The search's escaped pattern reaches each server in a form it reads: "_" and "[" in a name
// match only themselves on Oracle as on SQL Server.
TEST_F(FolderLookupTest, WildcardsAndBracketsInNamesMatchOnlyThemselves) {
  for (const std::string library : {"LIB", "ORA"}) {
    SCOPED_TRACE(library);
    const long long parent = MakeFolder(library, "CLIENTS");
    const long long underscore = MakeFolder(library, "A_B", parent);
    const long long bracket = MakeFolder(library, "ACME [UK] 5", parent);
    MakeFolder(library, "QXR", parent);
    MakeFolder(library, "ACME U 5", parent);
    EXPECT_EQ(Find("a_b", "", parent, library, library), underscore);
    EXPECT_EQ(Find("ACME [UK] 5", "", parent, library, library), bracket);
    EXPECT_EQ(Find("Q_R", "", parent, library, library), 0);
    EXPECT_EQ(Find("ACME [U] 5", "", parent, library, library), 0);
  }
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

}  // namespace
}  // namespace sproutsmith::folders
