// Adding items to folders (the FOLDER_ITEM chain), client commands, and the key counter
// shared by several objects and processes.

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "standin_fixture.h"

namespace sproutsmith::dmapi {
namespace {

class FolderItemsTest : public StandinTest {
 protected:
  // The parent's links, oldest first: the item, ISFIRST, the item NEXT leads to (0 at the
  // tail), then `more` columns of the link.
  Rows Links(long long parent, const std::string& more = "") {
    return Query("LIB1", "SELECT F.DOCNUMBER, F.ISFIRST, COALESCE(N.DOCNUMBER, F.NEXT)" + more +
                             " FROM FOLDER_ITEM F LEFT JOIN FOLDER_ITEM N ON N.SYSTEM_ID = F.NEXT "
                             "WHERE F.PARENT = " +
                             std::to_string(parent) + " ORDER BY F.SYSTEM_ID");
  }
};

// A document number as text.
std::string Id(long long v) { return std::to_string(v); }

TEST_F(FolderItemsTest, ThreeAddsMakeALinkedChainWithTheFolderRowsTheEngineQueries) {
  const long long parent = MakeFolder("Parent");
  const long long a = MakeFolder("A");
  const long long b = MakeFolder("B");
  const long long document = FirstDocument();
  std::unique_ptr<FolderObject> folder = session->OpenFolder(parent, "LIB1");
  ASSERT_NE(folder, nullptr);
  for (long long item : {a, b, document}) {
    const AddItemResult added = folder->AddItem("LIB1", item);
    EXPECT_TRUE(added.status.ok()) << added.status.text;
    EXPECT_EQ(added.trustees, 0);
  }

  const std::string p = Id(parent);
  const std::string v = Scalar("LIB1", "SELECT VERSION_ID FROM VERSIONS WHERE DOCNUMBER = " + p);
  const std::string name =
      Scalar("LIB1", "SELECT DISPLAYNAME FROM FOLDER_ITEM WHERE DOCNUMBER = " + Id(document));
  EXPECT_EQ(Links(parent,
                  ", F.NODE_TYPE, F.DISPLAYNAME, F.PARENT_LIBRARY, F.LIBRARY, F.PARENT_VERSION, "
                  "F.VERSION_TYPE"),
            (Rows{{Id(a), "Y", Id(b), "F", "A", "0", "0", v, "R"},
                  {Id(b), "N", Id(document), "F", "B", "0", "0", v, "R"},
                  {Id(document), "N", "0", "D", name, "0", "0", v, "R"}}));
  // Link ids come from the same counter as everything else: no clash with profiles.
  EXPECT_EQ(Scalar("LIB1",
                   "SELECT COUNT(*) FROM PROFILE WHERE SYSTEM_ID IN (SELECT SYSTEM_ID "
                   "FROM FOLDER_ITEM)"),
            "0");

  // The engine's own existence check finds the link.
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER_ITEM WHERE DOCNUMBER = " + Id(a) +
                               " AND PARENT = " + p +
                               " AND LIBRARY = (SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE "
                               "LIBRARY_NAME = 'LIB1') AND PARENT_LIBRARY = (SELECT SYSTEM_ID "
                               "FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'LIB1')"),
            "1");
  EXPECT_EQ(session->OpenProfile(a, "LIB1")->ParentFolders(), std::vector<long long>{parent});
}

TEST_F(FolderItemsTest, AnAddAfterTheChainWasReorderedAppendsToItsRealTail) {
  const long long parent = MakeFolder("Parent");
  std::vector<long long> items;
  for (const char* name : {"A", "B", "C"}) items.push_back(MakeFolder(name));
  std::unique_ptr<FolderObject> folder = session->OpenFolder(parent, "LIB1");
  for (long long item : items) ASSERT_TRUE(folder->AddItem("LIB1", item).status.ok());

  // Re-sort the chain as the sorting step does: C, A, B (B, the middle row, is the tail).
  const std::string p = Id(parent);
  const Rows ids = Query(
      "LIB1", "SELECT SYSTEM_ID FROM FOLDER_ITEM WHERE PARENT = " + p + " ORDER BY SYSTEM_ID");
  Exec("LIB1", "UPDATE FOLDER_ITEM SET NEXT = " + ids[0][0] +
                   ", ISFIRST = 'Y' WHERE SYSTEM_ID = " + ids[2][0]);
  Exec("LIB1", "UPDATE FOLDER_ITEM SET ISFIRST = 'N' WHERE SYSTEM_ID = " + ids[0][0]);
  Exec("LIB1", "UPDATE FOLDER_ITEM SET NEXT = 0 WHERE SYSTEM_ID = " + ids[1][0]);

  const long long d = MakeFolder("D");
  ASSERT_TRUE(folder->AddItem("LIB1", d).status.ok());
  EXPECT_EQ(Links(parent), (Rows{{Id(items[0]), "N", Id(items[1])},
                                 {Id(items[1]), "N", Id(d)},
                                 {Id(items[2]), "Y", Id(items[0])},
                                 {Id(d), "N", "0"}}));
}

TEST_F(FolderItemsTest, RefusedAddsWriteNothing) {
  const long long parent = MakeFolder("Parent");
  const long long child = MakeFolder("Child");
  std::unique_ptr<FolderObject> folder = session->OpenFolder(parent, "LIB1");
  ASSERT_TRUE(folder->AddItem("LIB1", child).status.ok());
  const std::string links = Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER_ITEM");
  const std::string keys = LastKey("LIB1");

  EXPECT_EQ(folder->AddItem("LIB1", child).status.code, kErrAlreadyInFolder);
  EXPECT_EQ(folder->AddItem("LIB1", parent).status.code, kErrAlreadyInFolder);  // itself
  EXPECT_EQ(folder->AddItem("LIB1", 987654321).status.code, kErrNoSuchDocument);
  EXPECT_EQ(folder->AddItem("NOWHERE", child).status.code, kErrNoSuchLibrary);
  std::unique_ptr<FolderObject> unsaved = session->NewFolder();
  unsaved->SetName("Unsaved");
  EXPECT_EQ(unsaved->AddItem("LIB1", child).status.code, kErrNotSaved);

  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER_ITEM"), links);
  EXPECT_EQ(LastKey("LIB1"), keys);
}

TEST_F(FolderItemsTest, RemoteItemIsLinkedThroughRemoteLibrariesOfTheFoldersLibrary) {
  const long long parent = MakeFolder("Parent");
  app->PointAtLibrary("LIB2");
  const long long remote = MakeFolder("Remote child");
  EXPECT_EQ(Scalar("LIB2", "SELECT COUNT(*) FROM PROFILE WHERE DOCNUMBER = " + Id(remote)), "1");

  std::unique_ptr<FolderObject> folder = session->OpenFolder(parent, "LIB1");
  ASSERT_TRUE(folder->AddItem("LIB2", remote).status.ok());
  EXPECT_EQ(Query("LIB1",
                  "SELECT DOCNUMBER, NODE_TYPE, DISPLAYNAME, PARENT_LIBRARY, LIBRARY "
                  "FROM FOLDER_ITEM WHERE PARENT = " +
                      Id(parent)),
            (Rows{{Id(remote), "F", "Remote child", "0",
                   Scalar("LIB1",
                          "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE "
                          "LIBRARY_NAME = 'LIB2'")}}));
  // The item's own library holds a copy that points back at the link.
  EXPECT_EQ(
      Query("LIB2",
            "SELECT PARENT, DOCNUMBER, NEXT, REMOTE_SYSTEM_ID, VERSION_TYPE FROM FOLDER_ITEM"),
      (Rows{{Id(parent), Id(remote), "0",
             Scalar("LIB1", "SELECT SYSTEM_ID FROM FOLDER_ITEM WHERE PARENT = " + Id(parent)),
             "R"}}));
  EXPECT_EQ(Scalar("LIB2", "SELECT PARENT_LIBRARY FROM FOLDER_ITEM"),
            Scalar("LIB2", "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'LIB1'"));
  // Its parents are read in its own library.
  EXPECT_EQ(session->OpenProfile(remote, "LIB2")->ParentFolders(), std::vector<long long>{parent});
}

TEST_F(FolderItemsTest, ASecuredItemReceivesTheFoldersTrusteesItLacks) {
  const long long parent = MakeFolder("Secured parent");
  const long long child = MakeFolder("Secured child");
  const std::string admin = PeopleId("DMADMIN");
  Exec("LIB1", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (" +
                   SystemId(parent) + ", " + admin + ", 255), (" + SystemId(parent) +
                   ", 0, 63), (" + SystemId(child) + ", " + admin + ", 191)");
  Exec("LIB1", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = " + Id(child));

  const AddItemResult added = session->OpenFolder(parent, "LIB1")->AddItem("LIB1", child);
  ASSERT_TRUE(added.status.ok()) << added.status.text;
  EXPECT_EQ(added.trustees, 1);
  EXPECT_EQ(Query("LIB1", "SELECT PERSONORGROUP, ACCESSRIGHTS FROM SECURITY WHERE THING = " +
                              SystemId(child) + " ORDER BY PERSONORGROUP"),
            (Rows{{"0", "63"}, {admin, "191"}}));

  // An unsecured item receives none.
  const long long open = MakeFolder("Open child");
  EXPECT_EQ(session->OpenFolder(parent, "LIB1")->AddItem("LIB1", open).trustees, 0);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM SECURITY WHERE THING = " + SystemId(open)), "0");
}

TEST_F(FolderItemsTest, RefreshAllViewsIsCountedInTheCurrentLibrary) {
  EXPECT_EQ(app->RunCommand("DOCSOPEN.RefreshAllViews"), 0);
  EXPECT_EQ(app->RunCommand("docsopen.refreshallviews"), 0);
  EXPECT_NE(app->RunCommand("DOCSOPEN.FormatDisk"), 0);
  app->PointAtLibrary("LIB2");
  EXPECT_EQ(app->RunCommand(kRefreshAllViews), 0);
  EXPECT_EQ(Query("LIB1",
                  "SELECT EVENT_ID, EVENT_NAME, DETAIL, EVENT_TIME FROM STANDIN_EVENTS "
                  "ORDER BY EVENT_ID"),
            (Rows{{"1", "DOCSOPEN.RefreshAllViews", "DMADMIN", "2026-12-06 09:30:15"},
                  {"2", "DOCSOPEN.RefreshAllViews", "DMADMIN", "2026-12-06 09:30:15"}}));
  EXPECT_EQ(Scalar("LIB2", "SELECT COUNT(*) FROM STANDIN_EVENTS"), "1");
}

// Allocates keys through its own client (its own connection), as another process would.
std::vector<long long> AllocateMany(const InstallationConfig& config, int count) {
  std::unique_ptr<Client> client = OpenInstallation(config);
  std::unique_ptr<Application> app = client->CreateApplication();
  std::unique_ptr<SqlObject> sql = AttachedSql(*client, *app, "LIB1");
  std::vector<long long> keys;
  for (int i = 0; i < count; ++i) keys.push_back(sql->AllocateKey("SYSTEMKEY"));
  return keys;
}

TEST_F(FolderItemsTest, KeyCounterNeverHandsOutANumberTwice) {
  const long long start = std::stoll(LastKey("LIB1"));
  constexpr int kPerProcess = 150;
  constexpr int kProcesses = 3;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::ofstream out(dir.File("keys" + std::to_string(p)));
      for (long long k : AllocateMany(config, kPerProcess)) out << k << "\n";
      out.close();
      _exit(out ? 0 : 1);
    }
    children.push_back(pid);
  }
  // Meanwhile this process makes folders and allocates through two objects of its own.
  std::set<long long> seen;
  std::unique_ptr<SqlObject> one = Attached("LIB1");
  std::unique_ptr<SqlObject> two = Attached("LIB1");
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(seen.insert(one->AllocateKey("SYSTEMKEY")).second);
    EXPECT_TRUE(seen.insert(two->AllocateKey("SYSTEMKEY")).second);
    MakeFolder("Folder " + std::to_string(i));  // three numbers each
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcesses; ++p) {
    const std::vector<std::string> lines = testing::ReadLines(dir.File("keys" + std::to_string(p)));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kPerProcess));
    for (const std::string& line : lines) {
      EXPECT_TRUE(seen.insert(std::stoll(line)).second) << "key " << line << " handed out twice";
    }
  }
  for (const auto& row : Query("LIB1",
                               "SELECT P.DOCNUMBER, P.SYSTEM_ID, V.VERSION_ID FROM PROFILE P, "
                               "VERSIONS V WHERE V.DOCNUMBER = P.DOCNUMBER AND P.DOCNAME LIKE "
                               "'Folder %'")) {
    for (const std::string& number : row) {
      EXPECT_TRUE(seen.insert(std::stoll(number)).second) << number << " handed out twice";
    }
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kProcesses * kPerProcess + 20 * 5));
  // Every number lies within what the counter recorded, so none can come round again.
  EXPECT_GT(*seen.begin(), start);
  EXPECT_GE(std::stoll(LastKey("LIB1")), *seen.rbegin());
}

}  // namespace
}  // namespace sproutsmith::dmapi
