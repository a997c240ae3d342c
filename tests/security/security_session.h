#pragma once
// A DM session over two generated libraries with a few known people and groups, whose names
// hold an apostrophe and SQL wildcards, and helpers to give an item its author and typist
// and read its trustees back from the library file.

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "folders/library_session.h"
#include "platform/sql/fault_injecting_database.h"
#include "rules/rule_record.h"
#include "security/security_result.h"
#include "support/engine_session.h"
#include "support/fault_opener.h"

namespace sproutsmith::security {

class SecuritySession : public testing::LibrarySession {
 protected:
  using Rows = std::vector<std::vector<std::string>>;

  SecuritySession() { home_ = "DEMO"; }

  void SetUp() override {
    Start({{.name = "DEMO"}, {.name = "PLAIN", .with_optional_tables = false}});
    for (const char* library : {"DEMO", "PLAIN"}) AddPeople(library);
  }

  // The same, with every library's database able to fail a chosen call; the client's view
  // refresh may fail without failing the operation, so it is left out.
  void StartWithFaults(const std::vector<testing::LibrarySpec>& libraries = {{.name = "DEMO"}}) {
    install_.Create(libraries, "DMADMIN");
    client_ = install_.OpenClient(testing::FaultInjectingOpener(
        [this](const std::string& library, sql::FaultInjectingDatabase& db) {
          faults_[library] = &db;
        }));
    ASSERT_TRUE(client_);
    connection_ = std::make_unique<dm::Connection>(install_.context, *client_);
    ASSERT_TRUE(connection_->StartFusion()) << Dump();
    for (const testing::LibrarySpec& library : libraries) AddPeople(library.name);
    context().state.CommandLine = "/XR";
  }

  // 1-based number of the first call holding `fragment` (0 when none).
  static long CallNumber(const std::vector<std::string>& calls, const std::string& fragment) {
    for (size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].find(fragment) != std::string::npos) return static_cast<long>(i) + 1;
    }
    return 0;
  }

  // True when the trustee rows grant nothing the finished set does not: each row is one of
  // the finished set's (none twice), and no row grants while one of its denies is missing.
  static bool NoMoreOpenThan(const Rows& rows, const Rows& finished) {
    auto denies = [](const std::vector<std::string>& row) { return row[1] == "16711680"; };
    Rows unused = finished;
    bool grants = false;
    for (const auto& row : rows) {
      const auto match = std::find(unused.begin(), unused.end(), row);
      if (match == unused.end()) return false;
      unused.erase(match);
      grants = grants || !denies(row);
    }
    return !grants || std::none_of(unused.begin(), unused.end(), denies);
  }

  // Groups LIT, A_B, AXB and O'HARA; users USER1 (LIT), USER2 (A_B), USER3 (LIT) and
  // O'BRIEN (AXB).
  void AddPeople(const std::string& library) {
    Exec(library,
         "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME, UNIV_ACCESS) VALUES "
         "(9100001, 'LIT', 'Litigation', 127), (9100002, 'A_B', 'A B', 127), "
         "(9100003, 'AXB', 'A X B', 127), (9100004, 'O''HARA', 'O Hara', 127)");
    Exec(library,
         "INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME, PRIMARY_GROUP) VALUES "
         "(9200001, 'USER1', 'User One', 9100001), (9200002, 'USER2', 'User Two', 9100002), "
         "(9200003, 'USER3', 'User Three', 9100001), (9200004, 'O''BRIEN', 'Pat O''Brien', "
         "9100003)");
  }

  // A new folder in `library` with the given author and typist ("" leaves the column NULL).
  long long Item(const std::string& author, const std::string& typist,
                 const std::string& library = "DEMO") {
    const long long n = MakeFolder(library, "Item " + std::to_string(++items_));
    SetPeople(n, author, typist, library);
    return n;
  }
  void SetPeople(long long n, const std::string& author, const std::string& typist,
                 const std::string& library = "DEMO") {
    auto id = [](const std::string& user) {
      if (user.empty()) return std::string("NULL");
      return "(SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = '" + testing::QuotesDoubled(user) +
             "')";
    };
    Exec(library, "UPDATE PROFILE SET AUTHOR = " + id(author) + ", TYPIST = " + id(typist) +
                      " WHERE DOCNUMBER = " + std::to_string(n));
  }
  // The item's trustees by name ("#n" for a row naming nobody), with their rights.
  Rows TrusteeRows(long long n, const std::string& library = "DEMO") {
    return Query(library,
                 "SELECT COALESCE(P.USER_ID, G.GROUP_ID, '#' || S.PERSONORGROUP), "
                 "S.ACCESSRIGHTS FROM SECURITY S JOIN PROFILE R ON R.SYSTEM_ID = S.THING "
                 "LEFT JOIN PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP LEFT JOIN GROUPS G ON "
                 "G.SYSTEM_ID = S.PERSONORGROUP WHERE R.DOCNUMBER = " +
                     std::to_string(n) + " ORDER BY 1");
  }
  // The same as "NAME RIGHTS, NAME RIGHTS".
  std::string Trustees(long long n, const std::string& library = "DEMO") {
    std::string text;
    for (const auto& row : TrusteeRows(n, library)) {
      text += (text.empty() ? "" : ", ") + row[0] + " " + row[1];
    }
    return text;
  }
  // Trustee rows written behind the engine's back: {user or group id, rights}.
  void Grant(long long n, const std::vector<std::pair<std::string, int>>& trustees,
             const std::string& library = "DEMO") {
    for (const auto& [id, rights] : trustees) {
      const std::string quoted = "'" + testing::QuotesDoubled(id) + "'";
      Exec(library,
           "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT (SELECT SYSTEM_ID "
           "FROM PROFILE WHERE DOCNUMBER = " +
               N(n) + "), SYSTEM_ID, " + N(rights) + " FROM (SELECT SYSTEM_ID FROM GROUPS WHERE " +
               "GROUP_ID = " + quoted +
               " UNION ALL SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = " + quoted + ")");
    }
  }
  // Trustees(), then DEFAULT_RIGHTS, SECURITY_LINK = SYSTEM_ID (1/0) and SEC_REASON_LINK of the
  // profile: "LIT 63, USER1 191 / 1 1 98".
  std::string Secured(long long n, const std::string& library = "DEMO") {
    return Trustees(n, library) + " / " +
           Scalar(library,
                  "SELECT DEFAULT_RIGHTS || ' ' || COALESCE(SECURITY_LINK = SYSTEM_ID, 0) || ' ' "
                  "|| COALESCE(SEC_REASON_LINK, '') FROM PROFILE WHERE DOCNUMBER = " +
                      std::to_string(n));
  }
  // What an operation answered and left on item `n`: "applied: " and Secured().
  std::string Left(SecurityResult result, long long n, const std::string& library = "DEMO") {
    static const char* const kNames[] = {"applied", "nothing to apply", "failed"};
    return std::string(kNames[static_cast<int>(result)]) + ": " + Secured(n, library);
  }
  static rules::RuleRecord Rule(bool append, const std::string& security_template = "") {
    rules::RuleRecord rule;
    rule.Set(rules::RuleKey::kName, "SECURED");
    rule.Set(rules::RuleKey::kAppendTrustees, append ? "1" : "0");
    rule.Set(rules::RuleKey::kSecurity, security_template);
    return rule;
  }

  // Fails each database call of a clean `apply` in turn (after StartWithFaults), on a new item
  // of `item_library` each time: `apply` fails and logs `failed(item)`, the connected library
  // stays DEMO, the item is untouched up to the call that secures it and never more open than
  // a clean application leaves it (`finished_`), and applying again completes it.
  void FailEachCallInTurn(const std::function<SecurityResult(long long)>& apply,
                          const std::string& item_library,
                          const std::function<std::string(long long)>& failed) {
    const long long clean = Item("USER1", "USER2", item_library);
    for (auto& [name, fault] : faults_) fault->Disarm();
    ASSERT_EQ(apply(clean), SecurityResult::kApplied);
    std::map<std::string, std::vector<std::string>> calls;
    for (auto& [name, fault] : faults_) calls[name] = fault->call_log();
    finished_ = TrusteeRows(clean, item_library);
    ASSERT_GT(CallNumber(calls.at(item_library), "SET DEFAULT_RIGHTS = 1"), 0);
    for (const auto& [library, library_calls] : calls) {
      const long secure = CallNumber(library_calls, "SET DEFAULT_RIGHTS = 1");
      for (long k = 1; k <= static_cast<long>(library_calls.size()); ++k) {
        SCOPED_TRACE(library + ": " + library_calls[k - 1]);
        const long long n = Item("USER1", "USER2", item_library);
        faults_.at(library)->FailCall(k);
        EXPECT_EQ(apply(n), SecurityResult::kFailed);
        EXPECT_EQ(faults_.at(library)->failures(), 1);
        faults_.at(library)->Disarm();
        EXPECT_EQ(connection().LibraryName(), "DEMO");
        EXPECT_EQ(Count(failed(n)), 1);
        const Rows rows = TrusteeRows(n, item_library);
        const bool secured = Profile(n, "DEFAULT_RIGHTS", item_library) == "1";
        EXPECT_EQ(secured, secure > 0 && k > secure);
        EXPECT_TRUE(secured ? NoMoreOpenThan(rows, finished_) : rows.empty())
            << ::testing::PrintToString(rows);
        EXPECT_EQ(apply(n), SecurityResult::kApplied);
        EXPECT_EQ(TrusteeRows(n, item_library), finished_);
        EXPECT_EQ(Profile(n, "DEFAULT_RIGHTS", item_library), "1");
      }
    }
  }

  std::map<std::string, sql::FaultInjectingDatabase*> faults_;
  Rows finished_;
  int items_ = 0;
};

}  // namespace sproutsmith::security
