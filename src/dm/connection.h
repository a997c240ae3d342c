#pragma once
// The DM session and the one connected library: starting the session, switching libraries,
// recreating lost DM objects, the SQL gateway, and the checks and repairs every library gets
// when it is connected. Exactly one library is connected at a time.
//
// connection.cpp starts the session, switches libraries and recreates lost objects;
// connection_gateway.cpp is the SQL gateway; connection_preparation.cpp checks and repairs
// a library when it is connected.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dm/library_cache.h"
#include "log/context.h"
#include "platform/dmapi/engine_codes.h"
#include "platform/dmapi/session.h"

namespace sproutsmith::dm {

// Facts of the connected library that SQL texts and callers depend on.
struct ConnectionFacts {
  int DatabaseEngine = 0;  // 2/5 Oracle, 6 Sybase, 0 unknown, else SQL Server
  std::string EngineName;
  std::string LibraryOwner = "DOCSADM";
  std::string DatabaseVersion;
  std::string CompatibilityLevel;
  std::string ServerVersionText;
  std::string OuterJoinEquals;
  std::string ConcatOperator;
  std::string NextColumn;
  bool LibraryConnected = false;
  bool IsOracle() const { return dmapi::IsOracleEngine(DatabaseEngine); }
};

// Results of the library checks (valid for the connected library).
struct LibraryState {
  bool HasQuilSettings = false;
  bool HasNeedsFoldering = false;
  bool HasNeedsSecuring = false;
  bool HasQuilSproutsmith = false;
  bool HasQuilProxy = false;
  bool HasQuilSubscription = false;
  bool HasSecReason = false;
  bool HasSecurityLink = false;
  bool HasWorkspaceForm = false;
  bool HasFolderLastUpdate = false;
  std::string DatabaseName;
  std::string ServerLocation;
  LibrarySettings settings;
  std::vector<std::pair<std::string, long long>> ValidationTables;
};

// The final text RunSQL sends for `text`: the unterminated-literal fix, the dialect rewrites
// of the engine, the owner placeholders and the parallelism hint.
std::string PrepareSqlText(std::string_view text, const ConnectionFacts& facts);

// An SQL object's error code (or number) that means success: the DM client's 9 says only that
// the statement returned no result set.
inline bool SqlSucceeded(long code) { return code == 0 || code == 9; }

// Which lost DM object CheckFusion makes again before it gives up.
enum class Repair {
  kNone,
  kApplication,  // a library is being connected: a new application object and login
  kSqlObject,    // a statement is about to run: a new SQL object for the connected library
};

// Whether a failed CheckFusion asks the operator to end the program. The running-node
// bookkeeping stays quiet: it also runs while the program ends.
enum class OnFailure { kAskToExit, kQuiet };

// How the guard of an operation tells that no library object is connected.
enum class NoLibrary {
  kLog,         // "Error: Library object not set - cannot continue" and a separator
  kLogAndShow,  // the same, also in an error box
  kShow,        // a window's error box only, without the session check
};

// The first row of a statement's result, read before the result was released.
struct FirstRow {
  bool succeeded = false;           // the statement reached the database without an error
  std::vector<std::string> values;  // the row's columns; empty when it returned none
  bool found() const { return !values.empty(); }
  // Column n (1-based): "" and 0 when there is none.
  std::string Text(int n) const;
  double Number(int n) const;
  long long Integer(int n) const { return static_cast<long long>(Number(n)); }
};

class Connection {
 public:
  Connection(Context& context, dmapi::Client& client);
  ~Connection();

  // Starts the DM session and connects the current library. Called once at start-up.
  bool StartFusion();
  // Connects the named library (any letter case); true when it is (or already was) connected.
  bool ConnectLibrary(std::string_view name);
  // True when the session's objects are usable, after making `repair` again when it is lost;
  // `caller` names the operation in the log and in the question a failure asks.
  bool CheckFusion(std::string_view caller, Repair repair = Repair::kNone,
                   OnFailure on_failure = OnFailure::kAskToExit);
  // The guard an operation opens with: CheckFusion, then a connected library object, whose
  // absence is told as `tell` says. False when either is missing.
  bool LibraryObjectSet(std::string_view caller, NoLibrary tell = NoLibrary::kLog);
  // Whether the logged-on user may manage folders in the connected library: a supervisor
  // may; anyone else needs the right to create folders and, for `root_folders`, the right to
  // manage root folders. `primary_group` (when given) gets the user's primary group, asked
  // of the library on the way.
  bool MayManageFolders(bool root_folders = true, std::string* primary_group = nullptr) const;
  // Runs one SQL text written in the Microsoft flavour with "[OWNER]" placeholders. True when
  // the text reached the database, whatever the outcome: read the outcome from sql().
  bool RunSQL(std::string_view text);
  // RunSQL for a statement whose result nobody reads, released at once. True when it
  // succeeded; `affected` gets the rows it changed (0 after a failure).
  bool RunStatement(std::string_view text, long long* affected = nullptr);
  // RunSQL, then ForEachRow, then Release. False when the statement failed: an empty answer
  // must not pass for "no rows".
  bool RunQuery(std::string_view text, const std::function<bool()>& row);
  // RunSQL, the first row read, then Release.
  FirstRow ReadFirstRow(std::string_view text);
  bool TableExists(std::string_view table);
  // Learns the target library's owner from the connected library's REMOTE_LIBRARIES.
  bool CheckSQLSettings(std::string_view target);
  // Program end: releases every DM object and closes the session.
  void ReleaseObjects();

  // The final text RunSQL sends for `text` on the connected library (rewrites, owner, hint).
  std::string PrepareSql(std::string_view text) const { return PrepareSqlText(text, facts_); }

  // Walks the rows of the last statement from the first: `row` reads them through Column()
  // and returns false to stop. Nothing is walked after a failed statement. Returns the
  // number of rows visited.
  long long ForEachRow(const std::function<bool()>& row);

  // Value of column n (1-based) of the current row as text ("" when none).
  std::string Column(int n) const;
  double ColumnNumber(int n) const;
  // The last statement reached the database and reported no error.
  bool LastSucceeded() const;
  // Statements that failed since the session began: two readings tell whether a piece of
  // work wrote everything it meant to, whatever its steps did with the failure.
  long long FailedStatements() const { return failed_statements_; }
  // Rows affected by the last statement (0 without an SQL object).
  long long RowsAffected() const;
  // Frees the last result set (every statement's result is released before the next).
  void Release();
  // Asks the DM client to refresh its open views; failures are ignored, as the client's are.
  void RefreshAllViews();
  // The library on which a statement of this gateway (error code sql::kBusyCode) or a DM
  // operation gave up since the last call because another program held a write lock on it;
  // "" when none did. Forgets it.
  std::string TakeBusyLibrary();
  // See dmapi::Client::HoldCommits / CommitHeld: one transaction per library for a row's
  // writes; `last_library` (the rule's, which holds its journal) is made durable last.
  void HoldCommits(bool on) { client_.HoldCommits(on); }
  bool CommitHeld(const std::string& last_library) { return client_.CommitHeld(last_library); }

  dmapi::SqlObject* sql() { return sql_.get(); }
  dmapi::Library* library() { return library_.get(); }
  dmapi::LibraryList* libraries() { return libraries_.get(); }
  dmapi::Application* application() { return application_.get(); }
  dmapi::Session* session() { return session_.get(); }
  std::string LibraryName() const;
  std::string UserId() const;
  std::vector<std::string> LibraryNames() const;
  // The library's name as the session's list spells it (any letter case and blanks around
  // `name`); "" when the user has no such library.
  std::string ListedName(std::string_view name) const;
  ConnectionFacts& facts() { return facts_; }
  const ConnectionFacts& facts() const { return facts_; }
  LibraryState& library_state() { return state_; }
  const LibraryCache* cache() const { return cache_.get(); }

  // A session that must leave the libraries as they are (a dry run): connecting a library
  // learns what it needs but repairs nothing (no ARBORLINE security reason, no LAST_UPDATE
  // column). Set before the first connection.
  void SetReadOnly(bool on) { read_only_ = on; }
  bool read_only() const { return read_only_; }

  // Runs after every successful connection (the rule store reloads the library's rules).
  void SetOnConnected(std::function<void()> hook) { on_connected_ = std::move(hook); }
  // Runs when the user answers Yes to "exit now?" after a failed CheckFusion.
  void SetProgramEnd(std::function<void()> hook) { program_end_ = std::move(hook); }

  // Test seams: drop a DM object as the client would lose it.
  void LoseSqlObjectForTest() { sql_.reset(); }
  void LoseApplicationForTest() { application_.reset(); }

 private:
  bool StartFusionBody();
  bool ConnectLibraryBody(const std::string& name);
  // The session's library of that (upper-case) name; null, with the error told, when none.
  std::shared_ptr<dmapi::Library> FindListedLibrary(const std::string& name);
  // A new SQL object attached to the library (the old one kept for a failed switch).
  bool AttachSqlObject(const std::string& name);
  void RememberConnection();
  void RestoreConnection();
  bool CheckFusionBody(const std::string& caller, Repair repair, OnFailure on_failure);
  bool CheckSQLSettingsBody(const std::string& target);
  bool RunSQLBody(std::string_view text);
  void DetectEngine(CachedLibrary& cached, const std::string& name);
  void LearnOwner(CachedLibrary& cached, const std::string& name, const std::string& prefix);
  // The server questions of a SQL Server or Sybase library.
  void LearnServer(CachedLibrary& cached, const std::string& name);
  void PrepareLibrary(CachedLibrary& cached);
  void PrepareLibraryQueries(CachedLibrary& cached);
  void WarnUniqueNames(CachedLibrary& cached);
  void ReadOwnDatabase(CachedLibrary& cached);
  void ReadSettings(CachedLibrary& cached);
  void AddSecurityReason();
  void AddFolderLastUpdate(CachedLibrary& cached);
  bool FolderHasLastUpdate();
  void ApplyCached(const CachedLibrary& cached);
  void ReportServerInterfaceError();
  void ShowAndLog(const std::string& message, runtime::MessageStyle style);
  log::Log& log() { return context_.log; }
  static std::string SqlQuoteName(const std::string& name);

  Context& context_;
  dmapi::Client& client_;
  std::unique_ptr<dmapi::Session> session_;
  std::unique_ptr<dmapi::Application> application_;
  std::string token_;
  std::shared_ptr<dmapi::LibraryList> libraries_;
  std::shared_ptr<dmapi::Library> library_;
  std::unique_ptr<dmapi::SqlObject> sql_;
  std::unique_ptr<LibraryCache> cache_;
  ConnectionFacts facts_;
  LibraryState state_;
  std::function<void()> on_connected_;
  std::function<void()> program_end_;
  bool read_only_ = false;
  bool owner_learnt_ = false;  // the last CheckSQLSettings found the target's owner
  long long failed_statements_ = 0;
  std::string busy_library_;

  // What a switch may change, kept until it completes so that a failed one changes nothing.
  struct Remembered {
    ConnectionFacts facts;
    LibraryState state;
    std::shared_ptr<dmapi::Library> library;
    std::optional<LibraryCache> cache;
    std::vector<runtime::MenuEntry> menu;
    std::unique_ptr<dmapi::SqlObject> sql;
    bool sql_replaced = false;
    bool pointed = false;  // the application was pointed at the new library
    bool loaded = false;   // the on-connected hook started
  };
  std::optional<Remembered> remembered_;
};

}  // namespace sproutsmith::dm
