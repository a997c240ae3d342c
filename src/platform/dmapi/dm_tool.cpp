#include "platform/dmapi/dm_tool.h"

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "platform/dmapi/demo_installation.h"
#include "platform/dmapi/folder_tree.h"
#include "platform/dmapi/installation.h"
#include "platform/dmapi/workspace_listing.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/test_data.h"
#include "platform/sql/postgres_database.h"
#include "platform/sql/sqlite_database.h"
#include "text/text.h"

namespace sproutsmith::dmapi {

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] = R"(Usage: sproutsmith-dm COMMAND [ARGUMENTS]

Sets up and inspects the DM libraries that stand in for a DM server.

Commands:
  init-demo [--dir D]       create the demo installation (libraries DEMO and ARCHIVE)
  provision FILE --name N   create an empty DM library in a new SQLite file (or with
                            --backend postgresql, in a database of a PostgreSQL server)
  generate FILE [options]   fill a provisioned library with clients, matters, documents
  tree LIBRARY              show a library's folders
  workspaces LIBRARY        list each user's workspaces and their items
  sql LIBRARY "STATEMENT"   run one statement as the engine would and print the rows

Run "sproutsmith-dm COMMAND --help" for a command's options; "sproutsmith-dm --version"
prints the version and the commit it was built from.

The DM client configuration is found through the environment variable SPROUTSMITH_DM
(the file's path), else at $XDG_CONFIG_HOME/sproutsmith/dm.conf (default ~/.config).
It is a text file:

  # comment (also ";")
  [client]
  user = DMADMIN              logged-on DM user id (a PEOPLE.USER_ID of every library)
  current_library = DEMO      library the client starts in

  [library DEMO]              one section per library; names are stored upper case
  description = Demo library
  backend = sqlite            sqlite (default) or postgresql
  database = demo.db          sqlite: relative paths are relative to the file's folder
  connection = host=/run/postgresql dbname=demo user=dm
                              postgresql: the library's database (libpq connection
                              string); its tables are in the owner's schema
  owner = DOCSADM             table owner the engine writes as [OWNER]
  engine = 10                 engine code reported: 2 or 5 Oracle flavour, 6 Sybase,
                              0 cannot tell (the engine reads REMOTE_LIBRARIES),
                              any other Microsoft SQL Server flavour
  busy_wait = 5               seconds a statement waits while another program holds
                              a write lock on the library (0 = fail at once)
  page_cache = 256            sqlite: megabytes of the library kept in memory

A problem in the file is reported as "file:line: message".
)";

constexpr char kInitDemoHelp[] =
    R"(Usage: sproutsmith-dm init-demo [--dir D] [--backend postgresql --server S [--prefix P]]

Creates two libraries with generated clients, matters, document types, people, groups,
documents and folder-building rules, and the configuration that lists them: DEMO
(engine code 10) and ARCHIVE (engine code 2, Oracle flavour).

The libraries are SQLite files beside the configuration, or with --backend postgresql
new databases P_demo and P_archive (P default "sproutsmith") on the PostgreSQL server
that the connection string S reaches ("host=/run/postgresql user=dm", without dbname).

Without --dir they go next to the configuration file the client would look for
($SPROUTSMITH_DM, else $XDG_CONFIG_HOME/sproutsmith/dm.conf). With --dir D they go
into D, with D/dm.conf. Existing files are never written over.
)";

constexpr char kProvisionHelp[] =
    R"(Usage: sproutsmith-dm provision FILE --name N [--engine C] [--owner O]
                            [--other NAME:CODE[:OWNER]]...
       sproutsmith-dm provision DATABASE --backend postgresql --server S --name N ...

Creates the DM tables, data dictionary and fixed rows of library N in the SQLite file
FILE (created when missing), or with --backend postgresql in the database DATABASE of
the PostgreSQL server that the connection string S reaches ("host=/run/postgresql
user=dm", without dbname): the database is created when missing, its tables go into the
schema of the owner. A database that already holds tables is refused.
  --engine C          REMOTE_LIBRARIES.DATABASE_ENGINE of the library (default 10)
  --owner O           table owner (default DOCSADM)
  --other NAME:CODE[:OWNER]
                      another library of the installation (repeatable); its owner
                      defaults to this library's
)";

constexpr char kGenerateHelp[] =
    R"(Usage: sproutsmith-dm generate FILE [--clients N] [--matters M] [--types K]
                           [--people P] [--docs D] [--seed S] [--user U] [--no-rules]
       sproutsmith-dm generate DATABASE --backend postgresql --server S [--owner O] ...

Fills a provisioned library that holds no clients or people yet: the SQLite file FILE,
or the database DATABASE on the PostgreSQL server S reaches, whose tables are in the
schema of the owner O (default DOCSADM).
  --clients N   clients (default 20)
  --matters M   matters per client (default 3)
  --types K     document types besides FOLDER (default 5)
  --people P    people besides the login user (default 8)
  --docs D      documents per matter (default 2)
  --seed S      seed of the generator (default 1); the same options give the same rows
  --user U      the login user, a member of DOCS_SUPERVISORS (default DMADMIN)
  --no-rules    write no folder-building rules
)";

constexpr char kTreeHelp[] = R"(Usage: sproutsmith-dm tree LIBRARY

Shows the folders of a library of the installation, one line each, indented by level:
  NAME #DOCNUMBER [public] trustees=N (TRUSTEE RIGHTS, ...) documents=N
each trustee a user or group id with its access rights. Public folders and folders in no other folder are at the top; items of other libraries
are shown as "-> LIBRARY #DOCNUMBER NAME".
)";

constexpr char kSqlHelp[] = R"(Usage: sproutsmith-dm sql LIBRARY "STATEMENT"

Runs one statement on a library of the installation through the same SQL pass-through
object the engine uses: written in the library's flavour (Microsoft SQL Server, or
Oracle for engine codes 2 and 5). "[OWNER]" is replaced by the library's owner, as the
engine's gateway does. Prints the column names and rows separated by tabs, then the
number of rows, or the number of rows affected.
)";

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

// "--name value" options; positional arguments in order.
struct Arguments {
  std::vector<std::string> positional;
  std::multimap<std::string, std::string> options;
  std::set<std::string> flags;
};

bool Parse(const std::vector<std::string>& args, const std::set<std::string>& valued,
           const std::set<std::string>& flags, Arguments* parsed, std::string* error) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      parsed->positional.push_back(a);
    } else if (flags.count(a)) {
      parsed->flags.insert(a);
    } else if (valued.count(a)) {
      if (i + 1 >= args.size()) {
        *error = "option " + a + " needs a value";
        return false;
      }
      parsed->options.emplace(a, args[++i]);
    } else {
      *error = "unknown option " + a;
      return false;
    }
  }
  return true;
}

bool Number(const Arguments& a, const std::string& option, int low, int* value,
            std::string* error) {
  auto it = a.options.find(option);
  if (it == a.options.end()) return true;
  const std::string& s = it->second;
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(s) < low) {
    *error = "option " + option + " needs a whole number of at least " + std::to_string(low) +
             ", not '" + s + "'";
    return false;
  }
  *value = std::stoi(s);
  return true;
}

int Usage(std::ostream& err, const std::string& message, const char* help) {
  err << "sproutsmith-dm: " << message << "\n\n" << help;
  return 2;
}

std::unique_ptr<sql::SqliteDatabase> OpenFile(const std::string& path, bool create,
                                              std::ostream& err) {
  std::string error;
  if (!create && !fs::is_regular_file(path)) {
    err << "sproutsmith-dm: " << path << ": no such file\n";
    return nullptr;
  }
  std::unique_ptr<sql::SqliteDatabase> db = sql::SqliteDatabase::Open(path, create, &error);
  if (!db) err << "sproutsmith-dm: " << path << ": " << error << "\n";
  return db;
}

// Where provision and generate write: a SQLite file, or a database on a PostgreSQL server.
struct Target {
  std::string backend = kSqliteBackend;
  std::string server;  // postgresql: the server's connection string, without dbname
  std::string name;    // the file, or the database
  std::string owner = "DOCSADM";

  std::string Location() const {
    return backend == kPostgresBackend ? server + " dbname=" + name : name;
  }
};

// --backend, --server and --owner; false with *error set when they do not fit together.
bool ReadTarget(const Arguments& a, const std::string& positional, Target* target,
                std::string* error) {
  target->name = positional;
  if (auto it = a.options.find("--backend"); it != a.options.end()) {
    target->backend = text::LCase(it->second);
  }
  if (auto it = a.options.find("--server"); it != a.options.end()) target->server = it->second;
  if (auto it = a.options.find("--owner"); it != a.options.end()) target->owner = it->second;
  if (target->backend != kSqliteBackend && target->backend != kPostgresBackend) {
    *error = "unknown back end '" + target->backend + "'";
  } else if (target->backend == kPostgresBackend && target->server.empty()) {
    *error = "--backend postgresql needs --server";
  } else if (target->backend == kSqliteBackend && !target->server.empty()) {
    *error = "--server needs --backend postgresql";
  }
  return error->empty();
}

// The target's database; with `create`, a missing file or database is made first.
std::unique_ptr<sql::Database> OpenTarget(const Target& target, bool create, std::ostream& err) {
  if (target.backend == kSqliteBackend) return OpenFile(target.name, create, err);
  Status status;
  std::unique_ptr<sql::Database> db =
      sql::PostgresDatabase::Open(target.Location(), target.owner, &status);
  if (!db && create) {
    // A database the administrator made beforehand (with its owner and grants) is used.
    const Status created = sql::CreatePostgresDatabase(target.server, target.name);
    if (!created.ok()) {
      err << "sproutsmith-dm: database " << target.name << " cannot be created: " << created.text
          << "\n";
      return nullptr;
    }
    db = sql::PostgresDatabase::Open(target.Location(), target.owner, &status);
  }
  if (!db) err << "sproutsmith-dm: " << status.text << "\n";
  return db;
}

int InitDemo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const std::string& config_path) {
  Arguments a;
  std::string error;
  if (!Parse(args, {"--dir", "--backend", "--server", "--prefix"}, {}, &a, &error)) {
    return Usage(err, error, kInitDemoHelp);
  }
  if (!a.positional.empty()) return Usage(err, "unexpected " + a.positional[0], kInitDemoHelp);
  DemoOptions options;
  if (auto it = a.options.find("--backend"); it != a.options.end()) {
    options.backend = text::LCase(it->second);
  }
  if (auto it = a.options.find("--server"); it != a.options.end()) {
    options.server_connection = it->second;
  }
  if (auto it = a.options.find("--prefix"); it != a.options.end()) {
    options.database_prefix = it->second;
  }
  if (options.backend != kSqliteBackend && options.backend != kPostgresBackend) {
    return Usage(err, "unknown back end '" + options.backend + "'", kInitDemoHelp);
  }
  if (options.backend == kPostgresBackend && options.server_connection.empty()) {
    return Usage(err, "--backend postgresql needs --server", kInitDemoHelp);
  }
  std::string folder;
  if (auto it = a.options.find("--dir"); it != a.options.end()) {
    folder = it->second;
  } else {
    const fs::path config = config_path;
    folder = config.parent_path().empty() ? "." : config.parent_path().string();
    options.config_name = config.filename().string();
  }
  DemoInstallation demo;
  if (Status s = CreateDemoInstallation(folder, options, &demo); !s.ok()) {
    err << "sproutsmith-dm: " << s.text << "\n";
    return 1;
  }
  out << "Demo installation created:\n";
  for (const std::string& path : demo.library_paths) out << "  library  " << path << "\n";
  out << "  client   " << demo.config_path << "\n";
  if (fs::absolute(config_path).lexically_normal() != fs::path(demo.config_path)) {
    out << "To use it, set SPROUTSMITH_DM=" << demo.config_path << "\n";
  }
  return 0;
}

int Provision(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments a;
  std::string error;
  if (!Parse(args, {"--name", "--engine", "--owner", "--other", "--backend", "--server"}, {}, &a,
             &error)) {
    return Usage(err, error, kProvisionHelp);
  }
  if (a.positional.size() != 1) {
    return Usage(err, "one library file or database is needed", kProvisionHelp);
  }
  Target target;
  if (!ReadTarget(a, a.positional[0], &target, &error)) return Usage(err, error, kProvisionHelp);
  schema::LibraryDefinition def;
  auto name = a.options.find("--name");
  if (name == a.options.end()) return Usage(err, "--name is needed", kProvisionHelp);
  def.name = name->second;
  if (!Number(a, "--engine", 0, &def.engine_code, &error)) {
    return Usage(err, error, kProvisionHelp);
  }
  if (auto owner = a.options.find("--owner"); owner != a.options.end()) def.owner = owner->second;
  for (auto [it, end] = a.options.equal_range("--other"); it != end; ++it) {
    // NAME[:CODE[:OWNER]]
    const std::vector<std::string> parts = text::Split(it->second, ":");
    if (parts.size() > 3) return Usage(err, "--other takes NAME:CODE:OWNER", kProvisionHelp);
    schema::LibraryDefinition::OtherLibrary other{.name = parts[0]};
    if (parts.size() > 1) {
      Arguments one;
      one.options.emplace("--other", parts[1]);
      if (!Number(one, "--other", 0, &other.engine_code, &error)) {
        return Usage(err, error, kProvisionHelp);
      }
    }
    if (parts.size() > 2) other.owner = parts[2];
    def.other_libraries.push_back(other);
  }
  std::unique_ptr<sql::Database> db = OpenTarget(target, true, err);
  if (!db) return 1;
  if (Status s = schema::ProvisionLibrary(*db, def); !s.ok()) {
    err << "sproutsmith-dm: " << s.text << "\n";
    return 1;
  }
  out << "Library " << text::UCase(text::Trim(def.name)) << " provisioned in " << target.Location()
      << "\n";
  return 0;
}

int Generate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments a;
  std::string error;
  if (!Parse(args,
             {"--clients", "--matters", "--types", "--people", "--docs", "--seed", "--user",
              "--backend", "--server", "--owner"},
             {"--no-rules"}, &a, &error)) {
    return Usage(err, error, kGenerateHelp);
  }
  if (a.positional.size() != 1) {
    return Usage(err, "one library file or database is needed", kGenerateHelp);
  }
  Target target;
  if (!ReadTarget(a, a.positional[0], &target, &error)) return Usage(err, error, kGenerateHelp);
  schema::GeneratorOptions o;
  int seed = static_cast<int>(o.seed);
  if (!Number(a, "--clients", 0, &o.clients, &error) ||
      !Number(a, "--matters", 0, &o.matters_per_client, &error) ||
      !Number(a, "--types", 0, &o.document_types, &error) ||
      !Number(a, "--people", 0, &o.people, &error) ||
      !Number(a, "--docs", 0, &o.documents_per_matter, &error) ||
      !Number(a, "--seed", 0, &seed, &error)) {
    return Usage(err, error, kGenerateHelp);
  }
  o.seed = static_cast<unsigned>(seed);
  if (auto user = a.options.find("--user"); user != a.options.end()) o.login_user = user->second;
  o.with_rules = a.flags.count("--no-rules") == 0;
  std::unique_ptr<sql::Database> db = OpenTarget(target, false, err);
  if (!db) return 1;
  if (!schema::IsDmLibrary(*db)) {
    err << "sproutsmith-dm: " << target.Location() << ": not a DM library"
        << (target.backend == kPostgresBackend ? " in schema " + target.owner : std::string())
        << " (run provision first)\n";
    return 1;
  }
  if (Status s = schema::GenerateTestData(*db, o); !s.ok()) {
    err << "sproutsmith-dm: " << s.text << "\n";
    return 1;
  }
  out << "Test data written to " << target.Location() << "\n";
  return 0;
}

// The installation's library by name, opened as a plain database for reading.
std::unique_ptr<sql::Database> OpenLibrary(const std::string& config_path,
                                           const std::string& library, std::ostream& err) {
  InstallationConfig config;
  if (Status s = LoadInstallationConfig(config_path, &config); !s.ok()) {
    err << "sproutsmith-dm: " << s.text << "\n";
    return nullptr;
  }
  const int index = config.Find(library);
  if (index < 0) {
    err << "sproutsmith-dm: library '" << library << "' is not in " << config.path << "\n";
    return nullptr;
  }
  const LibraryConfig& lib = config.libraries[index];
  std::string error;
  std::unique_ptr<sql::Database> db = OpenLibraryDatabase(lib, &error);
  if (!db) {
    err << "sproutsmith-dm: " << error << "\n";
    return nullptr;
  }
  if (!schema::IsDmLibrary(*db)) {
    err << "sproutsmith-dm: " << LibraryLocation(lib) << ": does not hold a DM library\n";
    return nullptr;
  }
  return db;
}

int Tree(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
         const std::string& config_path) {
  Arguments a;
  std::string error;
  if (!Parse(args, {}, {}, &a, &error)) return Usage(err, error, kTreeHelp);
  if (a.positional.size() != 1) return Usage(err, "one library name is needed", kTreeHelp);
  std::unique_ptr<sql::Database> db = OpenLibrary(config_path, a.positional[0], err);
  if (!db) return 1;
  std::vector<FolderNode> roots;
  if (Status s = ReadFolderTree(*db, &roots); !s.ok()) {
    err << "sproutsmith-dm: " << s.text << "\n";
    return 1;
  }
  out << (roots.empty() ? "(no folders)\n" : FormatFolderTree(roots));
  return 0;
}

int Sql(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const std::string& config_path) {
  if (args.size() != 3) return Usage(err, "a library name and one statement are needed", kSqlHelp);
  InstallationConfig config;
  if (Status s = LoadInstallationConfig(config_path, &config); !s.ok()) {
    err << "sproutsmith-dm: " << s.text << "\n";
    return 1;
  }
  const int index = config.Find(args[1]);
  const std::string owner = index < 0 ? "" : config.libraries[index].owner;
  std::unique_ptr<Client> client = OpenInstallation(std::move(config));
  std::unique_ptr<SqlObject> sql = client->CreateSqlObject();
  sql->AttachToken(client->CreateApplication()->LoginToken());
  // The engine's gateway puts the owner in place of [OWNER] before the text gets here.
  const std::string statement = text::ReplaceNoCase(args[2], "[OWNER]", owner);
  if (sql->AttachLibrary(args[1]) != 0 || sql->Execute(statement) != 0) {
    err << "sproutsmith-dm: error " << sql->GetSQLErrorCode() << ": " << sql->ErrDescription()
        << "\n";
    return 1;
  }
  if (sql->ColumnCount() == 0) {
    out << sql->GetRowsAffected() << " row(s) affected\n";
    return 0;
  }
  for (int c = 1; c <= sql->ColumnCount(); ++c) out << (c > 1 ? "\t" : "") << sql->ColumnName(c);
  out << "\n";
  for (bool more = sql->MoveFirst(); more; more = sql->MoveNext()) {
    for (int c = 1; c <= sql->ColumnCount(); ++c) {
      const sql::Value v = sql->ColumnValue(c);
      out << (c > 1 ? "\t" : "") << (v.IsNull() ? "NULL" : v.text);
    }
    out << "\n";
  }
  out << sql->GetRowCount() << " row(s)\n";
  return 0;
}

}  // namespace

int RunDmTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const os::Environment& env) {
  // The installation the commands read: SPROUTSMITH_DM, else the per-user one.
  const std::string config_path = DefaultConfigPath(env);
  using Command = std::function<int(const std::vector<std::string>&, std::ostream&, std::ostream&)>;
  const std::map<std::string, std::pair<Command, const char*>> commands = {
      {"init-demo",
       {[&](const auto& a, auto& o, auto& e) { return InitDemo(a, o, e, config_path); },
        kInitDemoHelp}},
      {"provision", {Provision, kProvisionHelp}},
      {"generate", {Generate, kGenerateHelp}},
      {"tree",
       {[&](const auto& a, auto& o, auto& e) { return Tree(a, o, e, config_path); }, kTreeHelp}},
      {"sql",
       {[&](const auto& a, auto& o, auto& e) { return Sql(a, o, e, config_path); }, kSqlHelp}},
      {"workspaces",
       {[&](const auto& a, auto& o, auto& e) {
          return ListWorkspaces(a, o, e, [&](const std::string& library, std::ostream& out_err) {
            return OpenLibrary(config_path, library, out_err);
          });
        },
        kWorkspacesHelp}},
  };
  if (args.empty()) return Usage(err, "no command given", kUsage);
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    out << kUsage;
    return 0;
  }
  auto it = commands.find(args[0]);
  if (it == commands.end()) return Usage(err, "unknown command '" + args[0] + "'", kUsage);
  // "sql" passes its statement through untouched, so only a lone --help asks for help there.
  if (args[0] == "sql" ? (args.size() == 2 && WantsHelp(args)) : WantsHelp(args)) {
    out << it->second.second;
    return 0;
  }
  return it->second.first(args, out, err);
}

}  // namespace sproutsmith::dmapi
