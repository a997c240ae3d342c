// Folder building through the whole engine (selection, lookup, creation through the DM
// stand-in, trustees, links, sorting, tracking, the verbose log as shipped) on generated
// libraries, against a baseline measured in the same run: the same number of folders written
// as plain SQL inserts in one transaction.
//
//   folder_bench [CLIENTS] [ROWS]    (defaults 1000 clients, 2000 rows per measured cycle)
//
// Reports, for a library of CLIENTS clients (5 matters each, 4 document types) and one ten
// times larger: folders built per second, SQL statements and log lines per folder, and the
// time of a cycle that finds nothing new.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/dm_session_seam.h"
#include "app/saved_options.h"
#include "platform/dmapi/installation.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/test_data.h"
#include "platform/sql/sqlite_database.h"

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

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "folder_bench: %s\n", what.c_str());
  std::exit(1);
}

std::string MakeLibrary(const fs::path& dir, const std::string& name, int clients) {
  const std::string path = (dir / (name + ".db")).string();
  std::string error;
  auto db = sql::SqliteDatabase::Open(path, true, &error);
  schema::LibraryDefinition def;
  def.name = name;
  schema::GeneratorOptions data;
  data.clients = clients;
  data.matters_per_client = 5;
  data.document_types = 4;
  data.documents_per_matter = 6;
  if (db) {
    sproutsmith::Status made = schema::ProvisionLibrary(*db, def);
    if (made.ok()) made = schema::GenerateTestData(*db, data);
    error = made.text;
  }
  if (!error.empty()) {
    Fail(error);
  }
  return path;
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
struct Run {
  Run(const fs::path& dir, const std::string& library_path)
      : settings((dir / "settings").string()),
        identity(runtime::Identity::ForVersion(2026, 12, 6)),
        log(clock, state, options, ui),
        context{clock, settings, ui, state, options, identity, log} {
    state.CommandLine = "/G /X";
    state.LogFile = (dir / "bench.LOG").string();
    state.TempDir = dir.string();
    options.CheckLogMethod = 1;  // verbose, as shipped
    dmapi::InstallationConfig config;
    config.user_id = "DMADMIN";
    config.current_library = "BENCH";
    dmapi::LibraryConfig lib;
    lib.name = "BENCH";
    lib.database_path = library_path;
    config.libraries.push_back(lib);
    seam = std::make_unique<app::DmSessionSeam>(context, dmapi::OpenInstallation(config), "",
                                                "BENCHPC");
    seam->AttachHost({window, [] {}, [] {}});
    if (!seam->StartFusion()) Fail("the DM session did not start");
    window.TVRules.push_back(app::ReadLibraryNode(settings, "bench", "BENCH"));
    seam->tree()->ExpandLibraryNode(window.TVRules[0]);
    for (app::CheckNode& node : window.TVRules[0].rules) {
      node.checked = node.text == schema::kClientMattersRule;
    }
  }

  // One cycle; returns its seconds.
  double Cycle(const std::string& max_rows) {
    options.TextMaxFolders = max_rows;
    const auto start = Clock::now();
    seam->cycle()->Go();
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  os::SystemClock clock;
  os::SettingsStore settings;
  QuietUi ui;
  runtime::RunState state;
  runtime::Options options;
  runtime::Identity identity;
  log::Log log;
  Context context;
  app::MainWindowModel window;
  std::unique_ptr<app::DmSessionSeam> seam;
};

// `folders` folders (PROFILE, FOLDER, VERSIONS, FOLDER_ITEM, SECURITY rows) in one transaction.
double Baseline(const std::string& path, long long folders) {
  auto db = sql::SqliteDatabase::Open(path, false);
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

void Measure(const fs::path& root, int clients, const std::string& rows) {
  const fs::path dir = root / std::to_string(clients);
  fs::create_directories(dir);
  const std::string path = MakeLibrary(dir, "BENCH", clients);
  const std::string baseline_path = MakeLibrary(dir, "BASE", 1);
  Run run(dir, path);
  auto db = sql::SqliteDatabase::Open(path, false);
  const long long folders_before = Scalar(*db, "SELECT COUNT(*) FROM FOLDER");
  const long statements_before = CountLines(run.log.CurrentDatedLogFile(), " SQL Instruction on ");
  const long lines_before = CountLines(run.log.CurrentDatedLogFile(), "");
  const double seconds = run.Cycle(rows);
  const long long folders = Scalar(*db, "SELECT COUNT(*) FROM FOLDER") - folders_before;
  if (folders <= 0) Fail("no folder was built; see " + run.state.LogFile);
  const long statements =
      CountLines(run.log.CurrentDatedLogFile(), " SQL Instruction on ") - statements_before;
  const long lines = CountLines(run.log.CurrentDatedLogFile(), "") - lines_before;
  const double baseline = Baseline(baseline_path, folders);

  // Every source row recorded as done (as a finished history would have it), then a cycle
  // that finds nothing new.
  for (const char* table : {"CLIENT", "MATTER", "DOCUMENTTYPES"}) {
    db->Execute(std::string("INSERT INTO QUIL_SPROUTSMITH (SID, TABLE_NAME, RULE_NAME, STATUS, "
                            "LOCKED_BY) SELECT SYSTEM_ID, '") +
                table + "', '" + schema::kClientMattersRule + "', 0, '' FROM " + table);
  }
  const double idle = run.Cycle("0");

  std::printf("library of %d clients (%lld matters): %lld folders from %s rows\n", clients,
              Scalar(*db, "SELECT COUNT(*) FROM MATTER"), folders, rows.c_str());
  std::printf(
      "  engine:   %8.2f s  %9.1f folders/s  %6.1f statements/folder  %6.1f log "
      "lines/folder\n",
      seconds, folders / seconds, static_cast<double>(statements) / folders,
      static_cast<double>(lines) / folders);
  std::printf("  baseline: %8.2f s  %9.1f folders/s (plain inserts, one transaction)\n", baseline,
              folders / baseline);
  std::printf("  ratio engine / baseline: %.1f\n", seconds / baseline);
  std::printf("  cycle with nothing new: %.2f s\n", idle);
}

}  // namespace

int main(int argc, char** argv) {
  const int clients = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const std::string rows = argc > 2 ? argv[2] : "2000";
  const char* tmp = std::getenv("TMPDIR");
  const fs::path root = fs::path(tmp ? tmp : "/tmp") /
                        ("folder_bench_" + std::to_string(static_cast<long>(::getpid())));
  Measure(root, clients, rows);
  Measure(root, clients * 10, rows);
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
