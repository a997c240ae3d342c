// Oracle's reading of literals: '' is NULL (so "X = ''" is never true and an inserted ''
// is stored as NULL), and LIKE knows only % and _, so "[" in a pattern is itself.

#include "platform/sql/dialect/rewrites.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {

void ReadLiteralsAsOracle(const Tokens& tokens, Editor& editor, const TranslateOptions& options) {
  if (options.flavour != Flavour::kOracle) return;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind != TokenKind::kString && t.kind != TokenKind::kNationalString) continue;
    const std::string value = StringValue(t);
    if (value.empty()) {
      editor.Replace(i, i + 1, "NULL");
      continue;
    }
    // The back end's LIKE is SQL Server's, where "[" opens a class; "[[]" is a plain "[".
    const size_t prev = PrevSignificant(tokens, i);
    if (prev != kNone && IsWord(tokens[prev], "LIKE") && value.find('[') != std::string::npos) {
      editor.Replace(i, i + 1, QuoteString(text::Replace(value, "[", "[[]")));
    }
  }
}

}  // namespace sproutsmith::sql::dialect
