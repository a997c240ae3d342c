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

}  // namespace

// One order of passes for both back ends; only the functions pass and PostgreSQL's LIKE
// differ. The passes that read what a literal holds come first; the literals they leave
// alone can then be lifted out of the statement (literal_lifting.h).
bool TranslateValues(Tokens& tokens, const TranslateOptions& options, std::string* whole) {
  const bool postgres = options.target == Backend::kPostgres;
  if (IsIgnoredSessionOption(tokens)) {
    *whole = postgres ? "SELECT 1 WHERE false" : "SELECT 1 WHERE 0";
    return false;
  }
  if (const std::string refused = RefusedConstruct(tokens, options); !refused.empty()) {
    *whole = std::string("SELECT ") + kRefuseFunction + "(" + QuoteString(refused) + ")";
    return false;
  }
  ApplyPass(tokens, ReadLiteralsAsOracle, options);
  ApplyPass(tokens, AddLikeEqualityPrefilter, options);
  return true;
}

std::string TranslateShape(Tokens tokens, const TranslateOptions& options) {
  const bool postgres = options.target == Backend::kPostgres;
  // Names first, so that the passes after see PROFILE.SYSTEM_ID rather than the owner's form
  // (on PostgreSQL the owner is the schema first on the search path; "dbo" is no schema).
  ApplyPass(tokens, DropOwnerPrefixes, options);
  ApplyPass(tokens, EmulateCatalog, options);
  ApplyPass(tokens, RewriteNotInSubqueries, options);
  ApplyPass(tokens, postgres ? RewritePostgresFunctions : RewriteSqliteFunctions, options);
  // The hint goes before the limits so that LIMIT lands at the real end of the statement.
  ApplyPass(tokens, RemoveQueryHints, options);
  for (int i = 0; i < kMaxScopeRewrites && ApplyPass(tokens, RewriteOuterJoins, options); ++i) {
  }
  ApplyPass(tokens, RownumToLimit, options);
  ApplyPass(tokens, TopToLimit, options);
  for (int i = 0; i < kMaxScopeRewrites && ApplyPass(tokens, RewritePlus, options); ++i) {
  }
  ApplyPass(tokens, NameUnaliasedColumns, options);
  // Last: "+" and the headings read LIKE as a keyword, not the operator it becomes.
  if (postgres) ApplyPass(tokens, RewriteLikeForPostgres, options);
  return Join(tokens);
}

}  // namespace dialect

std::string Translate(std::string_view sql, const TranslateOptions& options) {
  dialect::Tokens tokens = dialect::Tokenize(sql);
  std::string whole;
  if (!dialect::TranslateValues(tokens, options, &whole)) return whole;
  return dialect::TranslateShape(std::move(tokens), options);
}

}  // namespace sproutsmith::sql
