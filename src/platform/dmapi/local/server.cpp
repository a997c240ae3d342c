#include "platform/dmapi/local/server.h"

#include <filesystem>
#include <random>

#include "platform/schema/library_schema.h"
#include "platform/sql/postgres_database.h"
#include "platform/sql/sqlite_database.h"
#include "text/text.h"

namespace sproutsmith::dmapi {

namespace {

std::string NewToken(const std::string& user) {
  std::random_device device;
  std::mt19937_64 gen((static_cast<unsigned long long>(device()) << 32) ^ device());
  const std::string hex = "0123456789ABCDEF";
  std::string token = "DST-" + text::UCase(user) + "-";
  for (int i = 0; i < 16; ++i) token += hex[gen() % 16];
  return token;
}

}  // namespace

std::string LibraryLocation(const LibraryConfig& library) {
  return library.backend == kPostgresBackend ? "database " + library.connection
                                             : "database file " + library.database_path;
}

std::unique_ptr<sql::Database> OpenLibraryDatabase(const LibraryConfig& library,
                                                   std::string* error) {
  if (library.backend == kPostgresBackend) {
    Status status;
    std::unique_ptr<sql::PostgresDatabase> db = sql::PostgresDatabase::Open(
        library.connection, library.owner, &status, sql::BusyWait{library.busy_wait_seconds});
    if (!db && error) *error = LibraryLocation(library) + " cannot be opened: " + status.text;
    return db;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(library.database_path, ec)) {
    if (error) *error = "database file " + library.database_path + " does not exist";
    return nullptr;
  }
  std::string open_error;
  std::unique_ptr<sql::SqliteDatabase> db = sql::SqliteDatabase::Open(
      library.database_path, false, &open_error, sql::BusyWait{library.busy_wait_seconds});
  if (!db) {
    if (error) {
      *error = "database file " + library.database_path + " cannot be opened: " + open_error;
    }
    return nullptr;
  }
  db->SetPageCache(library.page_cache_mb);
  return db;
}

namespace local {

Server::Server(InstallationConfig config, const os::Clock* clock, DatabaseOpener opener)
    : config_(std::move(config)),
      own_clock_(clock ? nullptr : std::make_unique<os::SystemClock>()),
      clock_(clock ? clock : own_clock_.get()),
      opener_(opener ? std::move(opener) : DatabaseOpener(OpenLibraryDatabase)),
      token_(NewToken(config_.user_id)),
      current_(std::max(0, config_.Find(config_.current_library))),
      search_flags_(config_.libraries.size(), true),
      libraries_(config_.libraries.size()) {}

sql::Database* Server::Open(int index, std::string* error) {
  if (index < 0 || index >= LibraryCount()) {
    if (error) *error = "no such library";
    return nullptr;
  }
  if (libraries_[index].db) return libraries_[index].db.get();
  const LibraryConfig& lib = config_.libraries[index];
  std::string open_error;
  std::unique_ptr<sql::Database> db = opener_(lib, &open_error);
  if (!db) {
    if (error) *error = open_error;
    return nullptr;
  }
  if (!schema::IsDmLibrary(*db)) {
    if (error) *error = LibraryLocation(lib) + " does not hold a DM library";
    return nullptr;
  }
  // Both back ends answer GETDATE() from the client's clock, so dates in SQL agree with the
  // engine's (an opener's own clock gives way); a database wrapped by its opener keeps the
  // machine's.
  if (auto* sqlite = dynamic_cast<sql::SqliteDatabase*>(db.get())) sqlite->SetClock(*clock_);
  if (auto* postgres = dynamic_cast<sql::PostgresDatabase*>(db.get())) postgres->SetClock(*clock_);
  if (commits_held_) db->HoldCommits(true);
  libraries_[index].db = std::move(db);
  return libraries_[index].db.get();
}

void Server::ForgetReferenceRows() {
  for (LibraryState& library : libraries_) library.reference_rows.Forget();
}

void Server::set_search_flag(int index, bool on) {
  search_flags_[index] = on;
  ForgetReferenceRows();
}

bool Server::EndHeld(LibraryState& library, bool commit) {
  if (library.db->EndHeld(commit)) return true;
  library.keys = KeyRanges();
  library.reference_rows.Forget();
  library.next_event_id.reset();
  return false;
}

void Server::HoldCommits(bool on) {
  commits_held_ = on;
  for (LibraryState& library : libraries_) {
    if (!library.db) continue;
    if (!on) EndHeld(library, true);
    library.db->HoldCommits(on);
  }
}

bool Server::CommitHeld(const std::string& last_library) {
  const int last = Find(last_library);
  // The last library (the one that records the row) commits only when all others did: a
  // refused commit elsewhere leaves the row to be done again, and nothing of it that points
  // into the library that refused.
  bool all = true;
  for (size_t i = 0; i < libraries_.size(); ++i) {
    if (libraries_[i].db && static_cast<int>(i) != last) all = EndHeld(libraries_[i], all) && all;
  }
  if (last >= 0 && libraries_[static_cast<size_t>(last)].db) {
    all = EndHeld(libraries_[static_cast<size_t>(last)], all) && all;
  }
  return all;
}

std::string Server::TakeBusyLibrary() {
  std::string busy;
  for (size_t i = 0; i < libraries_.size(); ++i) {
    if (libraries_[i].db && libraries_[i].db->TakeBusy() && busy.empty()) {
      busy = config_.libraries[i].name;
    }
  }
  return busy;
}

std::string Server::Timestamp() const { return text::Format(clock_->Now(), "YYYY-MM-DD HH:MM:SS"); }

}  // namespace local
}  // namespace sproutsmith::dmapi
