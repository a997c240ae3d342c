// Adding items to folders (the FOLDER_ITEM chain), client commands, and the key counter
// shared by several objects and processes.

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "standin_fixture.h"

namespace sproutsmith::dmapi {
namespace {

using FolderItemsTest = StandinTest;

// The parent's items in chain order, following NEXT from the ISFIRST row.
std::vector<std::string> ChainOrder(const Rows& rows) {
  // rows: SYSTEM_ID, NEXT, ISFIRST, DOCNUMBER
  std::vector<std::string> order;
  std::string at;
  for (const auto& r : rows) {
    if (r[2] == "Y") at = r[0];
  }
  while (!at.empty() && at != "0" && order.size() <= rows.size()) {
    std::string next;
    for (const auto& r : rows) {
      if (r[0] == at) {
        order.push_back(r[3]);
        next = r[1];
      }
    }
    at = next;
  }
  return order;
}

TEST_F(FolderItemsTest, ThreeAddsMakeALinkedChainWithTheFolderRowsTheEngineQueries) {
  const long long parent = MakeFolder("Parent");
  const long long a = MakeFolder("A");
  const long long b = MakeFolder("B");
  const std::string document = Scalar("LIB1",
                                      "SELECT MIN(P.DOCNUMBER) FROM PROFILE P, APPS A WHERE "
                                      "A.SYSTEM_ID = P.APPLICATION AND A.APPLICATION <> 'FOLDER'");
  std::unique_ptr<FolderObject> folder = session->OpenFolder(parent, "LIB1");
  ASSERT_NE(folder, nullptr);
  for (long long item : {a, b, std::stoll(document)}) {
    const AddItemResult added = folder->AddItem("LIB1", item);
    EXPECT_TRUE(added.status.ok()) << added.status.text;
    EXPECT_EQ(added.trustees, 0);
  }

  const std::string p = std::to_string(parent);
  const Rows rows = Query("LIB1",
                          "SELECT SYSTEM_ID, NEXT, ISFIRST, DOCNUMBER, NODE_TYPE, DISPLAYNAME, "
                          "PARENT_LIBRARY, LIBRARY, PARENT_VERSION, VERSION_TYPE FROM FOLDER_ITEM "
                          "WHERE PARENT = " +
                              p + " ORDER BY SYSTEM_ID");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][1], rows[1][0]);
  EXPECT_EQ(rows[1][1], rows[2][0]);
  EXPECT_EQ(rows[2][1], "0");
  EXPECT_EQ(rows[0][2] + rows[1][2] + rows[2][2], "YNN");
  EXPECT_EQ(rows[0][4] + rows[1][4] + rows[2][4], "FFD");
  EXPECT_EQ(rows[0][5], "A");
  EXPECT_EQ(rows[1][5], "B");
  const std::string version =
      Scalar("LIB1", "SELECT VERSION_ID FROM VERSIONS WHERE DOCNUMBER = " + p);
  for (const auto& r : rows) {
    EXPECT_EQ(r[6] + "/" + r[7], "0/0");
    EXPECT_EQ(r[8], version);
    EXPECT_EQ(r[9], "R");
  }
  EXPECT_EQ(ChainOrder(rows),
            (std::vector<std::string>{std::to_string(a), std::to_string(b), document}));
  // Link ids come from the same counter as everything else: no clash with profiles.
  EXPECT_EQ(Scalar("LIB1",
                   "SELECT COUNT(*) FROM PROFILE WHERE SYSTEM_ID IN (SELECT SYSTEM_ID "
                   "FROM FOLDER_ITEM)"),
            "0");

  // The engine's own existence check finds the link.
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER_ITEM WHERE DOCNUMBER = " +
                               std::to_string(a) + " AND PARENT = " + p +
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
  const std::string p = std::to_string(parent);
  const Rows ids = Query(
      "LIB1", "SELECT SYSTEM_ID FROM FOLDER_ITEM WHERE PARENT = " + p + " ORDER BY SYSTEM_ID");
  Exec("LIB1", "UPDATE FOLDER_ITEM SET NEXT = " + ids[0][0] +
                   ", ISFIRST = 'Y' WHERE SYSTEM_ID = " + ids[2][0]);
  Exec("LIB1", "UPDATE FOLDER_ITEM SET ISFIRST = 'N' WHERE SYSTEM_ID = " + ids[0][0]);
  Exec("LIB1", "UPDATE FOLDER_ITEM SET NEXT = 0 WHERE SYSTEM_ID = " + ids[1][0]);

  const long long d = MakeFolder("D");
  ASSERT_TRUE(folder->AddItem("LIB1", d).status.ok());
  const Rows rows = Query("LIB1",
                          "SELECT SYSTEM_ID, NEXT, ISFIRST, DOCNUMBER FROM FOLDER_ITEM "
                          "WHERE PARENT = " +
                              p);
  EXPECT_EQ(ChainOrder(rows),
            (std::vector<std::string>{std::to_string(items[2]), std::to_string(items[0]),
                                      std::to_string(items[1]), std::to_string(d)}));
}

TEST_F(FolderItemsTest, RefusedAddsWriteNothing) {
  const long long parent = MakeFolder("Parent");
  const long long child = MakeFolder("Child");
  std::unique_ptr<FolderObject> folder = session->OpenFolder(parent, "LIB1");
  ASSERT_TRUE(folder->AddItem("LIB1", child).status.ok());
  const std::string links = Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER_ITEM");
  const std::string keys =
      Scalar("LIB1", "SELECT LAST_KEY FROM STANDIN_KEYS WHERE KEY_NAME = 'SYSTEMKEY'");

  EXPECT_EQ(folder->AddItem("LIB1", child).status.code, kErrAlreadyInFolder);
  EXPECT_EQ(folder->AddItem("LIB1", parent).status.code, kErrAlreadyInFolder);  // itself
  EXPECT_EQ(folder->AddItem("LIB1", 987654321).status.code, kErrNoSuchDocument);
  EXPECT_EQ(folder->AddItem("NOWHERE", child).status.code, kErrNoSuchLibrary);
  std::unique_ptr<FolderObject> unsaved = session->NewFolder();
  unsaved->SetName("Unsaved");
  EXPECT_EQ(unsaved->AddItem("LIB1", child).status.code, kErrNotSaved);

  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM FOLDER_ITEM"), links);
  EXPECT_EQ(Scalar("LIB1", "SELECT LAST_KEY FROM STANDIN_KEYS WHERE KEY_NAME = 'SYSTEMKEY'"), keys);
}

TEST_F(FolderItemsTest, RemoteItemIsLinkedThroughRemoteLibrariesOfTheFoldersLibrary) {
  const long long parent = MakeFolder("Parent");
  app->PointAtLibrary("LIB2");
  const long long remote = MakeFolder("Remote child");
  EXPECT_EQ(
      Scalar("LIB2", "SELECT COUNT(*) FROM PROFILE WHERE DOCNUMBER = " + std::to_string(remote)),
      "1");

  std::unique_ptr<FolderObject> folder = session->OpenFolder(parent, "LIB1");
  ASSERT_TRUE(folder->AddItem("LIB2", remote).status.ok());
  EXPECT_EQ(Query("LIB1",
                  "SELECT DOCNUMBER, NODE_TYPE, DISPLAYNAME, PARENT_LIBRARY, LIBRARY "
                  "FROM FOLDER_ITEM WHERE PARENT = " +
                      std::to_string(parent)),
            (Rows{{std::to_string(remote), "F", "Remote child", "0",
                   Scalar("LIB1",
                          "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE "
                          "LIBRARY_NAME = 'LIB2'")}}));
  // The item's own library holds a copy that points back at the link.
  EXPECT_EQ(
      Query("LIB2",
            "SELECT PARENT, DOCNUMBER, NEXT, REMOTE_SYSTEM_ID, VERSION_TYPE FROM FOLDER_ITEM"),
      (Rows{{std::to_string(parent), std::to_string(remote), "0",
             Scalar("LIB1",
                    "SELECT SYSTEM_ID FROM FOLDER_ITEM WHERE PARENT = " + std::to_string(parent)),
             "R"}}));
  EXPECT_EQ(Scalar("LIB2", "SELECT PARENT_LIBRARY FROM FOLDER_ITEM"),
            Scalar("LIB2", "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'LIB1'"));
  // Its parents are read in its own library.
  EXPECT_EQ(session->OpenProfile(remote, "LIB2")->ParentFolders(), std::vector<long long>{parent});
}

TEST_F(FolderItemsTest, ASecuredItemReceivesTheFoldersTrusteesItLacks) {
  const long long parent = MakeFolder("Secured parent");
  const long long child = MakeFolder("Secured child");
  auto thing = [&](long long n) {
    return Scalar("LIB1", "SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = " + std::to_string(n));
  };
  const std::string admin = PeopleId("DMADMIN");
  Exec("LIB1", "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (" +
                   thing(parent) + ", " + admin + ", 255), (" + thing(parent) + ", 0, 63), (" +
                   thing(child) + ", " + admin + ", 191)");
  Exec("LIB1", "UPDATE PROFILE SET DEFAULT_RIGHTS = 1 WHERE DOCNUMBER = " + std::to_string(child));

  const AddItemResult added = session->OpenFolder(parent, "LIB1")->AddItem("LIB1", child);
  ASSERT_TRUE(added.status.ok()) << added.status.text;
  EXPECT_EQ(added.trustees, 1);
  EXPECT_EQ(Query("LIB1", "SELECT PERSONORGROUP, ACCESSRIGHTS FROM SECURITY WHERE THING = " +
                              thing(child) + " ORDER BY PERSONORGROUP"),
            (Rows{{"0", "63"}, {admin, "191"}}));

  // An unsecured item receives none.
  const long long open = MakeFolder("Open child");
  EXPECT_EQ(session->OpenFolder(parent, "LIB1")->AddItem("LIB1", open).trustees, 0);
  EXPECT_EQ(Scalar("LIB1", "SELECT COUNT(*) FROM SECURITY WHERE THING = " + thing(open)), "0");
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
  std::unique_ptr<SqlObject> sql = client->CreateSqlObject();
  sql->AttachToken(app->LoginToken());
  std::vector<long long> keys;
  if (sql->AttachLibrary("LIB1") != 0) return keys;
  for (int i = 0; i < count; ++i) keys.push_back(sql->AllocateKey("SYSTEMKEY"));
  return keys;
}

TEST_F(FolderItemsTest, KeyCounterNeverHandsOutANumberTwice) {
  const long long start =
      std::stoll(Scalar("LIB1", "SELECT LAST_KEY FROM STANDIN_KEYS WHERE KEY_NAME = 'SYSTEMKEY'"));
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
  std::unique_ptr<SqlObject> one = client->CreateSqlObject();
  std::unique_ptr<SqlObject> two = client->CreateSqlObject();
  for (SqlObject* s : {one.get(), two.get()}) {
    s->AttachToken(app->LoginToken());
    ASSERT_EQ(s->AttachLibrary("LIB1"), 0);
  }
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
  EXPECT_GE(std::stoll(Scalar("LIB1", "SELECT LAST_KEY FROM STANDIN_KEYS WHERE KEY_NAME = "
                                      "'SYSTEMKEY'")),
            *seen.rbegin());
}

}  // namespace
}  // namespace sproutsmith::dmapi
