#pragma once
// A private PostgreSQL server for the tests of one test process: Debian's binaries, a fresh
// data folder under the temporary area, a Unix socket inside that folder and no TCP, so
// parallel test processes never meet. Started on first use, stopped (and its folder
// removed) when the process ends, however it ends. A test that needs it fails with the reason when
// it cannot start; it is never skipped.

#include <string>

#include "platform/os/status.h"

namespace sproutsmith::testing {

class PostgresServer {
 public:
  // The process's server, started now when it is not running yet. Null with *status set
  // when it cannot start.
  static PostgresServer* Get(Status* status);

  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;
  ~PostgresServer();

  // A new, empty database (a name unique in this server is made from `hint`) and the
  // connection string that reaches it ("host=... dbname=... user=...").
  Status CreateDatabase(const std::string& hint, std::string* connection);
  // Runs one statement on the server's maintenance database.
  Status Admin(const std::string& sql);

  // Reaches the server without naming a database ("host=... user=...").
  std::string ServerConnection() const;
  std::string ConnectionString(const std::string& database) const;

 private:
  PostgresServer() = default;
  Status Start();
  void Stop();

  std::string base_dir_;  // removed at the end
  std::string data_dir_;  // the cluster, and the socket beside it
  bool running_ = false;
  int databases_ = 0;
};

// The connection string of a new database on the process's server. When the server cannot
// start, the current test fails with the reason (gtest failure) and "" comes back.
std::string NewPostgresDatabase(const std::string& hint);

}  // namespace sproutsmith::testing
