#include "platform/sql/dialect/tokenizer.h"

#include "text/text.h"

namespace sproutsmith::sql::dialect {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsWordStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '@' || c == '#' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordPart(char c) { return IsWordStart(c) || IsDigit(c) || c == '$'; }

// End of a quoted run starting at `pos` (the opening quote); a doubled closing quote stays
// inside. Unterminated: the end of the text.
size_t QuotedEnd(std::string_view s, size_t pos, char close) {
  size_t i = pos + 1;
  while (i < s.size()) {
    if (s[i] == close) {
      if (i + 1 < s.size() && s[i + 1] == close) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return s.size();
}

size_t BlockCommentEnd(std::string_view s, size_t pos) {
  int depth = 0;
  size_t i = pos;
  while (i + 1 < s.size()) {
    if (s[i] == '/' && s[i + 1] == '*') {
      ++depth;
      i += 2;
    } else if (s[i] == '*' && s[i + 1] == '/') {
      i += 2;
      if (--depth == 0) return i;
    } else {
      ++i;
    }
  }
  return s.size();
}

size_t NumberEnd(std::string_view s, size_t pos) {
  size_t i = pos;
  if (s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    i += 2;
    while (i < s.size() && IsHexDigit(s[i])) ++i;
    return i;
  }
  while (i < s.size() && IsDigit(s[i])) ++i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      i = j;
    }
  }
  return i;
}

// "(+)" with optional blanks inside; 0 when the text at `pos` is not one.
size_t OuterJoinMarkerEnd(std::string_view s, size_t pos) {
  size_t i = pos + 1;
  while (i < s.size() && IsSpace(s[i])) ++i;
  if (i >= s.size() || s[i] != '+') return 0;
  ++i;
  while (i < s.size() && IsSpace(s[i])) ++i;
  if (i >= s.size() || s[i] != ')') return 0;
  return i + 1;
}

size_t OperatorEnd(std::string_view s, size_t pos) {
  static constexpr std::string_view kTwoChar[] = {"<=", ">=", "<>", "!=", "!<",
                                                  "!>", "||", "==", "<<", ">>"};
  if (pos + 1 < s.size()) {
    const std::string_view two = s.substr(pos, 2);
    for (std::string_view op : kTwoChar) {
      if (two == op) return pos + 2;
    }
  }
  return pos + 1;
}

}  // namespace

Tokens Tokenize(std::string_view s) {
  Tokens tokens;
  size_t i = 0;
  auto push = [&](TokenKind kind, size_t end) {
    tokens.push_back({kind, std::string(s.substr(i, end - i))});
    i = end;
  };
  while (i < s.size()) {
    const char c = s[i];
    const char next = i + 1 < s.size() ? s[i + 1] : '\0';
    if (IsSpace(c)) {
      size_t end = i;
      while (end < s.size() && IsSpace(s[end])) ++end;
      push(TokenKind::kSpace, end);
    } else if (c == '-' && next == '-') {
      const size_t nl = s.find_first_of("\r\n", i);
      push(TokenKind::kComment, nl == std::string_view::npos ? s.size() : nl);
    } else if (c == '/' && next == '*') {
      push(TokenKind::kComment, BlockCommentEnd(s, i));
    } else if (c == '\'') {
      push(TokenKind::kString, QuotedEnd(s, i, '\''));
    } else if ((c == 'N' || c == 'n') && next == '\'') {
      push(TokenKind::kNationalString, QuotedEnd(s, i + 1, '\''));
    } else if (c == '"') {
      push(TokenKind::kQuotedIdentifier, QuotedEnd(s, i, '"'));
    } else if (c == '[') {
      push(TokenKind::kBracketIdentifier, QuotedEnd(s, i, ']'));
    } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
      push(TokenKind::kNumber, NumberEnd(s, i));
    } else if (IsWordStart(c)) {
      size_t end = i + 1;
      while (end < s.size() && IsWordPart(s[end])) ++end;
      push(TokenKind::kWord, end);
    } else if (c == '(') {
      const size_t marker = OuterJoinMarkerEnd(s, i);
      if (marker != 0) {
        push(TokenKind::kOuterJoinMarker, marker);
      } else {
        push(TokenKind::kOpenParen, i + 1);
      }
    } else if (c == ')') {
      push(TokenKind::kCloseParen, i + 1);
    } else if (c == ',') {
      push(TokenKind::kComma, i + 1);
    } else if (c == '.') {
      push(TokenKind::kDot, i + 1);
    } else if (c == ';') {
      push(TokenKind::kSemicolon, i + 1);
    } else if (c == '?') {
      size_t end = i + 1;
      while (end < s.size() && IsDigit(s[end])) ++end;
      push(TokenKind::kParameter, end);
    } else {
      push(TokenKind::kOperator, OperatorEnd(s, i));
    }
  }
  return tokens;
}

std::string Join(const Tokens& tokens) { return Join(tokens, 0, tokens.size()); }

std::string Join(const Tokens& tokens, size_t begin, size_t end) {
  std::string out;
  for (size_t i = begin; i < end && i < tokens.size(); ++i) out += tokens[i].text;
  return out;
}

bool IsSignificant(const Token& token) {
  return token.kind != TokenKind::kSpace && token.kind != TokenKind::kComment;
}

bool IsWord(const Token& token, std::string_view word) {
  return token.kind == TokenKind::kWord && text::EqualsNoCase(token.text, word);
}

bool IsIdentifier(const Token& token) {
  return token.kind == TokenKind::kWord || token.kind == TokenKind::kQuotedIdentifier ||
         token.kind == TokenKind::kBracketIdentifier;
}

std::string IdentifierName(const Token& token) {
  switch (token.kind) {
    case TokenKind::kQuotedIdentifier:
    case TokenKind::kBracketIdentifier: {
      const char close = token.kind == TokenKind::kQuotedIdentifier ? '"' : ']';
      std::string_view inner(token.text);
      inner.remove_prefix(1);
      if (!inner.empty() && inner.back() == close) inner.remove_suffix(1);
      const std::string doubled(2, close);
      return text::Replace(inner, doubled, std::string(1, close));
    }
    default:
      return token.text;
  }
}

std::string StringValue(const Token& token) {
  std::string_view inner(token.text);
  if (token.kind == TokenKind::kNationalString) inner.remove_prefix(1);
  if (!inner.empty() && inner.front() == '\'') inner.remove_prefix(1);
  if (!inner.empty() && inner.back() == '\'') inner.remove_suffix(1);
  return text::Replace(inner, "''", "'");
}

std::string QuoteString(std::string_view value) {
  return "'" + text::Replace(value, "'", "''") + "'";
}

size_t ParameterNumber(const Token& token) {
  size_t n = 0;
  for (size_t i = 1; i < token.text.size(); ++i) n = n * 10 + static_cast<size_t>(token.text[i] - '0');
  return n;
}

}  // namespace sproutsmith::sql::dialect
