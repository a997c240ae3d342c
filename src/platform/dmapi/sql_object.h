#pragma once
// The SQL pass-through object: runs the engine's SQL text on the attached library and keeps
// ONE result set until the next execution or release. Nothing here throws into the caller;
// failures show as a non-zero status and in the error accessors.

#include <string>

#include "platform/sql/database.h"

namespace sproutsmith::dmapi {

class SqlObject {
 public:
  virtual ~SqlObject() = default;

  // The application's login token; attaching a library needs a valid one.
  virtual void AttachToken(const std::string& token) = 0;
  // 0 when the library is attached; otherwise non-zero, and ErrDescription says why
  // (unknown library, missing database file, a database that is not a DM library).
  virtual int AttachLibrary(const std::string& library_name) = 0;
  // Engine code the client reports for the attached library: 2/5 Oracle, 6 Sybase,
  // 0 = cannot tell, anything else Microsoft SQL Server.
  virtual int EngineCode() const = 0;

  // Executes one statement written in the attached library's SQL flavour.
  // Returns 0 on success, the error code otherwise.
  virtual int Execute(const std::string& text) = 0;

  // 0 = no error; sql::kBusyCode = another program held a write lock on the library for
  // longer than its busy wait.
  virtual int GetSQLErrorCode() const = 0;
  virtual long ErrNumber() const = 0;
  virtual std::string ErrDescription() const = 0;  // with bracketed driver prefixes
  virtual long long GetRowsAffected() const = 0;   // 0 after a query
  virtual long long GetRowCount() const = 0;       // rows of the last query, before reading

  virtual int ColumnCount() const = 0;
  // 1-based. Out of range gives "" / a null value.
  virtual std::string ColumnName(int column) const = 0;
  virtual sql::Value ColumnValue(int column) const = 0;
  // MoveFirst: false when there are no rows. MoveNext: false when past the last row.
  virtual bool MoveFirst() = 0;
  virtual bool MoveNext() = 0;
  virtual void ReleaseResults() = 0;

  // The next number of the attached library's key counter ("SYSTEMKEY"); 0 when none.
  virtual long long AllocateKey(const std::string& key_name) = 0;
};

}  // namespace sproutsmith::dmapi
