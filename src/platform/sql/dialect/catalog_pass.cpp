// What the engine asks the server about itself, answered from the back end's own catalog and
// the stand-in's tables: derived tables over sqlite_master on SQLite, the views library
// provisioning creates on PostgreSQL.

#include <string_view>

#include "platform/sql/dialect/rewrites.h"
#include "platform/sql/dialect/standin_functions.h"
#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

// sysobjects: sysstat & 0xf is 3 for a user table (2 for a view), as SQL Server has it.
constexpr std::string_view kSysObjects =
    "(SELECT name COLLATE NOCASE AS id, name COLLATE NOCASE AS name, "
    "CASE type WHEN 'table' THEN 3 ELSE 2 END AS sysstat, "
    "CASE type WHEN 'table' THEN 'U' ELSE 'V' END AS xtype "
    "FROM sqlite_master WHERE type IN ('table', 'view'))";

std::string AllTables() {
  return std::string("(SELECT name COLLATE NOCASE AS TABLE_NAME, ") + kLibraryOwnerFunction +
         "() AS OWNER FROM sqlite_master WHERE type = 'table')";
}

// Every table is granted to the library's user by the library owner.
std::string UserTabPrivs() {
  return std::string("(SELECT o.OWNER AS OWNER, m.name COLLATE NOCASE AS TABLE_NAME, ") +
         "'SELECT' AS PRIVILEGE FROM sqlite_master AS m, (SELECT " + kLibraryOwnerFunction +
         "() AS OWNER) AS o WHERE m.type = 'table' AND o.OWNER IS NOT NULL)";
}

bool IsClauseWord(const Token& t) {
  static constexpr std::string_view kWords[] = {
      "WHERE",     "JOIN",  "LEFT",  "RIGHT",   "INNER", "OUTER",  "CROSS",  "FULL",
      "ON",        "GROUP", "ORDER", "HAVING",  "LIMIT", "OPTION", "UNION",  "EXCEPT",
      "INTERSECT", "MINUS", "USING", "NATURAL", "WITH",  "SET",    "VALUES", "FROM"};
  for (std::string_view w : kWords) {
    if (IsWord(t, w)) return true;
  }
  return false;
}

// Whether the table name at `i` is followed by an alias of its own.
bool FollowedByAlias(const Tokens& tokens, size_t i) {
  const size_t next = NextSignificant(tokens, i);
  if (next >= tokens.size()) return false;
  const Token& t = tokens[next];
  if (IsWord(t, "AS")) return true;
  return IsIdentifier(t) && !IsClauseWord(t);
}

// A table name standing alone: not qualified, not a qualifier, not a call.
bool IsBareName(const Tokens& tokens, size_t i) {
  const size_t prev = PrevSignificant(tokens, i);
  const size_t next = NextSignificant(tokens, i);
  if (prev != kNone && tokens[prev].kind == TokenKind::kDot) return false;
  if (next < tokens.size() &&
      (tokens[next].kind == TokenKind::kDot || tokens[next].kind == TokenKind::kOpenParen)) {
    return false;
  }
  return true;
}

void ReplaceTable(const Tokens& tokens, Editor& editor, size_t i, const std::string& derived) {
  std::string text = derived;
  if (!FollowedByAlias(tokens, i)) text += " AS " + tokens[i].text;
  editor.Replace(i, i + 1, text);
}

// object_id('DOCSADM.T') names table T; an owner the library does not have names nothing.
std::string ObjectName(const std::string& qualified, const TranslateOptions& options) {
  std::vector<std::string> parts = text::Split(qualified, ".");
  for (std::string& p : parts) {
    p = text::Trim(p);
    if (p.size() >= 2 &&
        ((p.front() == '[' && p.back() == ']') || (p.front() == '"' && p.back() == '"'))) {
      p = p.substr(1, p.size() - 2);
    }
  }
  if (parts.size() == 1) return parts[0];
  if (parts.size() == 2) {
    const std::string& owner = parts[0];
    bool known = owner.empty() || text::EqualsNoCase(owner, "dbo");
    for (const std::string& o : options.owners) known = known || text::EqualsNoCase(owner, o);
    if (known) return parts[1];
  }
  return qualified;
}

std::string ServerProperty(const std::string& name) {
  if (text::EqualsNoCase(name, "ProductVersion")) return QuoteString(kProductVersion);
  if (text::EqualsNoCase(name, "ProductMajorVersion")) return "'15'";
  if (text::EqualsNoCase(name, "ProductMinorVersion")) return "'0'";
  if (text::EqualsNoCase(name, "ProductLevel")) return "'RTM'";
  return "NULL";  // what the server says for a property it does not know
}

// NAME('literal') → the literal's value; kNone when the call has another shape.
size_t SingleLiteralArgument(const Tokens& tokens, size_t open, std::string* value) {
  const size_t close = MatchingParen(tokens, open);
  if (close == kNone) return kNone;
  const std::vector<Range> args = SplitAtCommas(tokens, {open + 1, close});
  if (args.empty() || args[0].end - args[0].begin != 1) return kNone;
  const Token& arg = tokens[args[0].begin];
  if (arg.kind != TokenKind::kString && arg.kind != TokenKind::kNationalString) return kNone;
  *value = StringValue(arg);
  return close;
}

}  // namespace

void EmulateCatalog(const Tokens& tokens, Editor& editor, const TranslateOptions& options) {
  const bool oracle = options.flavour == Flavour::kOracle;
  const bool postgres = options.target == Backend::kPostgres;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind != TokenKind::kWord) continue;
    if (IsWord(t, "sysobjects") && IsBareName(tokens, i)) {
      ReplaceTable(tokens, editor, i,
                   postgres ? std::string(kPostgresSysObjectsView) : std::string(kSysObjects));
    } else if (oracle && IsWord(t, "ALL_TABLES") && IsBareName(tokens, i)) {
      ReplaceTable(tokens, editor, i, postgres ? std::string(kPostgresAllTablesView) : AllTables());
    } else if (oracle && IsWord(t, "USER_TAB_PRIVS") && IsBareName(tokens, i)) {
      ReplaceTable(tokens, editor, i,
                   postgres ? std::string(kPostgresUserTabPrivsView) : UserTabPrivs());
    } else if (oracle && IsWord(t, "DUAL") && IsBareName(tokens, i)) {
      ReplaceTable(tokens, editor, i, "(SELECT 'X' AS DUMMY)");
    } else if (IsWord(t, "@@VERSION")) {
      editor.Replace(i, i + 1, std::string(kVersionFunction) + "()");
    } else if (IsWord(t, "sys")) {
      // sys.databases, any case, with or without an alias.
      if (i + 2 < tokens.size() && tokens[i + 1].kind == TokenKind::kDot &&
          IsWord(tokens[i + 2], "databases")) {
        const size_t prev = PrevSignificant(tokens, i);
        if (prev == kNone || tokens[prev].kind != TokenKind::kDot) {
          editor.Replace(i, i + 3, kSysDatabasesTable);
        }
      }
    } else if (IsWord(t, "object_id") || IsWord(t, "serverproperty")) {
      const size_t open = CallParen(tokens, i);
      std::string value;
      const size_t close = open == kNone ? kNone : SingleLiteralArgument(tokens, open, &value);
      if (close == kNone) continue;
      editor.Replace(
          i, close + 1,
          IsWord(t, "object_id") ? QuoteString(ObjectName(value, options)) : ServerProperty(value));
      i = close;
    }
  }
}

bool IsIgnoredSessionOption(const Tokens& tokens) {
  const size_t first = SkipBlanks(tokens, 0);
  if (first >= tokens.size() || !IsWord(tokens[first], "SET")) return false;
  const size_t option = NextSignificant(tokens, first);
  if (option >= tokens.size()) return false;
  // Options that change date parsing, row-count messages or identifier quoting on the
  // server; dates are ISO text and identifiers are always quoted with "" or [] here.
  static constexpr std::string_view kOptions[] = {"DATEFORMAT", "DATEFIRST", "NOCOUNT",
                                                  "QUOTED_IDENTIFIER", "LANGUAGE"};
  for (std::string_view o : kOptions) {
    if (IsWord(tokens[option], o)) return true;
  }
  return false;
}

}  // namespace sproutsmith::sql::dialect
