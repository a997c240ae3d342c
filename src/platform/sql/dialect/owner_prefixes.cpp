// Owner (schema) prefixes on a back end without schemas.

#include "platform/sql/dialect/rewrites.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

bool IsOwner(const Token& token, const TranslateOptions& options) {
  if (!IsIdentifier(token)) return false;
  const std::string name = IdentifierName(token);
  // "dbo" is where SQL Server puts the QZ_ tables whatever the library owner is.
  if (text::EqualsNoCase(name, "dbo")) return true;
  for (const std::string& owner : options.owners) {
    // "sys" stays: sys.databases is a catalog name, not a library table.
    if (!owner.empty() && !text::EqualsNoCase(owner, "sys") && text::EqualsNoCase(name, owner)) {
      return true;
    }
  }
  return false;
}

}  // namespace

void DropOwnerPrefixes(const Tokens& tokens, Editor& editor, const TranslateOptions& options) {
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    // An empty owner leaves ".PROFILE": the name stands on its own. A qualifier sits
    // right against its dot ("P.X"); "FROM .X" has a keyword and a blank there.
    if (tokens[i].kind == TokenKind::kDot && IsIdentifier(tokens[i + 1])) {
      const bool qualifies =
          i > 0 && (IsIdentifier(tokens[i - 1]) || tokens[i - 1].kind == TokenKind::kCloseParen);
      if (!qualifies) editor.Remove(i, i + 1);
      continue;
    }
    if (i + 2 >= tokens.size()) break;
    if (!IsOwner(tokens[i], options) || tokens[i + 1].kind != TokenKind::kDot ||
        !IsIdentifier(tokens[i + 2])) {
      continue;
    }
    // Only the first part of a dotted name is an owner: T.DOCSADM stays.
    const size_t prev = PrevSignificant(tokens, i);
    if (prev != kNone && tokens[prev].kind == TokenKind::kDot) continue;
    editor.Remove(i, i + 2);
    ++i;
  }
}

}  // namespace sproutsmith::sql::dialect
