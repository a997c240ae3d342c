// Switching libraries: a switch that fails anywhere leaves the library connected before it
// working exactly as it did, and only a switch that completed counts as a connection.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/engine_session.h"

namespace sproutsmith::dm {
namespace {

class LibrarySwitchTest : public testing::EngineSession {
 protected:
  // DEMO (owner DOCSADM, every table) and OTHER (its own owner, no QUIL tables), so that a
  // fact of the wrong library shows in every statement and flag.
  void StartTwo() {
    Start({{.name = "DEMO"},
           {.name = "OTHER", .owner = "OTHEROWN", .with_rules = false, .with_quil_tables = false}});
  }

  // The connected library answers in its own terms: its owner, its tables, its objects.
  void ExpectDemoConnected(const std::string& why) {
    SCOPED_TRACE(why);
    const auto& facts = connection().facts();
    EXPECT_EQ(connection().LibraryName(), "DEMO");
    EXPECT_EQ(connection().application()->CurrentLibrary()->Name(), "DEMO");
    EXPECT_EQ(facts.LibraryOwner, "DOCSADM");
    EXPECT_EQ(facts.EngineName, "MSSQL 15");
    EXPECT_TRUE(facts.LibraryConnected);
    EXPECT_TRUE(connection().library_state().HasQuilSettings);
    EXPECT_TRUE(connection().library_state().HasQuilSproutsmith);
    connection().RunSQL("SELECT COUNT(*) FROM [OWNER].QUIL_SETTINGS");
    EXPECT_TRUE(connection().LastSucceeded()) << Dump();
    EXPECT_EQ(connection().Column(1), Scalar("DEMO", "SELECT COUNT(*) FROM QUIL_SETTINGS"));
    connection().Release();
  }

 public:
  using EngineSession::connection;
  using EngineSession::Exec;
  int throws_ = 0;
};

struct SwitchFault {
  const char* name;
  std::function<void(LibrarySwitchTest&)> fault;
  std::function<void(LibrarySwitchTest&)> repair;
  const char* logged;
  friend void PrintTo(const SwitchFault& f, std::ostream* os) { *os << f.name; }
};

constexpr char kSaveUser[] =
    "CREATE TABLE SAVED_PEOPLE AS SELECT * FROM PEOPLE WHERE USER_ID = 'DMADMIN'";
constexpr char kDropUser[] = "DELETE FROM PEOPLE WHERE USER_ID = 'DMADMIN'";
constexpr char kRestoreUser[] = "INSERT INTO PEOPLE SELECT * FROM SAVED_PEOPLE";

const SwitchFault kSwitchFaults[] = {
    {"UserUnknownOwnerLearnt",
     [](LibrarySwitchTest& t) {
       t.Exec("OTHER", kSaveUser);
       t.Exec("OTHER", kDropUser);
     },
     [](LibrarySwitchTest& t) { t.Exec("OTHER", kRestoreUser); },
     "Library UserName not identified"},
    {"UserUnknownLibraryNotListed",
     [](LibrarySwitchTest& t) {
       t.Exec("DEMO", "CREATE TABLE SAVED_LIBRARIES AS SELECT * FROM REMOTE_LIBRARIES");
       t.Exec("DEMO", "DELETE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'OTHER'");
       t.Exec("OTHER", kSaveUser);
       t.Exec("OTHER", kDropUser);
     },
     [](LibrarySwitchTest& t) {
       t.Exec("OTHER", kRestoreUser);
       t.Exec("DEMO",
              "INSERT INTO REMOTE_LIBRARIES SELECT * FROM SAVED_LIBRARIES WHERE LIBRARY_NAME = "
              "'OTHER'");
     },
     "is not properly configured in the REMOTE_LIBRARIES table"},
    {"FailureAfterTheObjectsWereReplaced",
     [](LibrarySwitchTest& t) {
       t.throws_ = 1;
       t.connection().SetOnConnected([&t] {
         if (t.connection().LibraryName() == "OTHER" && t.throws_-- > 0) {
           throw std::runtime_error("rules unreadable");
         }
       });
     },
     [](LibrarySwitchTest&) {}, "rules unreadable"},
};

class SwitchFaultTest : public LibrarySwitchTest,
                        public ::testing::WithParamInterface<SwitchFault> {};

TEST_P(SwitchFaultTest, AFailedSwitchChangesNothingAndTheNextOneConnectsAfresh) {
  const SwitchFault& c = GetParam();
  StartTwo();
  ExpectDemoConnected("before");
  c.fault(*this);
  EXPECT_FALSE(connection().ConnectLibrary("OTHER"));
  EXPECT_EQ(Count(c.logged), 1) << Dump();
  ExpectDemoConnected("after the failed switch");

  c.repair(*this);
  ASSERT_TRUE(connection().ConnectLibrary("other")) << Dump();
  EXPECT_EQ(Count("Connected to MSSQL 15 Library Object OTHER."), 1);
  EXPECT_EQ(connection().facts().LibraryOwner, "OTHEROWN");
  EXPECT_FALSE(connection().library_state().HasQuilSettings);
  EXPECT_EQ(connection().application()->CurrentLibrary()->Name(), "OTHER");
  connection().RunSQL("SELECT COUNT(*) FROM [OWNER].PROFILE");
  EXPECT_TRUE(connection().LastSucceeded()) << Dump();
  ASSERT_TRUE(connection().ConnectLibrary("DEMO"));
  ExpectDemoConnected("switched back");
}

INSTANTIATE_TEST_SUITE_P(Faults, SwitchFaultTest, ::testing::ValuesIn(kSwitchFaults),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace sproutsmith::dm
