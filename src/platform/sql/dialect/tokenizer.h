#pragma once
// Splits an SQL text into tokens that concatenate back to the text byte for byte. The
// rewrites work on these tokens, so a string literal, a quoted name or a comment is one
// token and nothing inside it is ever touched.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sproutsmith::sql::dialect {

enum class TokenKind {
  kSpace,              // blanks, tabs, CR, LF
  kComment,            // -- to the end of the line (without it), or /* ... */ (nesting kept)
  kString,             // '...' with '' inside; an unterminated one runs to the end
  kNationalString,     // N'...'
  kQuotedIdentifier,   // "..." with "" inside
  kBracketIdentifier,  // [...] with ]] inside
  kNumber,             // 12, 1.5, .5, 2e3, 0xf
  kWord,               // names and keywords; also @var, @@VERSION, #temp
  kOpenParen,
  kCloseParen,
  kComma,
  kDot,
  kSemicolon,
  kOuterJoinMarker,  // Oracle "(+)", blanks inside allowed
  kParameter,        // "?" or a numbered "?3" (a lifted literal, see literal_lifting.h)
  kOperator,         // everything else: = <> <= != || + - * / % & | ^ ~ : ...
};

struct Token {
  TokenKind kind;
  std::string text;
};

using Tokens = std::vector<Token>;

Tokens Tokenize(std::string_view sql);
std::string Join(const Tokens& tokens);
std::string Join(const Tokens& tokens, size_t begin, size_t end);

// Not blank and not a comment: what the grammar sees.
bool IsSignificant(const Token& token);
// A word equal to `word` regardless of letter case.
bool IsWord(const Token& token, std::string_view word);
// A word or a quoted/bracketed name.
bool IsIdentifier(const Token& token);
// The name without its quotes or brackets (doubled quotes undone).
std::string IdentifierName(const Token& token);
// The value of a string literal (quotes removed, '' undone).
std::string StringValue(const Token& token);
// A string literal for the value (quotes doubled).
std::string QuoteString(std::string_view value);
// The number of a "?3" parameter; 0 for a bare "?".
size_t ParameterNumber(const Token& token);

}  // namespace sproutsmith::sql::dialect
