#include "platform/sql/dialect/translator.h"

#include "platform/sql/dialect/rewrites.h"
#include "platform/sql/dialect/standin_functions.h"

namespace sproutsmith::sql {
namespace dialect {

bool ApplyPass(Tokens& tokens, Pass pass, const TranslateOptions& options) {
  Editor editor(tokens);
  pass(tokens, editor, options);
  if (!editor.changed()) return false;
  tokens = Tokenize(editor.Text());
  return true;
}

namespace {

// Upper bound on repeated runs of a pass that rewrites one SELECT at a time.
constexpr int kMaxScopeRewrites = 64;

std::string TranslateForSqlite(std::string_view sql, const TranslateOptions& options) {
  Tokens tokens = Tokenize(sql);
  if (IsIgnoredSessionOption(tokens)) return "SELECT 1 WHERE 0";
  if (const std::string refused = RefusedConstruct(tokens, options); !refused.empty()) {
    return std::string("SELECT ") + kRefuseFunction + "(" + QuoteString(refused) + ")";
  }
  ApplyPass(tokens, ReadLiteralsAsOracle, options);
  // Names first, so that the passes after see PROFILE.SYSTEM_ID rather than the owner's form.
  ApplyPass(tokens, DropOwnerPrefixes, options);
  ApplyPass(tokens, EmulateCatalog, options);
  ApplyPass(tokens, RewriteSqliteFunctions, options);
  // The hint goes before the limits so that LIMIT lands at the real end of the statement.
  ApplyPass(tokens, RemoveQueryHints, options);
  for (int i = 0; i < kMaxScopeRewrites && ApplyPass(tokens, RewriteOuterJoins, options); ++i) {
  }
  ApplyPass(tokens, RownumToLimit, options);
  ApplyPass(tokens, TopToLimit, options);
  for (int i = 0; i < kMaxScopeRewrites && ApplyPass(tokens, RewritePlus, options); ++i) {
  }
  ApplyPass(tokens, NameUnaliasedColumns, options);
  return Join(tokens);
}

std::string TranslateForPostgres(std::string_view sql, const TranslateOptions& options) {
  Tokens tokens = Tokenize(sql);
  if (IsIgnoredSessionOption(tokens)) return "SELECT 1 WHERE false";
  if (const std::string refused = RefusedConstruct(tokens, options); !refused.empty()) {
    return std::string("SELECT ") + kRefuseFunction + "(" + QuoteString(refused) + ")";
  }
  ApplyPass(tokens, ReadLiteralsAsOracle, options);
  // The owner is the schema first on the search path; "dbo" is no schema here.
  ApplyPass(tokens, DropOwnerPrefixes, options);
  ApplyPass(tokens, EmulateCatalog, options);
  ApplyPass(tokens, RewritePostgresFunctions, options);
  ApplyPass(tokens, RemoveQueryHints, options);
  for (int i = 0; i < kMaxScopeRewrites && ApplyPass(tokens, RewriteOuterJoins, options); ++i) {
  }
  ApplyPass(tokens, RownumToLimit, options);
  ApplyPass(tokens, TopToLimit, options);
  for (int i = 0; i < kMaxScopeRewrites && ApplyPass(tokens, RewritePlus, options); ++i) {
  }
  ApplyPass(tokens, NameUnaliasedColumns, options);
  // Last: "+" and the headings read LIKE as a keyword, not the operator it becomes.
  ApplyPass(tokens, RewriteLikeForPostgres, options);
  return Join(tokens);
}

}  // namespace
}  // namespace dialect

std::string Translate(std::string_view sql, const TranslateOptions& options) {
  switch (options.target) {
    case Backend::kSqlite:
      return dialect::TranslateForSqlite(sql, options);
    case Backend::kPostgres:
      return dialect::TranslateForPostgres(sql, options);
  }
  return std::string(sql);
}

}  // namespace sproutsmith::sql
