#include "sorting/folder_sorting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "folders/library_session.h"

namespace sproutsmith::sorting {
namespace {

using Names = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

class SortingTest : public testing::LibrarySession {
 protected:
  void SetUp() override { Start(Libraries()); }
  virtual std::vector<testing::LibrarySpec> Libraries() {
    return {{.name = "MAIN"}, {.name = "SIDE"}};
  }

  // A folder holding one subfolder per name, linked in the order given.
  long long FolderWith(const std::string& name, const Names& items) {
    const long long parent = MakeFolder("MAIN", name);
    for (const auto& item : items) MakeFolder("MAIN", item, parent, "MAIN");
    return parent;
  }

  // The folder's own rows in chain order, from its one ISFIRST row along NEXT.
  Names Chain(long long parent, const std::string& library = "MAIN") {
    std::map<std::string, std::pair<std::string, std::string>> rows;  // id -> (next, name)
    std::vector<std::string> first;
    for (const auto& r : Query(library,
                               "SELECT SYSTEM_ID, NEXT, ISFIRST, DISPLAYNAME FROM FOLDER_ITEM "
                               "WHERE PARENT_LIBRARY = 0 AND PARENT = " +
                                   N(parent))) {
      rows[r[0]] = {r[1], r[3]};
      if (r[2] == "Y") first.push_back(r[0]);
    }
    EXPECT_EQ(first.size(), rows.empty() ? 0u : 1u) << "ISFIRST rows of folder #" << parent;
    Names chain;
    for (std::string id = first.empty() ? "0" : first[0]; id != "0" && chain.size() <= rows.size();
         id = rows[id].first) {
      chain.push_back(rows.count(id) ? rows[id].second : "<missing " + id + ">");
    }
    return chain;
  }

  // Rewrites the folder's chain to follow the SYSTEM_IDs given.
  void Relink(const std::vector<std::string>& ids) {
    for (size_t i = 0; i < ids.size(); ++i) {
      Exec("MAIN", "UPDATE FOLDER_ITEM SET NEXT = " + (i + 1 < ids.size() ? ids[i + 1] : "0") +
                       ", ISFIRST = '" + (i == 0 ? "Y" : "N") + "' WHERE SYSTEM_ID = " + ids[i]);
    }
  }
  // A column of the folder's own row of the item named `name`.
  std::string Id(long long parent, const std::string& name,
                 const std::string& column = "SYSTEM_ID") {
    return Scalar("MAIN",
                  "SELECT " + column + " FROM FOLDER_ITEM WHERE PARENT_LIBRARY = 0 AND PARENT = " +
                      N(parent) + " AND DISPLAYNAME = '" + testing::QuotesDoubled(name) + "'");
  }

  Rows Items(const std::string& library = "MAIN") {
    return Query(library, "SELECT * FROM FOLDER_ITEM ORDER BY SYSTEM_ID");
  }

  // Runs `sort` and keeps the lines it logged; true when it succeeded.
  bool Logging(const std::function<bool()>& sort) {
    const size_t mark = install_.LogLines().size();
    const bool sorted = sort();
    logged_ = install_.LogLinesSince(mark);
    return sorted;
  }
  bool Sort(long long parent, long limit = 0) {
    return Logging([&] { return SortThisFolder(context(), connection(), parent, "MAIN", limit); });
  }
  // Lines of the last Logging holding `fragment`.
  int Since(const std::string& fragment) const {
    return static_cast<int>(std::count_if(logged_.begin(), logged_.end(), [&](const auto& line) {
      return line.find(fragment) != std::string::npos;
    }));
  }
  // The FOLDER_ITEM statements of the last Logging.
  std::string Writes() const {
    return N(Since("UPDATE DOCSADM.FOLDER_ITEM")) + " updates, " +
           N(Since("INSERT INTO DOCSADM.FOLDER_ITEM")) + " inserts";
  }
  // Sort() as it looks afterwards: its answer, the statements it logged, the rows of MAIN it
  // changed, the folder's chain and which closing line it logged, e.g. "sorted: 3 updates, 0
  // inserts, 3 changed; A B C; finished" (or "not needed").
  std::string Sorted(long long parent) {
    const Rows before = Items();
    std::string text = Sort(parent) ? "sorted: " : "refused: ";
    const Rows after = Items();
    // Rows added or removed count as changed too.
    size_t changed = std::max(after.size(), before.size()) - std::min(after.size(), before.size());
    for (size_t i = 0; i < before.size() && i < after.size(); ++i) changed += after[i] != before[i];
    const Names chain = Chain(parent);
    std::string names;
    for (const std::string& name : chain) names += (names.empty() ? "" : " ") + name;
    text += Writes() + ", " + N(changed) + " changed; " + names;
    const std::string in = "#" + N(parent) + " in library MAIN";
    const int finished = Since("Finished sorting " + N(chain.size()) + " item(s) for folder " + in);
    const int unneeded = Since("Folder " + in + " did not need sorting");
    if (finished + unneeded != 1)
      return text + "; closing lines " + N(finished) + "/" + N(unneeded);
    return text + (finished ? "; finished" : "; not needed");
  }

  std::vector<std::string> logged_;
};

TEST_F(SortingTest, OnlyRowsOutOfPlaceAreWrittenAndASecondSortWritesNothing) {
  struct Case {
    Names stored;
    int updates;
    const char* sorted;
  };
  const Case cases[] = {
      {{"C", "A", "B"}, 3, "A B C"},
      {{"B", "A"}, 2, "A B"},
      {{"A", "B", "D", "C"}, 3, "A B C D"},
      // One item added at the end of a sorted folder moves only its neighbours.
      {{"A", "B", "C", "D", "E", "F", "G", "H", "J", "K", "I"}, 3, "A B C D E F G H I J K"},
      {{"b", "A", "c"}, 2, "A b c"},  // names compare as the library compares them
      {{}, 0, ""},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(++number));
    const long long parent = FolderWith("Case " + std::to_string(number), c.stored);
    const std::string updates = N(c.updates);
    EXPECT_EQ(Sorted(parent), "sorted: " + updates + " updates, 0 inserts, " + updates +
                                  " changed; " + c.sorted +
                                  (c.updates > 0 ? "; finished" : "; not needed"))
        << Dump();
    if (number == 1) {
      // C, A, B: A first, pointing at B, in one pass.
      EXPECT_EQ(Since("UPDATE DOCSADM.FOLDER_ITEM SET [NEXT] = " + Id(parent, "B") +
                      ", ISFIRST = 'Y' WHERE SYSTEM_ID = " + Id(parent, "A")),
                1);
      EXPECT_EQ(Since("3 item(s) in folder #" + N(parent) + " may need sorting"), 1);
      EXPECT_EQ(Since("Sorting 3 item(s) in folder #" + N(parent) + " in library MAIN - pass #1"),
                1);
      EXPECT_EQ(Since("pass #2"), 0);
    }
    EXPECT_EQ(Sorted(parent),
              std::string("sorted: 0 updates, 0 inserts, 0 changed; ") + c.sorted + "; not needed");
  }

  // A folder of one item is never written, even with a chain that points nowhere.
  const long long one = FolderWith("One", {"Lonely"});
  Exec("MAIN", "UPDATE FOLDER_ITEM SET NEXT = 999, ISFIRST = 'N' WHERE PARENT = " + N(one));
  const Rows before = Items();
  EXPECT_TRUE(Sort(one));
  EXPECT_EQ(Writes(), "0 updates, 0 inserts");
  EXPECT_EQ(Since("Folder #" + N(one) + " in library MAIN did not need sorting"), 1);
  EXPECT_EQ(Items(), before);
}

TEST_F(SortingTest, EqualNamesKeepTheOrderOfTheirRowsSoRepeatedSortsAgree) {
  const long long parent = FolderWith("Ties", {"same", "Same", "SAME", "a"});
  const auto ids =
      Query("MAIN", "SELECT SYSTEM_ID, DISPLAYNAME FROM FOLDER_ITEM WHERE PARENT = " + N(parent) +
                        " ORDER BY SYSTEM_ID");
  Relink({ids[2][0], ids[0][0], ids[3][0], ids[1][0]});
  EXPECT_EQ(Sorted(parent), "sorted: 4 updates, 0 inserts, 4 changed; a same Same SAME; finished");
  EXPECT_EQ(Sorted(parent),
            "sorted: 0 updates, 0 inserts, 0 changed; a same Same SAME; not needed");
}

TEST_F(SortingTest, TheItemLimitLeavesLargerFoldersAlone) {
  Names names;
  for (int i = 51; i >= 1; --i) names.push_back("Item " + std::string(i < 10 ? "0" : "") + N(i));
  const long long parent = FolderWith("Big", names);
  const Names descending = names;
  Names ascending(names.rbegin(), names.rend());
  struct Case {
    long limit;
    bool sorted;
    bool noted;
  };
  const Case cases[] = {
      {50, false, true}, {2, false, true}, {51, true, false}, {0, true, false}, {1, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("limit " + N(c.limit));
    std::vector<std::string> ids;
    for (const auto& name : descending) ids.push_back(Id(parent, name));
    Relink(ids);
    const Rows before = Items();
    Sort(parent, c.limit);
    EXPECT_EQ(Chain(parent), c.sorted ? ascending : descending);
    if (!c.sorted) {
      EXPECT_EQ(Items(), before);
    }
    EXPECT_EQ(Since("Note: Folder will NOT be sorted - 51 items in folder and maximum set to " +
                    N(c.limit)),
              c.noted ? 1 : 0);
    EXPECT_EQ(Since("Preparing to sort folder #"), c.limit == 1 ? 0 : 1);
  }
  // Sorting switched off does nothing at all, for one folder or every folder, and that is no
  // failure for the caller to report.
  EXPECT_TRUE(Logging([&] { return SortFolders(context(), connection(), 0, "MAIN", 1); }));
  EXPECT_TRUE(logged_.empty());
}

TEST_F(SortingTest, ItemsOfAnotherLibraryGetACopyOfTheirRowInTheirOwnLibrary) {
  const long long parent = MakeFolder("MAIN", "Mixed");
  MakeFolder("SIDE", "Charlie", parent, "MAIN");
  MakeFolder("MAIN", "Bravo", parent);
  MakeFolder("SIDE", "D'Arcy", parent, "MAIN");
  MakeFolder("SIDE", "Alpha", parent, "MAIN");
  const std::string version =
      Scalar("MAIN", "SELECT MIN(VERSION_ID) FROM VERSIONS WHERE DOCNUMBER = " + N(parent));
  ASSERT_FALSE(version.empty());
  // SIDE's copies of MAIN's rows of the folder, by name.
  auto copies = [&] {
    return Query("SIDE",
                 "SELECT DISPLAYNAME, DOCNUMBER, ISFIRST, NEXT, PARENT_VERSION, REMOTE_SYSTEM_ID, "
                 "LIBRARY, NODE_TYPE, VERSION_TYPE, STATUS FROM FOLDER_ITEM WHERE PARENT = " +
                     N(parent) +
                     " AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE "
                     "LIBRARY_NAME = 'MAIN') ORDER BY DISPLAYNAME");
  };
  auto expected = [&](const std::string& first) {
    Rows rows;
    for (const std::string name : {"Alpha", "Charlie", "D'Arcy"}) {
      rows.push_back({name, Id(parent, name, "DOCNUMBER"), name == first ? "Y" : "N", "0", version,
                      Id(parent, name), "0", "F", "R", "0"});
    }
    return rows;
  };
  // The stand-in copies each link into the item's library, first as it was when linked.
  ASSERT_EQ(copies(), expected("Charlie"));

  ASSERT_TRUE(Sort(parent));
  EXPECT_EQ(Chain(parent), (Names{"Alpha", "Bravo", "Charlie", "D'Arcy"}));
  EXPECT_EQ(copies(), expected("Alpha")) << Dump();
  EXPECT_EQ(Since(", REMOTE_SYSTEM_ID = "), 2);
  EXPECT_EQ(Since("INSERT INTO DOCSADM.FOLDER_ITEM"), 0);
  EXPECT_EQ(Since("Sorting 4 item(s) in folder #" + N(parent) + " in library MAIN - pass #2"), 1);
  EXPECT_EQ(Since("SQL Error"), 0);

  // A missing copy is made.
  Exec("SIDE", "DELETE FROM FOLDER_ITEM WHERE DISPLAYNAME = 'D''Arcy'");
  ASSERT_TRUE(Sort(parent));
  EXPECT_EQ(Writes(), "0 updates, 1 inserts");
  EXPECT_EQ(copies(), expected("Alpha"));

  const Rows side = Items("SIDE");
  ASSERT_TRUE(Sort(parent));
  EXPECT_EQ(Writes(), "0 updates, 0 inserts");
  EXPECT_EQ(Items("SIDE"), side);

  // A stale copy is corrected in place.
  Exec("SIDE",
       "UPDATE FOLDER_ITEM SET ISFIRST = 'Y', REMOTE_SYSTEM_ID = 0, NEXT = 5, "
       "PARENT_VERSION = 1 WHERE DISPLAYNAME = 'Charlie'");
  ASSERT_TRUE(Sort(parent));
  EXPECT_EQ(Writes(), "1 updates, 0 inserts");
  EXPECT_EQ(copies(), expected("Alpha"));
}

class QuotedLibraryTest : public SortingTest {
 protected:
  std::vector<testing::LibrarySpec> Libraries() override {
    return {{.name = "MAIN"}, {.name = "O'NEIL"}};
  }
};

TEST_F(QuotedLibraryTest, ApostrophesInLibraryAndItemNamesNeverBreakAStatement) {
  const long long parent = MakeFolder("MAIN", "Quoted");
  MakeFolder("O'NEIL", "Zed's", parent, "MAIN");
  MakeFolder("O'NEIL", "Ann's", parent, "MAIN");
  Exec("O'NEIL", "DELETE FROM FOLDER_ITEM");  // copies the sort makes itself
  const long long theirs = MakeFolder("O'NEIL", "Theirs");
  MakeFolder("O'NEIL", "Y", theirs);
  MakeFolder("O'NEIL", "X", theirs);

  EXPECT_TRUE(Logging([&] {
    return SortFolders(context(), connection(), 0, "MAIN", 0) &&
           SortFolders(context(), connection(), 0, "O'NEIL", 0);
  }));
  EXPECT_EQ(Since("SQL Error"), 0) << Dump();
  EXPECT_EQ(Since("INSERT INTO DOCSADM.FOLDER_ITEM"), 2);
  EXPECT_EQ(Chain(parent), (Names{"Ann's", "Zed's"}));
  EXPECT_EQ(Chain(theirs, "O'NEIL"), (Names{"X", "Y"}));
  EXPECT_EQ(Scalar("O'NEIL", "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = " + N(parent) +
                                 " AND PARENT_LIBRARY <> 0 AND DISPLAYNAME LIKE '%''s'"),
            "2");
}

TEST_F(SortingTest, SortingEveryFolderSortsEachFolderWithItemsHighestNumberFirst) {
  const long long first = FolderWith("First", {"Z", "Y"});
  FolderWith("Empty", {});
  const long long second = FolderWith("Second", {"Q", "P", "O"});
  ASSERT_GT(second, first);
  // Rows of a SIDE folder that happens to have the same number are not this folder's.
  Exec("MAIN",
       "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, "
       "NODE_TYPE, DISPLAYNAME, NEXT, ISFIRST, REMOTE_SYSTEM_ID) VALUES (900001, " +
           N(second) +
           ", 7, (SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'SIDE'), 0, 'D', "
           "'AAA', 0, 'N', 77)");
  const Rows foreign = Query("MAIN", "SELECT * FROM FOLDER_ITEM WHERE SYSTEM_ID = 900001");
  context().options.LabelStatus = "Idle";
  context().options.LabelTotal = "7";

  context().state.CancelRequested = true;
  EXPECT_TRUE(SortFolders(context(), connection(), 0, "MAIN", 0));
  EXPECT_EQ(Chain(second), (Names{"O", "P", "Q"}));
  EXPECT_EQ(Chain(first), (Names{"Z", "Y"}));
  EXPECT_EQ(Count("Sorting 2 folder item(s) in library MAIN"), 1) << Dump();

  context().state.CancelRequested = false;
  EXPECT_TRUE(SortFolders(context(), connection(), 0, "MAIN", 0));
  EXPECT_EQ(Chain(first), (Names{"Y", "Z"}));
  EXPECT_EQ(Count("Sorting folder item #2 of 2 total item(s) in library MAIN"), 1);
  EXPECT_EQ(Query("MAIN", "SELECT * FROM FOLDER_ITEM WHERE SYSTEM_ID = 900001"), foreign);
  EXPECT_EQ(context().options.LabelStatus, "Idle");
  EXPECT_EQ(context().options.LabelTotal, "7");

  // A library without folder items has nothing to sort.
  EXPECT_TRUE(SortFolders(context(), connection(), 0, "SIDE", 0));
  EXPECT_EQ(Count("Nothing to sort"), 1);
}

TEST_F(SortingTest, TheCallerKeepsItsLibraryAndTheViewsAreRefreshedUnlessSwitchedOff) {
  const long long parent = FolderWith("Views", {"B", "A"});
  ASSERT_TRUE(connection().ConnectLibrary("SIDE"));
  const std::string refreshes = "SELECT COUNT(*) FROM STANDIN_EVENTS";
  const int initial = std::stoi(Scalar("MAIN", refreshes)) + std::stoi(Scalar("SIDE", refreshes));
  auto events = [&] {
    return std::stoi(Scalar("MAIN", refreshes)) + std::stoi(Scalar("SIDE", refreshes)) - initial;
  };
  context().state.CommandLine = "/G /RV";
  EXPECT_TRUE(SortFolders(context(), connection(), parent, "main", 0));
  EXPECT_EQ(events(), 0);
  EXPECT_EQ(Chain(parent), (Names{"A", "B"}));
  EXPECT_EQ(connection().LibraryName(), "SIDE");

  context().state.CommandLine = "/G /XR";
  EXPECT_TRUE(SortThisFolder(context(), connection(), parent, "MAIN", 0));
  EXPECT_EQ(events(), 1);
  EXPECT_EQ(connection().LibraryName(), "SIDE");

  // A library that cannot be connected is not stood in for by the connected one.
  ASSERT_TRUE(connection().ConnectLibrary("MAIN"));
  const long long stay = FolderWith("Stay", {"B", "A"});
  const Rows before = Items();
  EXPECT_FALSE(SortThisFolder(context(), connection(), stay, "NOWHERE", 0));
  EXPECT_FALSE(SortFolders(context(), connection(), stay, "NOWHERE", 0));
  EXPECT_EQ(Items(), before);
  EXPECT_EQ(Count("Unable to connect to library NOWHERE for user DMADMIN"), 1) << Dump();
  EXPECT_EQ(connection().LibraryName(), "MAIN");
}

}  // namespace
}  // namespace sproutsmith::sorting
