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
  // An empty owner (".PROFILE") is left as written: the server refuses it, and so must the
  // stand-in, or SQL built with a lost owner would pass every test.
  for (size_t i = 0; i + 2 < tokens.size(); ++i) {
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
