#include "platform/sql/dialect/rewrites.h"
#include "platform/sql/dialect/standin_functions.h"

namespace sproutsmith::sql::dialect {

bool RewriteClockWord(const Tokens& tokens, Editor& editor, size_t i, size_t open) {
  const Token& t = tokens[i];
  if (open == kNone) {
    const size_t next = NextSignificant(tokens, i);
    const bool qualifier = next < tokens.size() && tokens[next].kind == TokenKind::kDot;
    if (IsWord(t, "SYSDATE") && !qualifier) {
      editor.Replace(i, i + 1, std::string(kUtcNowFunction) + "()");
    }
    return true;
  }
  const size_t after_open = NextSignificant(tokens, open);
  const bool no_arguments =
      after_open < tokens.size() && tokens[after_open].kind == TokenKind::kCloseParen;
  if (!no_arguments) return false;
  if (IsWord(t, "GETDATE")) {
    editor.Replace(i, after_open + 1, std::string(kLocalNowFunction) + "()");
    return true;
  }
  if (IsWord(t, "GETUTCDATE")) {
    editor.Replace(i, after_open + 1, std::string(kUtcNowFunction) + "()");
    return true;
  }
  return false;
}

}  // namespace sproutsmith::sql::dialect
