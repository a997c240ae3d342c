#pragma once
// Foreign-key hops of the DM data dictionary (DOCSCOLUMN): which table and column a column
// refers to. Looked up once per (library, column, table) and kept in ForeignKeyCache for
// the life of the program.

#include <optional>
#include <string>
#include <vector>

#include "log/log.h"

namespace sproutsmith::templ {

// Where a column points: FTBNAME, FCOLNAME and MULTI_VALUE of its DOCSCOLUMN row.
struct ForeignKey {
  std::string table;
  std::string column;
  std::string multi_value;
};

// The library's data dictionary, as the template languages ask it.
class DataDictionary {
 public:
  virtual ~DataDictionary() = default;
  // The first DOCSCOLUMN row of `table`.`column` with a foreign table; nullopt when the
  // column refers to nothing.
  virtual std::optional<ForeignKey> ForeignKeyOf(const std::string& column,
                                                 const std::string& table) = 0;
  // FTBNAME of PROFILE.`column`; "" when there is none.
  virtual std::string ProfileForeignTable(const std::string& column) = 0;
};

class ForeignKeyCache {
 public:
  struct Row {
    std::string library;
    std::string column;
    std::string table;
    std::string foreign_table;
    std::string foreign_column;
    std::string multi_value;
  };
  // Column and table compared exactly as written; library as well.
  const Row* Find(const std::string& library, const std::string& column,
                  const std::string& table) const;
  void Add(Row row) { rows_.push_back(std::move(row)); }
  size_t size() const { return rows_.size(); }

 private:
  std::vector<Row> rows_;
};

// The hop `table`.`column` in `library`: from the cache, else from the dictionary (logging
// "Identifying foreign key links to ..." first) and then cached. nullopt when unknown;
// misses are not cached.
std::optional<ForeignKey> LookupForeignKey(ForeignKeyCache& cache, DataDictionary& dictionary,
                                           const std::string& library, const std::string& column,
                                           const std::string& table, log::Log& log);

}  // namespace sproutsmith::templ
