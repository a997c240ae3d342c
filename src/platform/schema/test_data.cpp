#include "platform/schema/test_data.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <set>
#include <vector>

#include "platform/schema/fixed_rows.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/row_writer.h"
#include "platform/schema/rule_rows.h"
#include "platform/schema/sqlite_ddl.h"
#include "text/text.h"

namespace sproutsmith::schema {

namespace {

using sql::Value;

// splitmix64: the same sequence on every platform and standard library, unlike the
// distributions of <random>.
class Rng {
 public:
  explicit Rng(unsigned seed) : state_(0x9E3779B97F4A7C15ULL ^ seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  int Below(int n) { return n <= 1 ? 0 : static_cast<int>(Next() % static_cast<unsigned>(n)); }
  size_t Index(size_t n) { return n <= 1 ? 0 : static_cast<size_t>(Next() % n); }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Index(N)];
  }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Index(items.size())];
  }

 private:
  std::uint64_t state_;
};

// Ids of one block taken from the key counter.
class Ids {
 public:
  Ids(long long first, long long count) : next_(first), end_(first + count) {}
  long long Next() { return next_++; }
  // More ids handed out than were allocated: they may collide with later allocations.
  bool overrun() const { return next_ > end_; }

 private:
  long long next_;
  long long end_;
};

// Names with an apostrophe on purpose: they must survive every quoting on their way.
constexpr const char* kFirstNames[] = {"Anna",  "Brian",  "Carla", "David", "Elena", "Frank",
                                       "Grace", "Henry",  "Irene", "James", "Karen", "Louis",
                                       "Maria", "Nolan",  "Olive", "Peter", "Rosa",  "Simon",
                                       "Tara",  "Victor", "Wendy", "Yvonne"};
constexpr const char* kLastNames[] = {"Adams",  "Baker",  "Clark",   "Davis",  "Evans", "Fisher",
                                      "Garcia", "Harris", "Ingram",  "Jones",  "King",  "Lewis",
                                      "Moore",  "Nash",   "O'Neill", "Parker", "Reed",  "Smith",
                                      "Turner", "Vance",  "Walker",  "Young"};
constexpr const char* kCompanyWords[] = {
    "Acme",       "Northwind", "Blue River", "Harbor",    "Summit",    "Granite",
    "Silverline", "Oakridge",  "Pinecrest",  "Redstone",  "Westfield", "Brightwater",
    "Ironbridge", "Maple",     "Crescent",   "Evergreen", "O'Brien",   "Lakeside"};
constexpr const char* kCompanyKinds[] = {"Holdings", "Industries", "Partners",  "Logistics",
                                         "Foods",    "Energy",     "Capital",   "Systems",
                                         "Trading",  "Shipping",   "Insurance", "Health"};
constexpr const char* kCompanyForms[] = {"Ltd", "Inc", "LLC", "plc", "GmbH"};
constexpr const char* kMatterTopics[] = {
    "General Advice",    "Contract Review", "Employment Dispute", "Property Purchase",
    "Tax Planning",      "Merger",          "Litigation",         "Licensing",
    "Compliance Review", "Debt Recovery",   "Lease Renewal",      "Trademark Filing"};
constexpr const char* kDocumentTypes[][2] = {{"CORR", "Correspondence"}, {"MEMO", "Memorandum"},
                                             {"AGMT", "Agreement"},      {"PLEAD", "Pleading"},
                                             {"NOTE", "File Note"},      {"RESEARCH", "Research"},
                                             {"BRIEF", "Brief"},         {"INVOICE", "Invoice"},
                                             {"MINUTES", "Minutes"},     {"REPORT", "Report"}};
constexpr const char* kPracticeGroups[][2] = {{"LITIGATION", "Litigation"},
                                              {"CORPORATE", "Corporate"},
                                              {"PROPERTY", "Property"},
                                              {"TAX", "Tax"}};
constexpr const char* kRights[] = {"User.ManageRootFolders", "User.CreateFolder",
                                   "User.SaveToRemoteLibrary"};

std::string Numbered(const char* format, long long n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, n);
  return buf;
}

// A deterministic moment in 2020-2024, as the DATETIME text the library stores.
std::string SomeMoment(Rng& rng) {
  const text::DateTime day =
      text::DateTime{2020, 1, 1}
          .AddDays(rng.Below(5 * 365))
          .AddSeconds((8 + rng.Below(10)) * 3600 + rng.Below(60) * 60 + rng.Below(60));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", day.year, day.month, day.day,
                day.hour, day.minute, day.second);
  return buf;
}

std::string UserIdFor(const std::string& first, const std::string& last) {
  std::string id(1, first[0]);
  for (char c : last) {
    if (std::isalnum(static_cast<unsigned char>(c))) id += c;
  }
  return text::UCase(id);
}

Status Validate(const GeneratorOptions& o) {
  if (o.clients < 0 || o.matters_per_client < 0 || o.document_types < 0 || o.people < 0 ||
      o.documents_per_matter < 0) {
    return Status::Error("Test data sizes cannot be negative");
  }
  if (text::Trim(o.login_user).empty()) return Status::Error("The login user is empty");
  const long long documents =
      static_cast<long long>(o.clients) * o.matters_per_client * o.documents_per_matter;
  if (documents > 0 && o.document_types == 0) {
    return Status::Error("Documents need at least one document type");
  }
  return Status::Ok();
}

struct Person {
  long long id;
  std::string user_id;
};

class Generator {
 public:
  Generator(sql::Database& db, const GeneratorOptions& o) : db_(db), o_(o), rng_(o.seed) {}

  Status Run();

 private:
  // Row writers keep their first failure: rows are added unchecked, each writer's flush
  // answers for all of its rows.
  long long KeysNeeded() const;
  Status ReadFixedIds();
  Status WritePeople(Ids& ids);
  Status WriteClientsAndMatters(Ids& ids);
  Status WriteDocumentTypes(Ids& ids);
  Status WriteDocuments(Ids& ids);
  Status WriteRights();
  Status WriteRules();

  sql::Database& db_;
  const GeneratorOptions& o_;
  Rng rng_;

  long long supervisors_ = 0;
  long long document_form_ = 0;
  std::vector<long long> document_apps_;
  std::vector<Person> people_;  // the login user first
  std::vector<long long> matters_;
  std::vector<std::string> matter_labels_;                // client name + topic, for document names
  std::vector<std::pair<long long, std::string>> types_;  // SYSTEM_ID, description
};

long long Generator::KeysNeeded() const {
  const long long matters = static_cast<long long>(o_.clients) * o_.matters_per_client;
  const long long documents = matters * o_.documents_per_matter;
  return static_cast<long long>(std::size(kPracticeGroups)) + 1 + o_.people + o_.clients + matters +
         o_.document_types + 3 * documents;  // SYSTEM_ID, DOCNUMBER, VERSION_ID
}

Status Generator::ReadFixedIds() {
  const sql::ExecResult groups =
      db_.Execute("SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_SUPERVISORS'");
  const sql::ExecResult forms =
      db_.Execute("SELECT SYSTEM_ID FROM FORMS WHERE FORM_NAME = ?", {T(kDocumentForm)});
  const sql::ExecResult apps =
      db_.Execute("SELECT SYSTEM_ID FROM APPS WHERE APPLICATION <> 'FOLDER' ORDER BY SYSTEM_ID");
  if (!groups.ok() || !forms.ok() || !apps.ok() || groups.result.rows.empty() ||
      forms.result.rows.empty() || apps.result.rows.empty()) {
    return Status::Error("The library lacks its fixed rows (DOCS_SUPERVISORS, " +
                         std::string(kDocumentForm) + ", document applications)");
  }
  supervisors_ = groups.result.rows[0][0].AsInteger();
  document_form_ = forms.result.rows[0][0].AsInteger();
  for (const auto& row : apps.result.rows) document_apps_.push_back(row[0].AsInteger());
  return Status::Ok();
}

Status Generator::WritePeople(Ids& ids) {
  RowWriter groups(db_, "GROUPS", {"SYSTEM_ID", "GROUP_ID", "GROUP_NAME", "UNIV_ACCESS"});
  std::vector<long long> practice;
  for (const auto& g : kPracticeGroups) {
    practice.push_back(ids.Next());
    groups.Add({I(practice.back()), T(g[0]), T(g[1]), I(127)});
  }
  if (Status s = groups.Flush(); !s.ok()) return s;

  RowWriter people(
      db_, "PEOPLE",
      {"SYSTEM_ID", "USER_ID", "FULL_NAME", "PRIMARY_GROUP", "PRIMARY_LIB", "EMAIL_ADDRESS"});
  RowWriter members(db_, "PEOPLEGROUPS", {"PEOPLE_SYSTEM_ID", "GROUPS_SYSTEM_ID"});
  const std::string login = text::Trim(o_.login_user);
  people_.push_back({ids.Next(), login});
  people.Add({I(people_[0].id), T(login), T("Library Administrator"), I(supervisors_),
              I(kOwnLibraryId), T(text::LCase(login) + "@example.com")});
  members.Add({I(people_[0].id), I(supervisors_)});
  members.Add({I(people_[0].id), I(kDocsUsersGroupId)});
  std::set<std::string> taken{text::UCase(login)};
  for (int i = 0; i < o_.people; ++i) {
    const std::string first = rng_.Pick(kFirstNames);
    const std::string last = rng_.Pick(kLastNames);
    std::string user = UserIdFor(first, last);
    for (int n = 2; !taken.insert(user).second; ++n)
      user = UserIdFor(first, last) + std::to_string(n);
    const long long group = rng_.Pick(practice);
    people_.push_back({ids.Next(), user});
    people.Add({I(people_.back().id), T(user), T(first + " " + last), I(group), I(kOwnLibraryId),
                T(text::LCase(user) + "@example.com")});
    members.Add({I(people_.back().id), I(kDocsUsersGroupId)});
    members.Add({I(people_.back().id), I(group)});
  }
  if (Status s = people.Flush(); !s.ok()) return s;
  return members.Flush();
}

Status Generator::WriteClientsAndMatters(Ids& ids) {
  RowWriter clients(db_, "CLIENT", {"SYSTEM_ID", "CLIENT_ID", "CLIENT_NAME"});
  RowWriter matters(db_, "MATTER", {"SYSTEM_ID", "CLIENT_ID", "MATTER_ID", "MATTER_NAME"});
  for (int c = 1; c <= o_.clients; ++c) {
    const long long client = ids.Next();
    const std::string name = std::string(rng_.Pick(kCompanyWords)) + " " +
                             rng_.Pick(kCompanyKinds) + " " + rng_.Pick(kCompanyForms);
    clients.Add({I(client), T(Numbered("C%04lld", c)), T(name)});
    for (int m = 1; m <= o_.matters_per_client; ++m) {
      const std::string topic = rng_.Pick(kMatterTopics);
      matters_.push_back(ids.Next());
      matter_labels_.push_back(name + " - " + topic);
      matters.Add({I(matters_.back()), I(client), T(Numbered("%04lld", m)), T(topic)});
    }
  }
  if (Status s = clients.Flush(); !s.ok()) return s;
  return matters.Flush();
}

Status Generator::WriteDocumentTypes(Ids& ids) {
  RowWriter types(db_, "DOCUMENTTYPES", {"SYSTEM_ID", "TYPE_ID", "DESCRIPTION"});
  for (int i = 0; i < o_.document_types; ++i) {
    const bool named = i < static_cast<int>(std::size(kDocumentTypes));
    const std::string type_id = named ? kDocumentTypes[i][0] : Numbered("TYPE%02lld", i + 1);
    const std::string description =
        named ? kDocumentTypes[i][1] : Numbered("Document Type %lld", i + 1);
    types_.emplace_back(ids.Next(), description);
    types.Add({I(types_.back().first), T(type_id), T(description)});
  }
  return types.Flush();
}

Status Generator::WriteDocuments(Ids& ids) {
  RowWriter profiles(
      db_, "PROFILE",
      {"SYSTEM_ID", "DOCNUMBER", "DOCNAME", "APPLICATION", "STATUS", "AUTHOR", "TYPIST", "MATTER",
       "DOCUMENTTYPE", "FORM", "STORAGETYPE", "DEFAULT_RIGHTS", "CREATION_DATE", "LAST_EDIT_DATE"});
  RowWriter versions(
      db_, "VERSIONS",
      {"VERSION_ID", "DOCNUMBER", "VERSION", "VERSION_LABEL", "AUTHOR", "TYPIST", "CREATION_DATE"});
  const size_t type_count = types_.size();
  std::vector<size_t> order(type_count);
  for (size_t m = 0; m < matters_.size(); ++m) {
    // Each matter uses a strict subset of the types, so a template level by document type
    // gets different folders under different matters.
    for (size_t i = 0; i < type_count; ++i) order[i] = i;
    for (size_t i = type_count; i > 1; --i) std::swap(order[i - 1], order[rng_.Index(i)]);
    const size_t allowed = type_count > 1 ? 1 + rng_.Index(type_count - 1) : type_count;
    for (int d = 0; d < o_.documents_per_matter; ++d) {
      const auto& type = types_[order[rng_.Index(allowed)]];
      // With other people about, the administrator authors nothing: a wrong author
      // lookup then shows.
      const Person& author =
          people_.size() > 1 ? people_[1 + rng_.Index(people_.size() - 1)] : people_[0];
      const Person& typist = rng_.Pick(people_);
      const long long app = rng_.Pick(document_apps_);
      const long long system_id = ids.Next();
      const long long docnumber = ids.Next();
      const std::string created = SomeMoment(rng_);
      const std::string name =
          type.second + " " + std::to_string(d + 1) + " - " + matter_labels_[m];
      profiles.Add({I(system_id), I(docnumber), T(name), I(app), I(0), I(author.id), I(typist.id),
                    I(matters_[m]), I(type.first), I(document_form_), T("A"), I(0), T(created),
                    T(created)});
      versions.Add(
          {I(ids.Next()), I(docnumber), I(1), T("1"), I(author.id), I(typist.id), T(created)});
    }
  }
  if (Status s = profiles.Flush(); !s.ok()) return s;
  return versions.Flush();
}

Status Generator::WriteRights() {
  RowWriter rights(db_, "STANDIN_RIGHTS", {"USER_ID", "RIGHT_NAME", "ALLOWED"});
  for (const char* right : kRights) {
    rights.Add({T(people_[0].user_id), T(right), I(1)});
  }
  // Others: all three, two, one, then an explicit refusal; everyone else has no row.
  for (size_t p = 1; p < people_.size() && p <= 3; ++p) {
    for (size_t r = p - 1; r < std::size(kRights); ++r) {
      rights.Add({T(people_[p].user_id), T(kRights[r]), I(1)});
    }
  }
  if (people_.size() > 4) rights.Add({T(people_[4].user_id), T("User.CreateFolder"), I(0)});
  return rights.Flush();
}

Status Generator::WriteRules() {
  RuleDefinition clients = StandardRule(kClientsRule, kClientsTemplate);
  // Its sources are clients and matters: a condition on the document's application
  // would not apply.
  std::erase_if(clients.text_values, [](const auto& kv) { return kv.first == "RULE_VALUES"; });
  clients.SetText("RULE_FORM", kFolderForm);
  if (Status s = WriteRule(db_, StandardRule(kClientMattersRule, kMatterTemplate)); !s.ok()) {
    return s;
  }
  if (Status s = WriteRule(db_, clients); !s.ok()) return s;
  const std::pair<const char*, long long> settings[] = {
      {"MAXITEMSTOSORT", 500}, {"TOPLEVELWARNING", 0}, {"CONTINUEONMOVE", 0}};
  for (const auto& [name, value] : settings) {
    if (Status s = WriteIntegerSetting(db_, name, value); !s.ok()) return s;
  }
  return Status::Ok();
}

Status Generator::Run() {
  if (Status s = Validate(o_); !s.ok()) return s;
  if (!IsDmLibrary(db_)) return Status::Error(db_.Location() + " holds no DM library");
  sql::Transaction tx(db_);
  if (!tx.active()) return Status::Error(db_.Location() + " cannot be written");
  const sql::ExecResult used =
      db_.Execute("SELECT (SELECT COUNT(*) FROM PEOPLE) + (SELECT COUNT(*) FROM CLIENT)");
  if (!used.ok()) return used.status;
  if (used.result.rows[0][0].AsInteger() != 0) {
    return Status::Error(db_.Location() +
                         " already holds people or clients: test data goes "
                         "into a freshly provisioned library");
  }
  if (o_.with_rules) {
    const sql::ExecResult tables = db_.Execute(TableListSql(db_.backend()));
    const bool found =
        tables.ok() &&
        std::any_of(tables.result.rows.begin(), tables.result.rows.end(), [](const auto& row) {
          return text::EqualsNoCase(row[0].text, "QUIL_SETTINGS");
        });
    if (!found) {
      return Status::Error(db_.Location() + " has no QUIL_SETTINGS table for the rules");
    }
  }
  if (Status s = ReadFixedIds(); !s.ok()) return s;
  const long long needed = KeysNeeded();
  std::string error;
  const long long first = AllocateKeys(db_, needed, &error);
  if (first == 0) return Status::Error(error);
  Ids ids(first, needed);
  for (Status (Generator::*step)(Ids&) :
       {&Generator::WritePeople, &Generator::WriteClientsAndMatters, &Generator::WriteDocumentTypes,
        &Generator::WriteDocuments}) {
    if (Status s = (this->*step)(ids); !s.ok()) return s;
  }
  if (Status s = WriteRights(); !s.ok()) return s;
  if (o_.with_rules) {
    if (Status s = WriteRules(); !s.ok()) return s;
  }
  if (ids.overrun()) return Status::Error("More keys were used than allocated");
  if (!tx.Commit()) return Status::Error(db_.Location() + ": the commit was refused");
  return Status::Ok();
}

}  // namespace

Status GenerateTestData(sql::Database& db, const GeneratorOptions& options) {
  return Generator(db, options).Run();
}

}  // namespace sproutsmith::schema
