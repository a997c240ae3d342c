// Cost of sorting one folder (SortThisFolder) against the cost of the one statement that
// reads the folder's items, both measured in this run, for folders of 10, 100 and 1,000
// items: once when the folder is already in order, once after one new item was linked at
// the end of the chain with a name that belongs somewhere random. Reports the time ratio
// and the database calls per sort, which must not grow with the folder beyond the read.
//
//   sort_bench [REPETITIONS] [--quiet] [--rv]
//     REPETITIONS  sorts timed per case (default 41)
//     --quiet      verbose logging off (shipped: on)
//     --rv         "/RV" on the command line: no view refresh after each sort (shipped: off)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "platform/dmapi/installation.h"
#include "platform/os/clock.h"
#include "platform/os/settings_store.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/test_data.h"
#include "platform/sql/fault_injecting_database.h"
#include "platform/sql/sqlite_database.h"
#include "sorting/folder_sorting.h"

namespace {

namespace fs = std::filesystem;
using namespace sproutsmith;
using sql::Value;
using Steady = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "sort_bench: %s\n", what.c_str());
  std::exit(1);
}

class QuietUi final : public runtime::Ui {
 public:
  runtime::Answer MessageBox(const std::string& text, runtime::MessageStyle,
                             const std::string&) override {
    std::fprintf(stderr, "sort_bench: message: %s\n", text.c_str());
    return runtime::Answer::kNo;
  }
  void Yield() override {}
  void StatusChanged(const std::string&) override {}
  void SetBusy(bool) override {}
  void SleepOneSecond() override {}
  std::string ChooseSaveFile(const std::string&, const std::string&, const std::string&,
                             const std::string&, const std::string&) override {
    return "";
  }
  std::string ChooseLibrary(const std::vector<std::string>&) override { return ""; }
};

void MakeLibrary(const std::string& path) {
  std::string error;
  auto db = sql::SqliteDatabase::Open(path, true, &error);
  schema::LibraryDefinition def;
  def.name = "BENCH";
  schema::GeneratorOptions data;
  data.clients = 2;
  data.with_rules = false;
  if (db) {
    sproutsmith::Status made = schema::ProvisionLibrary(*db, def);
    if (made.ok()) made = schema::GenerateTestData(*db, data);
    error = made.text;
  }
  if (!error.empty()) {
    Fail(error);
  }
}

void Check(const sql::ExecResult& r) {
  if (!r.ok()) Fail(r.status.text);
}

// Per call: the median time (other work on the machine only ever adds to a time) and the
// mean counts.
struct Measure {
  std::vector<double> times;
  double calls = 0;   // database calls
  double sql = 0;     // of them, statements the engine sent through its gateway
  double writes = 0;  // FOLDER_ITEM rows updated

  void Add(Steady::time_point start) {
    times.push_back(std::chrono::duration<double>(Steady::now() - start).count());
  }
  double Seconds() const {
    std::vector<double> t = times;
    std::sort(t.begin(), t.end());
    return t.empty() ? 0 : t[t.size() / 2];
  }
  void Average() {
    const double n = std::max<size_t>(1, times.size());
    calls /= n;
    sql /= n;
    writes /= n;
  }
};

class Bench {
 public:
  Bench(const fs::path& dir, bool verbose, bool no_refresh)
      : settings_(dir.string()),
        identity_(runtime::Identity::ForVersion(2026, 1, 1)),
        log_(clock_, state_, options_, ui_),
        context_{clock_, settings_, ui_, state_, options_, identity_, log_} {
    state_.LogFile = (dir / "sort_bench.log").string();
    state_.TempDir = dir.string();
    state_.CommandLine = no_refresh ? "/G /X /RV" : "/G /X";
    options_.CheckLogMethod = verbose ? 1 : 0;
    const std::string path = (dir / "bench.db").string();
    MakeLibrary(path);
    dmapi::InstallationConfig config;
    config.user_id = "DMADMIN";
    config.current_library = "BENCH";
    dmapi::LibraryConfig lib;
    lib.name = "BENCH";
    lib.database_path = path;
    config.libraries.push_back(lib);
    // Every database call of the engine and the stand-in passes the counter.
    client_ = dmapi::OpenInstallation(
        config, &clock_, [this](const dmapi::LibraryConfig& l, std::string* error) {
          auto inner = dmapi::OpenLibraryDatabase(l, error);
          if (!inner) return std::unique_ptr<sql::Database>();
          auto counted = std::make_unique<sql::FaultInjectingDatabase>(std::move(inner));
          db_ = counted.get();
          return std::unique_ptr<sql::Database>(std::move(counted));
        });
    if (!client_) Fail("no client");
    connection_ = std::make_unique<dm::Connection>(context_, *client_);
    if (!connection_->StartFusion() || db_ == nullptr) Fail("the DM session did not start");
  }

  // A folder of `n` items whose chain is in name order; the names are random.
  long long SortedFolder(int n) {
    auto session = connection_->session();
    auto folder = session->NewFolder();
    folder->SetName("Bench " + std::to_string(n));
    folder->SetDescription("Bench");
    const auto saved = folder->Save("", 3);
    if (!saved.status.ok()) Fail(saved.status.text);
    const long long parent = saved.document_number;
    std::set<std::string> names;
    while (static_cast<int>(names.size()) < n) names.insert(RandomName());
    std::string error;
    const long long first = schema::AllocateKeys(*db_, n, &error);
    if (first == 0) Fail(error);
    long long id = first;
    if (!db_->Begin()) Fail("begin");
    for (const std::string& name : names) {
      const bool last = id == first + n - 1;
      Check(db_->Execute(
          "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, "
          "NODE_TYPE, DISPLAYNAME, NEXT, ISFIRST, VERSION_TYPE) VALUES (?, ?, ?, 0, 0, 'D', ?, ?, "
          "?, 'R')",
          {Value::Integer(id), Value::Integer(parent), Value::Integer(id), Value::Text(name),
           Value::Integer(last ? 0 : id + 1), Value::Text(id == first ? "Y" : "N")}));
      ++id;
    }
    if (!db_->Commit()) Fail("commit");
    names_ = names;
    return parent;
  }

  // Links a new item at the end of the chain, as the DM client does; its name belongs at a
  // random one of the n + 1 places of the order. Returns its SYSTEM_ID.
  long long LinkNewItem(long long parent) {
    const size_t place = random_() % (names_.size() + 1);
    const std::string name = place == 0 ? "Item !"  // before every "Item <digits>"
                                        : *std::next(names_.begin(), place - 1) + " +";
    std::string error;
    const long long id = schema::AllocateKeys(*db_, 1, &error);
    if (id == 0) Fail(error);
    const auto tail =
        db_->Execute("SELECT SYSTEM_ID FROM FOLDER_ITEM WHERE PARENT = ? AND NEXT = 0",
                     {Value::Integer(parent)});
    Check(tail);
    Check(db_->Execute("UPDATE FOLDER_ITEM SET NEXT = ? WHERE SYSTEM_ID = ?",
                       {Value::Integer(id), tail.result.rows.at(0).at(0)}));
    Check(db_->Execute(
        "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, "
        "NODE_TYPE, DISPLAYNAME, NEXT, ISFIRST, VERSION_TYPE) VALUES (?, ?, ?, 0, 0, 'D', ?, 0, "
        "'N', 'R')",
        {Value::Integer(id), Value::Integer(parent), Value::Integer(id), Value::Text(name)}));
    return id;
  }

  // The item statement of the sort alone, read through the gateway as the sort reads it.
  Measure ReadItems(long long parent, int repetitions) {
    const std::string statement =
        "SELECT FI.SYSTEM_ID, FI.DISPLAYNAME, FI." + connection_->facts().NextColumn +
        ", FI.ISFIRST, FI.NODE_TYPE, PL.LIBRARY_NAME, RL.LIBRARY_NAME, FI.DOCNUMBER FROM "
        "[OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE "
        "FI.PARENT_LIBRARY = PL.SYSTEM_ID AND FI.LIBRARY = RL.SYSTEM_ID AND FI.PARENT = " +
        std::to_string(parent) +
        " AND PL.LIBRARY_NAME = 'BENCH' ORDER BY FI.DISPLAYNAME, FI.SYSTEM_ID";
    Measure m;
    for (int r = 0; r < repetitions; ++r) {
      db_->Disarm();
      const auto start = Steady::now();
      connection_->RunSQL(statement);
      std::string sink;
      connection_->ForEachRow([&] {
        for (int c = 1; c <= 8; ++c) sink += connection_->Column(c);
        return true;
      });
      connection_->Release();
      m.Add(start);
      m.calls += db_->calls();
      m.sql += db_->calls();
    }
    m.Average();
    return m;
  }

  // Sorts the folder `repetitions` times; `before` runs untimed before each sort.
  template <typename Before>
  Measure Sort(long long parent, int repetitions, Before before) {
    Measure m;
    for (int r = 0; r < repetitions; ++r) {
      before();
      db_->Disarm();
      const auto start = Steady::now();
      if (!sorting::SortThisFolder(context_, *connection_, parent, "BENCH", 0)) Fail("sort");
      m.Add(start);
      m.calls += db_->calls();
      for (const std::string& call : db_->call_log()) {
        m.sql += call.rfind("Execute: ", 0) == 0 && call.find("STANDIN_") == std::string::npos;
        m.writes +=
            call.rfind("Execute: UPDATE", 0) == 0 && call.find("FOLDER_ITEM") != std::string::npos;
      }
    }
    m.Average();
    return m;
  }

  void Remove(long long id) {
    Check(db_->Execute("DELETE FROM FOLDER_ITEM WHERE SYSTEM_ID = ?", {Value::Integer(id)}));
  }

  dm::Connection& connection() { return *connection_; }
  Context& context() { return context_; }

 private:
  std::string RandomName() {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "Item %07u", static_cast<unsigned>(random_() % 10000000));
    return buffer;
  }

  os::SystemClock clock_;
  os::SettingsStore settings_;
  QuietUi ui_;
  runtime::RunState state_;
  runtime::Options options_;
  runtime::Identity identity_;
  log::Log log_;
  Context context_;
  std::unique_ptr<dmapi::Client> client_;
  std::unique_ptr<dm::Connection> connection_;
  sql::FaultInjectingDatabase* db_ = nullptr;
  std::set<std::string> names_;
  std::mt19937 random_{20260101};
};

}  // namespace

int main(int argc, char** argv) {
  int repetitions = 41;
  bool verbose = true, no_refresh = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quiet") == 0) {
      verbose = false;
    } else if (std::strcmp(argv[i], "--rv") == 0) {
      no_refresh = true;
    } else {
      repetitions = std::max(1, std::atoi(argv[i]));
    }
  }
  const char* tmp = std::getenv("TMPDIR");
  const fs::path dir = fs::path(tmp ? tmp : "/tmp") /
                       ("sort_bench_" + std::to_string(static_cast<long>(::getpid())));
  fs::create_directories(dir);
  {
    Bench bench(dir, verbose, no_refresh);
    std::printf("SortThisFolder, %d sorts per case; verbose logging %s, view refresh %s\n",
                repetitions, verbose ? "on (as shipped)" : "off",
                no_refresh ? "off (/RV)" : "on (as shipped)");
    std::printf("baseline: the sort's one item statement, read through the gateway\n\n");
    std::printf(
        "db calls: every call the library database received (the view refresh makes 4);\n"
        "SQL: of them, the statements the engine sent; rows written: FOLDER_ITEM updates\n\n");
    std::printf("%6s  %-11s %9s %7s %9s %5s %13s\n", "items", "case", "ms/call", "ratio",
                "db calls", "SQL", "rows written");
    for (const int n : {10, 100, 1000}) {
      const long long parent = bench.SortedFolder(n);
      const Measure read = bench.ReadItems(parent, repetitions);
      const Measure ordered = bench.Sort(parent, repetitions, [] {});
      long long added = 0;
      const Measure one_new = bench.Sort(parent, repetitions, [&] {
        if (added != 0) {
          // Back to the folder of n items, in order, before the next new item.
          bench.Remove(added);
          sorting::SortThisFolder(bench.context(), bench.connection(), parent, "BENCH", 0);
        }
        added = bench.LinkNewItem(parent);
      });
      auto row = [&](const char* name, const Measure& m) {
        std::printf("%6d  %-11s %9.3f %7.2f %9.1f %5.1f %13.1f\n", n, name, m.Seconds() * 1e3,
                    m.Seconds() / read.Seconds(), m.calls, m.sql, m.writes);
      };
      row("read alone", read);
      row("in order", ordered);
      row("one new", one_new);
    }
  }
  fs::remove_all(dir);
  return 0;
}
