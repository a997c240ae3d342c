#pragma once
// Translates the SQL the engine writes (Microsoft SQL Server flavour, or Oracle flavour for
// libraries whose engine code is 2 or 5) into the back end's own dialect. Works on tokens:
// nothing inside a string literal is ever rewritten. A statement the translator does not
// understand passes through unchanged, so the back end reports it as an ordinary SQL error.
// A construct of the other flavour (TOP or GETDATE() on Oracle, NVL or (+) on SQL Server)
// becomes a statement that fails with the message that flavour's server gives.

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sql/database.h"

namespace sproutsmith::sql {

enum class Flavour { kMicrosoft, kOracle };

struct TranslateOptions {
  Flavour flavour = Flavour::kMicrosoft;
  Backend target = Backend::kSqlite;
  // Schema prefixes to drop on a back end without schemas (the library owner, "dbo"),
  // compared without regard to letter case.
  std::vector<std::string> owners;
  // Integer columns that never hold NULL, as "TABLE.COLUMN" in capitals (the library's
  // schema): "x NOT IN (SELECT c ...)" over two of them reads as the NOT EXISTS it equals.
  std::set<std::string> non_null_integer_columns;

  friend bool operator==(const TranslateOptions&, const TranslateOptions&) = default;
};

std::string Translate(std::string_view sql, const TranslateOptions& options);

}  // namespace sproutsmith::sql
