#include "template/foreign_keys.h"

namespace sproutsmith::templ {

const ForeignKeyCache::Row* ForeignKeyCache::Find(const std::string& library,
                                                  const std::string& column,
                                                  const std::string& table) const {
  for (const Row& row : rows_) {
    if (row.library == library && row.column == column && row.table == table) return &row;
  }
  return nullptr;
}

std::optional<ForeignKey> LookupForeignKey(ForeignKeyCache& cache, DataDictionary& dictionary,
                                           const std::string& library, const std::string& column,
                                           const std::string& table, log::Log& log) {
  if (const ForeignKeyCache::Row* row = cache.Find(library, column, table)) {
    return ForeignKey{row->foreign_table, row->foreign_column, row->multi_value};
  }
  log.AddLogAndSeparator("Identifying foreign key links to " + table + "." + column);
  std::optional<ForeignKey> key = dictionary.ForeignKeyOf(column, table);
  if (!key) return std::nullopt;
  cache.Add({library, column, table, key->table, key->column, key->multi_value});
  return key;
}

}  // namespace sproutsmith::templ
