// Folder building through the whole engine (selection, lookup, creation through the DM
// stand-in, trustees, links, sorting, tracking, the verbose log as shipped) on generated
// libraries, against a baseline measured in the same run: the same number of folders written
// as plain SQL inserts in one transaction.
//
//   folder_bench [--clients A,B,...] [--rows N] [--postgres SERVER] [--huge [FOLDERS]]
//                [--statements]
//   folder_bench CLIENTS [ROWS]           (CLIENTS and ten times as many)
//
// Reports, for a library of each size (5 matters a client, 4 document types; default 40,
// 400 and 4,000 clients, N = 2,000 rows a cycle): folders built per second, statements per
// folder (the engine's, and all that reach the database, the DM stand-in's included; on a
// server each is a round trip), commits per folder, log lines and bytes per folder, and the
// time of a cycle that finds nothing new. With --postgres the same libraries are also built
// as databases on the PostgreSQL server that the connection string SERVER reaches ("host=...
// user=...", without dbname; the databases are dropped at the end), each measured against
// its own baseline on the same back end.
//
// --huge builds the initial tree of a library of a million documents (20,000 clients x 10
// matters x 5 documents), cycle after cycle until a cycle finds nothing new (or FOLDERS
// folders are built), and reports the rate of every 10,000 folders and the cycle with
// nothing new at the end. Not part of the test suite: it takes long.
//
// --statements also lists the statements that took the back end longest in each cycle.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/saved_options.h"
#include "app/session.h"
#include "counting_database.h"
#include "platform/dmapi/installation.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/test_data.h"
#include "platform/sql/postgres_database.h"
#include "platform/sql/sqlite_database.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using namespace sproutsmith;
using Clock = std::chrono::steady_clock;

class QuietUi final : public runtime::Ui {
 public:
  runtime::Answer MessageBox(const std::string&, runtime::MessageStyle,
                             const std::string&) override {
    return runtime::Answer::kYes;
  }
  void Yield() override {
    if (on_yield) on_yield();
  }
  void StatusChanged(const std::string&) override {}
  void SetBusy(bool) override {}
  void SleepOneSecond() override {}
  std::string ChooseSaveFile(const std::string&, const std::string&, const std::string&,
                             const std::string&, const std::string&) override {
    return "";
  }
  std::string ChooseLibrary(const std::vector<std::string>&) override { return ""; }

  std::function<void()> on_yield;
};

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "folder_bench: %s\n", what.c_str());
  std::exit(1);
}

// Where the measured libraries live: files in the run's folder, or databases of a server.
struct Backend {
  std::string server;  // empty: SQLite
  bool postgres() const { return !server.empty(); }
  const char* name() const { return postgres() ? "PostgreSQL" : "SQLite"; }
};

// `size`: the measured library's clients, which tells the runs of one process apart.
std::string DatabaseName(const std::string& name, int size) {
  return "folder_bench_" + std::to_string(static_cast<long>(::getpid())) + "_" +
         std::to_string(size) + "_" + name;
}

// The configuration of library `name`: its file, or its database on the server.
dmapi::LibraryConfig LibraryAt(const Backend& backend, const fs::path& dir, const std::string& name,
                               int size) {
  dmapi::LibraryConfig lib;
  lib.name = name;
  if (backend.postgres()) {
    lib.backend = dmapi::kPostgresBackend;
    lib.connection = backend.server + " dbname=" + text::LCase(DatabaseName(name, size));
  } else {
    lib.database_path = (dir / (name + ".db")).string();
  }
  return lib;
}

std::unique_ptr<sql::Database> Open(const dmapi::LibraryConfig& lib) {
  std::string error;
  std::unique_ptr<sql::Database> db = dmapi::OpenLibraryDatabase(lib, &error);
  if (!db) Fail(error);
  return db;
}

struct Shape {
  int clients = 40;
  int matters_per_client = 5;
  int documents_per_matter = 6;
};

dmapi::LibraryConfig MakeLibrary(const Backend& backend, const fs::path& dir,
                                 const std::string& name, const Shape& shape, int size) {
  const dmapi::LibraryConfig lib = LibraryAt(backend, dir, name, size);
  std::unique_ptr<sql::Database> db;
  std::string error;
  if (backend.postgres()) {
    const Status created =
        sql::CreatePostgresDatabase(backend.server, text::LCase(DatabaseName(name, size)));
    if (!created.ok()) Fail(created.text);
    db = Open(lib);
  } else {
    db = sql::SqliteDatabase::Open(lib.database_path, true, &error);
  }
  schema::LibraryDefinition def;
  def.name = name;
  schema::GeneratorOptions data;
  data.clients = shape.clients;
  data.matters_per_client = shape.matters_per_client;
  data.document_types = 4;
  data.documents_per_matter = shape.documents_per_matter;
  if (db) {
    sproutsmith::Status made = schema::ProvisionLibrary(*db, def);
    if (made.ok()) made = schema::GenerateTestData(*db, data);
    error = made.text;
  }
  if (!error.empty()) {
    Fail(error);
  }
  return lib;
}

void DropLibraries(const Backend& backend, int size) {
  if (!backend.postgres()) return;
  Status status;
  auto admin = sql::PostgresDatabase::Open(backend.server + " dbname=postgres", "public", &status);
  if (!admin) return;
  for (const char* name : {"BENCH", "BASE"}) {
    admin->Execute("DROP DATABASE IF EXISTS " + text::LCase(DatabaseName(name, size)));
  }
}

long long Scalar(sql::Database& db, const std::string& statement) {
  const auto r = db.Execute(statement);
  return r.ok() && !r.result.rows.empty() ? r.result.rows[0][0].AsInteger() : 0;
}

long CountLines(const std::string& file, const std::string& fragment) {
  std::ifstream in(file);
  long n = 0;
  for (std::string line; std::getline(in, line);) {
    n += fragment.empty() || line.find(fragment) != std::string::npos;
  }
  return n;
}

// The engine over one library, as the program runs it unattended.
bool g_time_statements = false;

std::shared_ptr<bench::Counts> MakeCounts() {
  auto counts = std::make_shared<bench::Counts>();
  counts->timed = g_time_statements;
  return counts;
}

// The statements that took longest since `before`, slowest first.
void PrintSlowest(const bench::Counts& before, const bench::Counts& after) {
  std::vector<std::pair<double, std::string>> slowest;
  for (const auto& [text, t] : after.timings) {
    const auto was = before.timings.find(text);
    const double seconds = t.seconds - (was == before.timings.end() ? 0 : was->second.seconds);
    const long long calls = t.calls - (was == before.timings.end() ? 0 : was->second.calls);
    if (calls > 0) {
      slowest.emplace_back(seconds, std::to_string(calls) + " x  " + text);
    }
  }
  std::sort(slowest.rbegin(), slowest.rend());
  if (slowest.size() > 15) slowest.resize(15);
  for (const auto& [seconds, what] : slowest)
    std::printf("    %7.3f s  %s\n", seconds, what.c_str());
}

struct Run {
  Run(const fs::path& dir, const dmapi::LibraryConfig& library)
      : settings((dir / "settings").string()),
        identity(runtime::Identity::ForVersion(2026, 12, 6)),
        log(clock, state, options, ui),
        context{clock, settings, ui, state, options, identity, log} {
    state.CommandLine = "/G /X";
    state.LogFile = (dir / "bench.LOG").string();
    state.TempDir = dir.string();
    options.CheckLogMethod = 1;  // verbose, as shipped
    log.StartLateWriter();       // as the program runs it
    dmapi::InstallationConfig config;
    config.user_id = "DMADMIN";
    config.current_library = "BENCH";
    config.libraries.push_back(library);
    session = std::make_unique<app::Session>(
        context, window,
        app::InstallationChoice{
            .client = dmapi::OpenInstallation(config, nullptr, bench::CountingOpener(counts))},
        "BENCHPC");
    if (!session->StartFusion()) Fail("the DM session did not start");
    window.TVRules.push_back(app::ReadLibraryNode(settings, "bench", "BENCH"));
    session->tree().ExpandLibraryNode(window.TVRules[0]);
    for (app::CheckNode& node : window.TVRules[0].rules) {
      node.checked = node.text == schema::kClientMattersRule;
    }
  }

  // One cycle; returns its seconds.
  double Cycle(const std::string& max_rows) {
    options.TextMaxFolders = max_rows;
    const auto start = Clock::now();
    session->cycle().Go();
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  std::shared_ptr<bench::Counts> counts = MakeCounts();
  os::SystemClock clock;
  os::SettingsStore settings;
  QuietUi ui;
  runtime::RunState state;
  runtime::Options options;
  runtime::Identity identity;
  log::Log log;
  Context context;
  app::MainWindowModel window;
  std::unique_ptr<app::Session> session;
};

// `folders` folders (PROFILE, FOLDER, VERSIONS, FOLDER_ITEM, SECURITY rows) in one transaction.
double Baseline(const dmapi::LibraryConfig& library, long long folders) {
  std::unique_ptr<sql::Database> db = Open(library);
  const auto start = Clock::now();
  db->Begin();
  long long key = 50000000;
  for (long long i = 0; i < folders; ++i) {
    const std::string n = std::to_string(++key), id = std::to_string(++key);
    const std::string name = "'Folder " + std::to_string(i) + "'";
    db->Execute(
        "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, STATUS, "
        "DEFAULT_RIGHTS, AUTHOR, TYPIST) VALUES (" +
        id + ", " + n + ", " + name + ", 1, 0, 1, 1, 1)");
    db->Execute("INSERT INTO FOLDER (DOCNUMBER, PATH) VALUES (" + n + ", 'ARBORLINE BENCH')");
    db->Execute("INSERT INTO VERSIONS (VERSION_ID, DOCNUMBER, VERSION, SUBVERSION) VALUES (" +
                std::to_string(++key) + ", " + n + ", 1, '!')");
    db->Execute(
        "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, NODE_TYPE, DISPLAYNAME, "
        "NEXT, ISFIRST) VALUES (" +
        std::to_string(++key) + ", 1, " + n + ", 'F', " + name + ", 0, 'N')");
    for (int trustee = 0; trustee < 4; ++trustee) {
      db->Execute("INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (" + id + ", " +
                  std::to_string(trustee) + ", 63)");
    }
  }
  db->Commit();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

long long FileSize(const std::string& file) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  return ec ? 0 : static_cast<long long>(size);
}

// What a piece of the run cost, read before and after it.
struct Mark {
  // Flushes the log first: the lines counted are those logged so far.
  explicit Mark(Run& run)
      : log((run.log.Flush(), run.log.CurrentDatedLogFile())),
        statements(CountLines(log, " SQL Instruction on ")),
        lines(CountLines(log, "")),
        bytes(FileSize(log)),
        counted(*run.counts) {}
  std::string log;
  long statements;
  long lines;
  long long bytes;
  bench::Counts counted;
};

void PrintCosts(Run& run, const Mark& before, long long folders, double seconds,
                const Backend& backend) {
  const Mark after(run);
  const double n = static_cast<double>(folders);
  std::printf(
      "  engine:   %8.2f s  %9.1f folders/s  %6.1f statements/folder (%.1f reaching the "
      "database%s)  %5.2f commits/folder  %6.1f log lines/folder  %7.0f log bytes/folder\n",
      seconds, n / seconds, (after.statements - before.statements) / n,
      static_cast<double>(after.counted.statements - before.counted.statements) / n,
      backend.postgres() ? ", each a round trip" : "",
      static_cast<double>(after.counted.commits - before.counted.commits) / n,
      (after.lines - before.lines) / n, static_cast<double>(after.bytes - before.bytes) / n);
}

// Every source row recorded as done (as a finished history would have it), then a cycle
// that finds nothing new; its seconds.
double IdleCycle(Run& run, sql::Database& db) {
  for (const char* table : {"CLIENT", "MATTER", "DOCUMENTTYPES"}) {
    db.Execute(std::string("INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, "
                           "LOCKED_BY) SELECT SYSTEM_ID, '") +
               table + "', '" + schema::kClientMattersRule + "', 0, '' FROM " + table +
               " WHERE SYSTEM_ID NOT IN (SELECT SID FROM QUIL_SPROUTSMITH WHERE TABLE_NAME = '" +
               table + "')");
  }
  return run.Cycle("0");
}

// Folders per second of one back end; the caller prints them beside the other's.
double Measure(const fs::path& root, int clients, const std::string& rows, const Backend& backend) {
  const fs::path dir = root / (std::to_string(clients) + backend.name());
  fs::create_directories(dir);
  const dmapi::LibraryConfig library = MakeLibrary(backend, dir, "BENCH", {clients}, clients);
  const dmapi::LibraryConfig baseline_library = MakeLibrary(backend, dir, "BASE", {1}, clients);
  Run run(dir, library);
  std::unique_ptr<sql::Database> db = Open(library);
  const long long folders_before = Scalar(*db, "SELECT COUNT(*) FROM FOLDER");
  const Mark before(run);
  const double seconds = run.Cycle(rows);
  const long long folders = Scalar(*db, "SELECT COUNT(*) FROM FOLDER") - folders_before;
  if (folders <= 0) Fail("no folder was built; see " + run.state.LogFile);
  std::printf("%s library of %d clients (%lld matters): %lld folders from %s rows\n",
              backend.name(), clients, Scalar(*db, "SELECT COUNT(*) FROM MATTER"), folders,
              rows.c_str());
  PrintCosts(run, before, folders, seconds, backend);
  if (g_time_statements) PrintSlowest(before.counted, *run.counts);
  const double baseline = Baseline(baseline_library, folders);
  const double idle = IdleCycle(run, *db);
  std::printf("  baseline: %8.2f s  %9.1f folders/s (plain inserts, one transaction)\n", baseline,
              folders / baseline);
  std::printf("  ratio engine / baseline: %.1f\n", seconds / baseline);
  std::printf("  cycle with nothing new: %.2f s\n", idle);
  std::fflush(stdout);
  return folders / seconds;
}

// The initial build of a library of a million documents, cycle after cycle, with the rate
// of every 10,000 folders.
void Huge(const fs::path& root, const Backend& backend, long long most) {
  const fs::path dir = root / (std::string("huge") + backend.name());
  fs::create_directories(dir);
  const auto made = Clock::now();
  const dmapi::LibraryConfig library = MakeLibrary(backend, dir, "BENCH", {20000, 10, 5}, 20000);
  Run run(dir, library);
  std::unique_ptr<sql::Database> db = Open(library);
  std::printf(
      "%s library of %lld documents (%lld matters), made in %.0f s\n", backend.name(),
      Scalar(*db, "SELECT COUNT(*) FROM PROFILE") - Scalar(*db, "SELECT COUNT(*) FROM FOLDER"),
      Scalar(*db, "SELECT COUNT(*) FROM MATTER"),
      std::chrono::duration<double>(Clock::now() - made).count());
  std::fflush(stdout);
  constexpr long long kStep = 10000;
  long long built = 0, cycles = 0;
  long long next_mark = kStep;
  auto mark_start = Clock::now();
  const auto start = Clock::now();
  long long in_cycle = 0;
  run.ui.on_yield = [&] {
    const long long now = built + static_cast<long long>(text::Val(run.options.LabelAdded));
    if (now < next_mark) return;
    const double s = std::chrono::duration<double>(Clock::now() - mark_start).count();
    std::printf("  folders %7lld: %7.1f folders/s over the last %lld\n", next_mark, kStep / s,
                kStep);
    std::fflush(stdout);
    mark_start = Clock::now();
    next_mark += kStep;
  };
  const Mark before(run);
  while (most <= 0 || built < most) {
    const long long folders_before = Scalar(*db, "SELECT COUNT(*) FROM FOLDER");
    // Counted into `built` now: the next cycle's yields must not count them twice.
    run.options.LabelAdded = "0";
    run.Cycle("10000");
    ++cycles;
    in_cycle = Scalar(*db, "SELECT COUNT(*) FROM FOLDER") - folders_before;
    built += in_cycle;
    if (in_cycle == 0) break;
  }
  run.ui.on_yield = nullptr;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("  %lld folders in %lld cycles, %.0f s\n", built, cycles, seconds);
  if (built > 0) PrintCosts(run, before, built, seconds, backend);
  if (g_time_statements) PrintSlowest(before.counted, *run.counts);
  // Stopped at FOLDERS with work left: every row is recorded as done first.
  const bool capped = in_cycle > 0;
  const double idle = capped ? IdleCycle(run, *db) : run.Cycle("0");
  std::printf("  cycle with nothing new%s: %.2f s\n", capped ? " (the rest recorded as done)" : "",
              idle);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  Backend postgres;
  std::vector<int> sizes = {40, 400, 4000};
  std::string rows = "2000";
  bool huge = false;
  long long huge_most = 0;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool more = i + 1 < args.size();
    if (a == "--postgres" && more) {
      postgres.server = args[++i];
    } else if (a == "--rows" && more) {
      rows = args[++i];
    } else if (a == "--clients" && more) {
      sizes.clear();
      for (const std::string& n : text::Split(args[++i], ",")) {
        sizes.push_back(std::max(1, std::atoi(n.c_str())));
      }
    } else if (a == "--statements") {
      g_time_statements = true;
    } else if (a == "--huge") {
      huge = true;
      if (more && text::IsNumeric(args[i + 1])) huge_most = std::atoll(args[++i].c_str());
    } else {
      positional.push_back(a);
    }
  }
  if (!positional.empty()) {
    const int clients = std::max(1, std::atoi(positional[0].c_str()));
    sizes = {clients, clients * 10};
    if (positional.size() > 1) rows = positional[1];
  }
  const char* tmp = std::getenv("TMPDIR");
  const fs::path root = fs::path(tmp ? tmp : "/tmp") /
                        ("folder_bench_" + std::to_string(static_cast<long>(::getpid())));
  if (huge) {
    Huge(root, Backend{}, huge_most);
    if (postgres.postgres()) {
      Huge(root, postgres, huge_most);
      DropLibraries(postgres, 20000);
    }
  } else {
    for (int size : sizes) {
      const double sqlite = Measure(root, size, rows, Backend{});
      if (postgres.postgres()) {
        const double pg = Measure(root, size, rows, postgres);
        DropLibraries(postgres, size);
        std::printf("  %d clients: PostgreSQL %.1f folders/s, SQLite %.1f folders/s (ratio %.2f)\n",
                    size, pg, sqlite, pg / sqlite);
      }
    }
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
