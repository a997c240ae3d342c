#pragma once
// The DM server stand-in's state for one client: the installation, the library databases
// (opened on first use), the login token, the current library and the search flags.
// Every object a client makes holds the server through a shared pointer.

#include <memory>
#include <string>
#include <vector>

#include "platform/dmapi/installation.h"
#include "platform/os/clock.h"
#include "platform/sql/database.h"

namespace sproutsmith::dmapi::local {

class Server {
 public:
  // An empty opener opens each library's SQLite file (OpenLibraryDatabase).
  Server(InstallationConfig config, const os::Clock* clock, DatabaseOpener opener = {});
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  const InstallationConfig& config() const { return config_; }
  int LibraryCount() const { return static_cast<int>(config_.libraries.size()); }
  const LibraryConfig& library(int index) const { return config_.libraries[index]; }
  int Find(const std::string& name) const { return config_.Find(name); }

  // The library's database; null with *error when its file is missing, cannot be opened
  // or holds no DM library. A failure is retried on the next call.
  sql::Database* Open(int index, std::string* error);

  const std::string& token() const { return token_; }
  int current() const { return current_; }
  void set_current(int index) { current_ = index; }
  bool search_flag(int index) const { return search_flags_[index]; }
  void set_search_flag(int index, bool on) { search_flags_[index] = on; }

  // See Client::TakeBusyLibrary: the first of the open libraries whose database noted a
  // busy failure; every such note is forgotten.
  std::string TakeBusyLibrary();

  // See Client::HoldCommits and Client::CommitHeld; libraries opened while commits are held
  // hold theirs too.
  void HoldCommits(bool on);
  bool CommitHeld(const std::string& last_library);

  // Now, as stored in DATETIME columns: 'YYYY-MM-DD HH:MM:SS'.
  std::string Timestamp() const;

 private:
  InstallationConfig config_;
  std::unique_ptr<os::Clock> own_clock_;
  const os::Clock* clock_;
  DatabaseOpener opener_;
  std::string token_;
  int current_ = 0;
  std::vector<bool> search_flags_;
  bool commits_held_ = false;
  std::vector<std::unique_ptr<sql::Database>> databases_;
};

}  // namespace sproutsmith::dmapi::local
