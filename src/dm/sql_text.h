#pragma once
// Small text routines that prepare values for SQL texts.

#include <string>
#include <string_view>

namespace sproutsmith::dm {

// For use inside a quoted literal: trimmed, every "'" doubled, CR and LF made blanks,
// trimmed again.
std::string SqlQuote(std::string_view text);
// For use inside a quoted literal when the text must come back exactly: only "'" doubled.
std::string SqlLiteral(std::string_view text);
// "[" becomes "[[]" so a bracket matches itself in a Microsoft LIKE pattern.
std::string LikeEscape(std::string_view text);
// A literal inside a Microsoft LIKE pattern: "[", "_" and "%" match only themselves.
std::string LikeLiteral(std::string_view value);
// For an exact, case-blind comparison "UPPER(COLUMN) = '...'": SqlQuote, upper-cased. Rule
// names are matched so, never with LIKE, whose wildcards and escapes differ by server.
std::string UpperLiteral(std::string_view text);
// The stored space marker "<SPC>" back to blanks (a marker right after a blank is dropped).
std::string ExpandSpaces(std::string_view text);
// Removes every "%"; a leading "APPS." becomes "APPS".
std::string StripPercent(std::string_view text);
// A driver message without its leading bracketed prefixes ("[x][y] text" -> "text"); a "]"
// that comes after the first "'" is part of the message and stays.
std::string StripDriverPrefixes(std::string_view message);

}  // namespace sproutsmith::dm
