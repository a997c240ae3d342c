#pragma once
// The DM server stand-in's state for one client: the installation, the library databases
// (opened on first use) with what the client keeps of each (reference rows, its range of
// keys, the next event id), the login token, the current library and the search flags.
// Every object a client makes holds the server through a shared pointer.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dmapi/installation.h"
#include "platform/dmapi/local/key_ranges.h"
#include "platform/dmapi/local/reference_rows.h"
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

  // What the client keeps of library `index` (valid index), for the server's lifetime;
  // reference_rows.h says when the reference rows are forgotten.
  ReferenceRows& reference_rows(int index) { return libraries_[index].reference_rows; }
  KeyRanges& keys(int index) { return libraries_[index].keys; }
  std::optional<long long>& next_event_id(int index) { return libraries_[index].next_event_id; }
  void ForgetReferenceRows();

  const std::string& token() const { return token_; }
  int current() const { return current_; }
  void set_current(int index) { current_ = index; }
  bool search_flag(int index) const { return search_flags_[index]; }
  // Also a moment at which the reference rows are forgotten (see reference_rows.h).
  void set_search_flag(int index, bool on);

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
  struct LibraryState {
    std::unique_ptr<sql::Database> db;
    ReferenceRows reference_rows;
    KeyRanges keys;
    std::optional<long long> next_event_id;
  };
  std::vector<LibraryState> libraries_;
  // Ends library i's held writes; what the client kept of writes that were undone is
  // dropped with them (a key range reserved in the transaction is handed out again).
  bool EndHeld(LibraryState& library, bool commit);
};

}  // namespace sproutsmith::dmapi::local
