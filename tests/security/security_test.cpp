// Securing items in real libraries with a few known people and groups, whose names hold an
// apostrophe and SQL wildcards: templates of trustees, trustees inherited from a parent folder,
// and what a failed statement at any point leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "folders/library_session.h"
#include "platform/sql/fault_injecting_database.h"
#include "rules/rule_record.h"
#include "security/add_security.h"
#include "security/inherit_security.h"
#include "security/security_result.h"
#include "security/security_template.h"
#include "support/engine_session.h"
#include "support/fault_opener.h"

namespace sproutsmith::security {
namespace {

using enum SecurityResult;

// Helpers give an item its author and typist and read its trustees back from the library file.
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

// The demo's template for its rules.
const char* const kDefaultTemplate =
    "%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; GROUP:DOCS_SUPERVISORS = 255; "
    "GROUP:DOCS_USERS = 63";

class AddSecurityTest : public SecuritySession {
 protected:
  SecurityResult Add(long long n, const std::string& security_template, bool append = false,
                     const std::string& doc_type = "F", const std::string& item_library = "DEMO") {
    return AddSecurity(context(), connection(), {.number = n, .library = item_library},
                       Rule(append, security_template), doc_type);
  }
  // Add() as Left() tells it.
  std::string Added(long long n, const std::string& security_template, bool append = false,
                    const std::string& doc_type = "F", const std::string& item_library = "DEMO") {
    return Left(Add(n, security_template, append, doc_type, item_library), n, item_library);
  }
};

TEST_F(AddSecurityTest, TheDefaultTemplateGivesGroupsTheirRightsAndAuthorAndTypistFullRights) {
  const std::string security_template = kDefaultTemplate;
  const long long n = Item("USER1", "USER2");
  context().options.LabelStatus = "Before";
  const int refreshes = Refreshes();

  const std::string applied =
      "applied: A_B 127, DOCS_SUPERVISORS 255, DOCS_USERS 63, LIT 127, USER1 191, USER2 191 / 1 1 "
      "98";
  EXPECT_EQ(Added(n, security_template), applied) << Dump();
  EXPECT_EQ(Refreshes(), refreshes + 1);
  EXPECT_EQ(context().options.LabelStatus, "Before");
  EXPECT_EQ(connection().LibraryName(), "DEMO");

  const std::string d = N(n);
  EXPECT_TRUE(
      Once({"AddSecurity: Assigning security for document #" + d + " using template \"" +
                security_template + "\"",
            "Adding trustee LIT with rights 127", "Adding trustee A_B with rights 127",
            "4 trustee(s) identified for this document",
            "Removing existing trustees from document #" + d, "Adding security for author USER1",
            "Adding security for typist USER2", "Posting 4 folder trustees to profiled document",
            "Enabling document security for document #" + d + " in library DEMO",
            "Finished adding 4 template trustees to profiled document #" + d,
            "UPDATE DOCSADM.PROFILE SET DEFAULT_RIGHTS = 1, SECURITY_LINK = SYSTEM_ID, "
            "SEC_REASON_LINK = 98 WHERE SYSTEM_ID = " +
                Profile(n, "SYSTEM_ID")}));
  // Secured before any trustee row is touched.
  EXPECT_LT(LineOf("Enabling document security"), LineOf("Removing existing trustees"));
  EXPECT_EQ(Count("SQL Error"), 0);

  // The /XR switch leaves the client's views alone.
  context().state.CommandLine = "/G /XR";
  EXPECT_EQ(Added(n, security_template), applied);
  EXPECT_EQ(Refreshes(), refreshes + 1);
}

TEST_F(AddSecurityTest, EachTrusteeFormReachesExactlyTheNamedUserOrGroup) {
  struct Case {
    const char* security_template;
    const char* author;
    const char* typist;
    const char* trustees;
  };
  const Case cases[] = {
      // Prefixes and names in any case; a name with an apostrophe; "A_B" is not "AXB".
      {"users:user3 = 255, PEOPLE:o'brien = 5; Person:User2 = 6; groups:a_b = 7", "USER1", "USER1",
       "A_B 7, O'BRIEN 5, USER1 191, USER2 6, USER3 255"},
      {"GROUP:O'HARA = 63", "O'BRIEN", "O'BRIEN", "O'BRIEN 191, O'HARA 63"},
      // Named in the template: the author gets those rights, not full rights as well.
      {"%AUTHOR% = 255; %TYPIST.USER_ID% = 63", "USER1", "USER2", "USER1 255, USER2 63"},
      // One primary group for both: listed once, with the larger rights.
      {"%AUTHOR.PRIMARY_GROUP% = 63; %TYPIST.PRIMARY_GROUP% = 127", "USER1", "USER3",
       "LIT 127, USER1 191, USER3 191"},
      {"GROUP:A_B = 255; GROUP:a_b = 63", "USER1", "USER1", "A_B 255, USER1 191"},
      // Rights 0 deny: written as 16711680, and everyone else keeps full rights.
      {"GROUP:A_B = 0", "USER1", "USER1", "A_B 16711680, DOCS_USERS 191, USER1 191"},
      // A group or user the library does not know gets no row.
      {"GROUP:NO_SUCH = 63; USER:NOBODY = 63; GROUP:LIT = 5", "USER1", "USER1", "LIT 5, USER1 191"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.security_template);
    const long long n = Item(c.author, c.typist);
    EXPECT_EQ(Added(n, c.security_template), "applied: " + std::string(c.trustees) + " / 1 1 98")
        << Dump();
  }
  EXPECT_EQ(Count("SQL Error"), 0) << Dump();
}

TEST_F(AddSecurityTest, ATemplateThatReachesNobodyLeavesTheItemAsItWas) {
  struct Case {
    const char* security_template;
    const char* people;  // author and typist, or "" for neither
    bool append;
    int default_rights;  // before and after
  };
  const Case cases[] = {
      // Neither author nor typist: their tokens name nobody.
      {"%AUTHOR% = 255; %TYPIST.PRIMARY_GROUP% = 5", "", false, 0},
      // Entries that the library does not know: the profile was secured while the rows were
      // written, then given back its default rights since no row came of it.
      {"GROUP:NO_SUCH = 63", "", true, 0},
      {"GROUP:NO_SUCH = 63", "USER1", true, 0},
      {"GROUP:NO_SUCH = 63; %AUTHOR.PRIMARY_GROUP.X% = 5", "USER1", true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.security_template);
    const long long n = Item(c.people, c.people);
    Grant(n, {{"AXB", 255}, {"USER1", 191}});
    Exec("DEMO", "UPDATE PROFILE SET DEFAULT_RIGHTS = " + N(c.default_rights) +
                     " WHERE DOCNUMBER = " + N(n));
    EXPECT_EQ(Add(n, c.security_template, c.append), kNothingToApply) << Dump();
    EXPECT_EQ(Trustees(n) + " / " + Profile(n, "DEFAULT_RIGHTS"),
              "AXB 255, USER1 191 / " + N(c.default_rights));
  }
  EXPECT_EQ(Count("No trustees identified for this template"), 1);
  EXPECT_EQ(Count("Note: No trustee row was written to document #"), 3) << Dump();
  EXPECT_EQ(Count("Error: "), 0);
}

TEST_F(AddSecurityTest, AppendModeUpdatesTheItemsRowsAndReplaceModeRewritesThem) {
  const std::string security_template = "GROUP:DOCS_USERS = 127; GROUP:LIT = 63; USER:USER3 = 5";
  for (const bool append : {true, false}) {
    SCOPED_TRACE(append ? "append" : "replace");
    const long long n = Item("USER1", "USER2");
    Grant(n, {{"AXB", 255}, {"DOCS_USERS", 63}, {"USER1", 191}, {"USER3", 255}});
    const int authors = Count("Adding security for author USER1");

    const std::string expected = std::string("applied: ") + (append ? "AXB 255, " : "") +
                                 "DOCS_USERS 127, LIT 63, USER1 191, USER2 191, USER3 5 / 1 1 98";
    EXPECT_EQ(Added(n, security_template, append), expected) << Dump();
    // The author already had a row: append mode leaves it alone.
    EXPECT_EQ(Count("Adding security for author USER1"), authors + (append ? 0 : 1));
    // Again: the same set, no row twice.
    EXPECT_EQ(Added(n, security_template, append), expected);
  }
  EXPECT_EQ(Count("Retrieving existing trustees from document #"), 2);
  EXPECT_EQ(Count("Removing existing trustees from document #"), 2);
  EXPECT_GE(Count("UPDATE DOCSADM.SECURITY SET ACCESSRIGHTS = 127 WHERE THING = "), 2);
}

TEST_F(AddSecurityTest, ADocumentIsSecuredOnlyWhenTheRuleAppendsTrustees) {
  const long long document = Document();
  SetPeople(document, "USER1", "USER1");
  const std::string before = Secured(document);

  EXPECT_EQ(Added(document, "GROUP:LIT = 63", false, "D"), "nothing to apply: " + before);
  EXPECT_TRUE(Once({"NOT adding security for document #" + N(document)}));
  EXPECT_EQ(Added(document, "GROUP:LIT = 63", true, "D"), "applied: LIT 63, USER1 191 / 1 1 98");
}

TEST_F(AddSecurityTest, WithoutAuthorTheTypistStandsIn) {
  // Author 0: repaired to the typist before anything else.
  const long long zero = Item("", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 0 WHERE DOCNUMBER = " + N(zero));
  EXPECT_EQ(Added(zero, "%AUTHOR.PRIMARY_GROUP% = 63"), "applied: A_B 63, USER2 191 / 1 1 98");
  EXPECT_EQ(Profile(zero, "AUTHOR = TYPIST"), "1");

  // An author that is not in PEOPLE: the typist's facts are used.
  const long long missing = Item("USER1", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 8999999 WHERE DOCNUMBER = " + N(missing));
  EXPECT_EQ(Added(missing, "%AUTHOR.PRIMARY_GROUP% = 63; %TYPIST% = 5"),
            "applied: A_B 63, USER2 5 / 1 1 98");
  EXPECT_TRUE(
      Once({"Fetching Typist ID and Primary Group because no Author information is "
            "found for document #" +
            N(missing)}));
}

TEST_F(AddSecurityTest, WithoutAuthorAndTypistTheTemplatesNamedTrusteesStillApply) {
  struct Case {
    const char* security_template;
    const char* trustees;
  };
  const Case cases[] = {
      // DOCS_USERS named with 63 stays 63: never everyone with full rights.
      {kDefaultTemplate, "DOCS_SUPERVISORS 255, DOCS_USERS 63"},
      // A template that keeps DOCS_USERS out keeps them out.
      {"GROUP:DOCS_USERS = 0; GROUP:LIT = 127", "DOCS_USERS 16711680, LIT 127"},
      // Only a deny: everyone else keeps full rights, as for any item.
      {"GROUP:A_B = 0; %AUTHOR% = 255", "A_B 16711680, DOCS_USERS 191"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.security_template);
    const long long n = Item("", "");
    Grant(n, {{"AXB", 255}});
    const int refreshes = Refreshes();
    EXPECT_EQ(Added(n, c.security_template), "applied: " + std::string(c.trustees) + " / 1 1 98");
    EXPECT_TRUE(
        Once({"Notice: Unable to access profile author and typist information for "
              "document #" +
              N(n) +
              " (most likely this is because one or more of these values are not yet "
              "set)"}));
    EXPECT_EQ(Refreshes(), refreshes + 1);
  }
  EXPECT_EQ(Count("SELECT 0, 191, SYSTEM_ID"), 0);
  EXPECT_EQ(Count("DEFAULT_RIGHTS = 0"), 0);
}

TEST_F(AddSecurityTest, BadCallsAndMissingProfilesAreRefused) {
  const long long n = Item("USER1", "USER1");
  EXPECT_EQ(Added(n, "  "), "failed:  / 0 0 ");
  EXPECT_EQ(Add(0, "GROUP:LIT = 5"), kFailed);
  EXPECT_TRUE(
      Once({"Cannot add security for document #" + N(n), "Cannot add security for document #0"}));

  EXPECT_EQ(Add(987654321, "GROUP:LIT = 5"), kFailed);
  EXPECT_EQ(Count("Unable to locate profile for document 987654321 - cannot set security"), 1)
      << Dump();
  EXPECT_EQ(Scalar("DEMO", "SELECT COUNT(*) FROM SECURITY WHERE PERSONORGROUP = 9100001"), "0");
  EXPECT_EQ(connection().LibraryName(), "DEMO");
}

TEST_F(AddSecurityTest, TheItemsLibraryIsSecuredAndTheConnectedOneRestored) {
  const long long n = Item("USER1", "USER1", "PLAIN");
  const int refreshes = Refreshes("DEMO") + Refreshes("PLAIN");
  // PLAIN has no SEC_REASON and no SECURITY_LINK column: the short update.
  EXPECT_EQ(Added(n, "GROUP:A_B = 63", false, "F", "PLAIN"), "applied: A_B 63, USER1 191 / 1 0 ");
  EXPECT_EQ(connection().LibraryName(), "DEMO");
  EXPECT_EQ(Trustees(n), "");  // the same number in the connected library is not touched
  EXPECT_EQ(Refreshes("DEMO") + Refreshes("PLAIN"), refreshes + 1);

  EXPECT_EQ(Add(n, "GROUP:A_B = 63", false, "F", "NOWHERE"), kFailed);
  EXPECT_EQ(Count("Unable to connect to library NOWHERE"), 1);
  EXPECT_EQ(connection().LibraryName(), "DEMO");
}

class AddSecurityFaultTest : public AddSecurityTest {
 protected:
  void SetUp() override { StartWithFaults(); }
};

TEST_F(AddSecurityFaultTest, AFailedStatementLeavesTheItemClosedAndApplyingAgainCompletesIt) {
  struct Case {
    const char* security_template;
    bool append;
  };
  const Case cases[] = {
      {"GROUP:LIT = 127; GROUP:A_B = 0; USER:USER3 = 5", false},
      {"GROUP:LIT = 127; GROUP:A_B = 0; USER:USER3 = 5", true},
      // Only denies: DOCS_USERS gets full rights, but never before the denies are written.
      {"GROUP:A_B = 0; GROUP:AXB = 0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.security_template) + (c.append ? " (append)" : " (replace)"));
    FailEachCallInTurn([&](long long n) { return Add(n, c.security_template, c.append); }, "DEMO",
                       [&](long long n) {
                         return "Unable to set security for document #" + N(n) +
                                " in library DEMO - ";
                       });
  }
}

// The accepted entries as "source:NAME=rights", joined by ", ".
std::string Parsed(const char* text) {
  static const char* const kSources[] = {"group",  "user",         "author",
                                         "typist", "author-group", "typist-group"};
  std::string parsed;
  for (const TemplateEntry& e : ParseSecurityTemplate(text)) {
    parsed += (parsed.empty() ? "" : ", ") + std::string(kSources[static_cast<int>(e.source)]) +
              (e.name.empty() ? "" : ":" + e.name) + "=" + ::testing::PrintToString(e.rights);
  }
  return parsed;
}

TEST(SecurityTemplateTest, EntriesAreAcceptedOnlyInTheirDocumentedForms) {
  const std::pair<const char*, const char*> cases[] = {
      // Both separators, leading separators and blanks, letter case of prefixes and names.
      {" ;, groups : a_b=7 , users:o'brien = 8;PEOPLE:x=1;Person:y=2",
       "group:A_B=7, user:O'BRIEN=8, user:X=1, user:Y=2"},
      {"%author%=1;%Author.User_Id%=2;%TYPIST%=3;%TYPIST.USER_ID%=4;"
       "%AUTHOR.PRIMARY_GROUP.GROUP_ID%=5;%typist.primary_group.group_id%=6",
       "author=1, author=2, typist=3, typist=4, author-group=5, typist-group=6"},
      // No "=", "=" first, no prefix, an unknown prefix or token, an empty name: skipped.
      {"GROUP:X; = 5; DOCS_USERS = 63; PEOPLEX:A = 1; MEMBER:B = 2; %NOBODY% = 3; GROUP: = 4; "
       ":C = 5; %% = 6",
       ""},
      // Rights: the leading number, rounded; text without a number is 0.
      {"GROUP:A = 12.6; GROUP:B = abc; GROUP:C =; GROUP:D = -5; GROUP:E = 63 extra",
       "group:A=13, group:B=0, group:C=0, group:D=-5, group:E=63"},
      {"", ""},
  };
  for (const auto& [text, parsed] : cases) EXPECT_EQ(Parsed(text), parsed) << text;
}

TEST(SecurityTemplateTest, ATrusteeNamedTwiceIsListedOnceWithTheLargerRights) {
  TrusteeList list;
  // A user of the same name as a group is another trustee.
  const std::vector<bool> added{list.Add({"", "LIT", 63}), list.Add({"LIT", "", 5}),
                                list.Add({"", "LIT", 127}), list.Add({"", "LIT", 0}),
                                list.Add({"", "A_B", 0})};
  EXPECT_EQ(added, (std::vector<bool>{true, true, false, false, true}));
  EXPECT_EQ(list.entries(),
            (std::vector<Trustee>{{"", "LIT", 127}, {"LIT", "", 5}, {"", "A_B", 0}}));
  EXPECT_EQ((std::vector<bool>{list.NamesGroup("A_B"), list.NamesGroup("AXB"), list.NamesGroup(""),
                               list.NamesUser("LIT"), list.NamesUser("lit")}),
            (std::vector<bool>{true, false, false, true, false}));

  list.MarkPresent("", "A_B");
  list.MarkPresent("NOBODY", "");
  list.MarkPresent("", "");
  EXPECT_EQ(list.entries(),
            (std::vector<Trustee>{{"", "LIT", 127}, {"LIT", "", 5}, {"", "A_B", 0, true}}));
}

class InheritSecurityTest : public SecuritySession {
 protected:
  SecurityResult Inherit(long long n, long long parent, const std::string& item_library = "DEMO") {
    return InheritSecurity(
        context(), connection(),
        {.number = n, .library = item_library, .parent = parent, .parent_library = "DEMO"});
  }
  // Inherit() as Left() tells it.
  std::string Inherited(long long n, long long parent, const std::string& item_library = "DEMO") {
    return Left(Inherit(n, parent, item_library), n, item_library);
  }
  // A parent folder whose trustees hold the child's author USER1 with 63.
  long long SecuredParent() {
    const long long parent = Item("DMADMIN", "DMADMIN");
    Grant(parent, {{"USER3", 255}, {"LIT", 127}, {"DOCS_USERS", 63}});
    Grant(parent, {{"A_B", 5}, {"O'BRIEN", 31}, {"USER1", 63}});
    return parent;
  }
};

TEST_F(InheritSecurityTest, TheItemGetsExactlyTheParentsTrusteesAndItsAuthorAndTypistFullRights) {
  const long long parent = SecuredParent();
  const std::string parent_rows = Secured(parent);
  const long long child = Item("USER1", "USER2");
  // Rows of the child that the parent does not have are removed.
  Grant(child, {{"AXB", 255}, {"USER3", 1}});
  const int refreshes = Refreshes();

  const std::string inherited =
      "applied: A_B 5, DOCS_USERS 63, LIT 127, O'BRIEN 31, USER1 191, USER2 191, USER3 255 / 1 1 "
      "98";
  EXPECT_EQ(Inherited(child, parent), inherited) << Dump();
  EXPECT_EQ(Secured(parent), parent_rows);
  EXPECT_EQ(Refreshes(), refreshes + 1);
  EXPECT_EQ(Count("SQL Error"), 0);

  const std::string c = N(child), p = N(parent);
  EXPECT_TRUE(Once({"InheritSecurity: Setting security for document #" + c +
                        " to match security from folder #" + p,
                    "Inheriting security for item #" + c + " from folder #" + p,
                    "Removing existing trustees", "Adding security for author USER1",
                    "Adding security for typist USER2",
                    "Adding 6 folder trustee(s) to profiled document", "Enabling document security",
                    "Finished adding 6 folder trustees to profiled document"}));
  // Secured before any row is touched.
  EXPECT_LT(LineOf("Enabling document security"), LineOf("Removing existing trustees"));

  // Again, with the switch that leaves the client's views alone: the same set, no row twice.
  context().state.CommandLine = "/G /XR";
  EXPECT_EQ(Inherited(child, parent), inherited);
  EXPECT_EQ(Refreshes(), refreshes + 1);
}

TEST_F(InheritSecurityTest, AParentWithoutTrusteeRowsChangesNothing) {
  const long long parent = Item("DMADMIN", "DMADMIN");
  const long long child = Item("USER1", "USER2");
  Grant(child, {{"AXB", 255}});
  // A_B's row must not count for AXB's parent, nor the other way round.
  const long long axb = Item("DMADMIN", "DMADMIN");
  Grant(axb, {{"A_B", 63}});
  const int refreshes = Refreshes();

  EXPECT_EQ(Inherited(child, parent), "nothing to apply: AXB 255 / 0 0 ");
  EXPECT_TRUE(Once(
      {"No trustees found for parent folder - not setting security for document " + N(child)}));
  EXPECT_EQ(Refreshes(), refreshes);

  // Rows whose rights read empty are passed over: nothing to copy, and that is fine.
  Exec("DEMO",
       "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT SYSTEM_ID, 0, "
       "'' FROM PROFILE WHERE DOCNUMBER = " +
           N(parent));
  EXPECT_EQ(Inherited(child, parent), "nothing to apply: AXB 255 / 0 0 ");
  EXPECT_TRUE(Once({"No trustees found for parent folder #" + N(parent) +
                    " - not changing security for document " + N(child)}));
}

TEST_F(InheritSecurityTest, WithoutTheAuthorsPeopleRowTheTypistStandsForTheAuthor) {
  const long long parent = SecuredParent();
  const long long child = Item("USER1", "USER2");
  Exec("DEMO", "UPDATE PROFILE SET AUTHOR = 8999999 WHERE DOCNUMBER = " + N(child));
  Grant(parent, {{"USER2", 7}});
  EXPECT_EQ(Inherited(child, parent),
            "applied: A_B 5, DOCS_USERS 63, LIT 127, O'BRIEN 31, USER1 63, USER2 191, USER3 255 / "
            "1 1 98")
      << Dump();
  EXPECT_EQ(Count("Adding security for typist"), 0);
}

TEST_F(InheritSecurityTest, BadCallsAndMissingProfilesAreRefused) {
  const long long parent = SecuredParent();
  EXPECT_EQ(Inherit(0, parent), kFailed);
  EXPECT_EQ(Inherited(parent, 0),
            "failed: A_B 5, DOCS_USERS 63, LIT 127, O'BRIEN 31, USER1 63, USER3 255 / 0 0 ");
  EXPECT_EQ(Count("No document number or parent folder id specified - cannot set security "
                  "inheritance"),
            1);  // the repeated line is logged once
  EXPECT_EQ(Inherit(987654321, parent), kFailed);
  EXPECT_EQ(Count("Unable to locate profile for document 987654321 - cannot set security"), 1);
  EXPECT_EQ(Scalar("DEMO",
                   "SELECT COUNT(*) FROM SECURITY WHERE THING NOT IN (SELECT SYSTEM_ID "
                   "FROM PROFILE)"),
            "0");
}

// The demo's mail room files a folder of library PLAIN under a client folder of DEMO. The
// people's SYSTEM_IDs differ between the two: PARALEGALS is 9100010 in DEMO, 9100020 in
// PLAIN, where 9100010 is DECOY; DEMO_ONLY exists in DEMO alone. PLAIN has no SEC_REASON and
// no SECURITY_LINK column: the short update.
TEST_F(InheritSecurityTest, AnItemInAnotherLibraryGetsTheFoldersTrusteesByTheirIds) {
  Exec("DEMO",
       "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME) VALUES (9100010, 'PARALEGALS', 'P'), "
       "(9100011, 'DEMO_ONLY', 'D')");
  Exec("PLAIN",
       "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME) VALUES (9100020, 'PARALEGALS', 'P'), "
       "(9100010, 'DECOY', 'D')");
  const long long parent = Item("DMADMIN", "DMADMIN", "DEMO");
  Grant(parent, {{"PARALEGALS", 63}, {"DEMO_ONLY", 255}, {"A_B", 16711680}, {"USER3", 5}});

  // PLAIN's own document with the folder's number, secured otherwise.
  const std::string p = N(parent);
  if (Scalar("PLAIN", "SELECT COUNT(*) FROM PROFILE WHERE DOCNUMBER = " + p) == "0") {
    Exec("PLAIN",
         "UPDATE PROFILE SET DOCNUMBER = " + p + " WHERE DOCNUMBER = " + N(Document("PLAIN")));
  }
  Grant(parent, {{"AXB", 255}, {"O'BRIEN", 191}}, "PLAIN");
  const std::string unrelated = Secured(parent, "PLAIN");

  for (const char* connected : {"DEMO", "PLAIN"}) {
    SCOPED_TRACE(std::string("connected: ") + connected);
    const long long item = MakeFolder("PLAIN", "Correspondence", parent, "DEMO");
    SetPeople(item, "USER1", "USER2", "PLAIN");
    const std::string same_number_in_demo = Secured(item);
    ASSERT_TRUE(connection().ConnectLibrary(connected));

    EXPECT_EQ(Inherited(item, parent, "PLAIN"),
              "applied: A_B 16711680, PARALEGALS 63, USER1 191, USER2 191, USER3 5 / 1 0 ")
        << Dump();
    EXPECT_EQ(connection().LibraryName(), connected);
    EXPECT_TRUE(Once({"Group DEMO_ONLY of folder #" + p +
                      " is not in library PLAIN - not added to document #" + N(item)}));
    EXPECT_EQ(Secured(parent, "PLAIN"), unrelated);
    EXPECT_EQ(Secured(item), same_number_in_demo);
  }
}

class InheritSecurityFaultTest : public InheritSecurityTest {
 protected:
  void SetUp() override { StartWithFaults({{.name = "DEMO"}, {.name = "ARCHIVE"}}); }
};

TEST_F(InheritSecurityFaultTest, AFailedStatementLeavesTheItemClosedAndInheritingAgainCompletesIt) {
  const long long parent = Item("DMADMIN", "DMADMIN", "DEMO");
  Grant(parent, {{"LIT", 127}, {"A_B", 16711680}, {"USER3", 255}, {"DOCS_USERS", 63}});
  // The folder is in DEMO, which stays connected.
  for (const std::string item_library : {"DEMO", "ARCHIVE"}) {
    SCOPED_TRACE("item in " + item_library);
    auto inherit = [&](long long n) { return Inherit(n, parent, item_library); };
    // The first switch to a library learns its facts; the calls counted are a later one's.
    ASSERT_EQ(inherit(Item("USER1", "USER2", item_library)), kApplied);
    FailEachCallInTurn(inherit, item_library, [&](long long n) {
      return "for document #" + N(n) + " in library " + item_library;
    });
    EXPECT_EQ(finished_.size(), 6u);
  }
}

}  // namespace
}  // namespace sproutsmith::security
