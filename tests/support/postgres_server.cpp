#include "support/postgres_server.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "support/temp_dir.h"
#include "text/text.h"

namespace sproutsmith::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kSuperuser[] = "postgres";

// A command line word, quoted for the shell.
std::string Quote(const std::string& word) { return "'" + text::Replace(word, "'", "'\\''") + "'"; }

// Root may not run the server: it runs as the postgres account, which must own the folder.
std::string AsServerUser() { return ::geteuid() == 0 ? "runuser -u postgres -- " : ""; }

Status Run(const std::string& command, const std::string& log) {
  const int rc = std::system((command + " >>" + Quote(log) + " 2>&1").c_str());
  if (rc == 0) return Status::Ok();
  return Status::Error(1, "'" + command + "' failed (status " + std::to_string(rc) +
                              "): " + text::Trim(ReadFile(log)));
}

// The folder of Debian's PostgreSQL programs (initdb, pg_ctl, postgres).
std::string PostgresBinDir() {
  if (const char* dir = std::getenv("SPROUTSMITH_PG_BIN"); dir && *dir) return dir;
  return "/usr/lib/postgresql/15/bin";
}

}  // namespace

PostgresServer* PostgresServer::Get(Status* status) {
  static Status failure;
  static const std::unique_ptr<PostgresServer> server = [] {
    std::unique_ptr<PostgresServer> started(new PostgresServer());
    failure = started->Start();
    if (!failure.ok()) started.reset();  // the destructor stops what did start
    return started;
  }();
  if (status) *status = failure;
  return server.get();
}

PostgresServer::~PostgresServer() { Stop(); }

Status PostgresServer::Start() {
  std::string pattern = (fs::temp_directory_path() / "sproutsmith-pg-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    return Status::Error(1, "no temporary folder for the PostgreSQL server");
  }
  base_dir_ = pattern;
  data_dir_ = base_dir_ + "/data";
  const std::string log = base_dir_ + "/server.log";
  if (::geteuid() == 0) {
    const passwd* account = ::getpwnam(kSuperuser);
    if (account == nullptr) return Status::Error(1, "there is no 'postgres' account");
    if (::chown(base_dir_.c_str(), account->pw_uid, account->pw_gid) != 0) {
      return Status::Error(1, "cannot hand " + base_dir_ + " to the postgres account");
    }
  }
  const std::string bin = PostgresBinDir();
  if (!fs::exists(bin + "/initdb")) {
    return Status::Error(1, "PostgreSQL is not installed: " + bin + "/initdb is missing");
  }
  // -N: a throw-away cluster needs no fsync.
  Status s = Run(AsServerUser() + Quote(bin + "/initdb") + " -N -A trust -U " + kSuperuser +
                     " -E UTF8 --locale=C.UTF-8 -D " + Quote(data_dir_),
                 base_dir_ + "/initdb.log");
  if (!s.ok()) return s;
  const std::string options = "-k " + data_dir_ +
                              " -c listen_addresses='' -c fsync=off -c full_page_writes=off"
                              " -c synchronous_commit=off -c max_connections=60";
  s = Run(AsServerUser() + Quote(bin + "/pg_ctl") + " -D " + Quote(data_dir_) + " -l " +
              Quote(log) + " -o " + Quote(options) + " -w start",
          base_dir_ + "/pg_ctl.log");
  if (!s.ok()) return Status::Error(s.code, s.text + "\n" + ReadFile(log));
  running_ = true;
  // A test process that dies (a crash, a closed pipe) never reaches Stop: a watcher stops
  // the server and removes its folder once the process is gone.
  const std::string watcher = "while kill -0 " + std::to_string(::getpid()) +
                              " 2>/dev/null; do sleep 1; done; " + AsServerUser() +
                              Quote(bin + "/pg_ctl") + " -D " + Quote(data_dir_) +
                              " -m immediate -w stop; rm -rf " + Quote(base_dir_);
  // Without the watcher the tests still run; a killed process would leave its server.
  (void)std::system(("(" + watcher + ") >/dev/null 2>&1 &").c_str());
  return Status::Ok();
}

void PostgresServer::Stop() {
  if (running_) {
    Run(AsServerUser() + Quote(PostgresBinDir() + "/pg_ctl") + " -D " + Quote(data_dir_) +
            " -m immediate -w stop",
        base_dir_ + "/pg_ctl.log");
    running_ = false;
  }
  if (!base_dir_.empty()) {
    std::error_code ec;
    fs::remove_all(base_dir_, ec);
    base_dir_.clear();
  }
}

std::string PostgresServer::ServerConnection() const {
  return "host=" + data_dir_ + " user=" + kSuperuser;
}

std::string PostgresServer::ConnectionString(const std::string& database) const {
  return ServerConnection() + " dbname=" + database;
}

Status PostgresServer::Admin(const std::string& sql) {
  PGconn* conn = PQconnectdb(ConnectionString("postgres").c_str());
  Status status;
  if (PQstatus(conn) != CONNECTION_OK) {
    status = Status::Error(1, std::string("cannot reach the test server: ") + PQerrorMessage(conn));
  } else {
    PGresult* r = PQexec(conn, sql.c_str());
    const ExecStatusType rc = PQresultStatus(r);
    if (rc != PGRES_COMMAND_OK && rc != PGRES_TUPLES_OK) {
      status = Status::Error(1, sql + ": " + PQresultErrorMessage(r));
    }
    PQclear(r);
  }
  PQfinish(conn);
  return status;
}

Status PostgresServer::CreateDatabase(const std::string& hint, std::string* connection) {
  std::string name;
  for (char c : text::LCase(hint)) name += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  name = "t" + std::to_string(++databases_) + "_" + name;
  Status s = Admin("CREATE DATABASE " + name);
  if (s.ok() && connection) *connection = ConnectionString(name);
  return s;
}

std::string NewPostgresDatabase(const std::string& hint) {
  Status status;
  PostgresServer* server = PostgresServer::Get(&status);
  if (server == nullptr) {
    ADD_FAILURE() << "The test PostgreSQL server cannot start: " << status.text;
    return "";
  }
  std::string connection;
  status = server->CreateDatabase(hint, &connection);
  if (!status.ok()) {
    ADD_FAILURE() << "No database on the test PostgreSQL server: " << status.text;
    return "";
  }
  return connection;
}

}  // namespace sproutsmith::testing
