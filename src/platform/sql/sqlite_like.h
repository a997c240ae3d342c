#pragma once
// SQL Server's LIKE, which the engine's patterns are written for: % and _, character
// classes [abc], [a-z] and [^a] (so "[[]" matches a literal "["), an optional escape
// character, and letters compared without regard to ASCII case. Text is UTF-8; "_" and a
// class match one character, not one byte.

#include <optional>
#include <string_view>

namespace sproutsmith::sql {

// True when `value` matches `pattern`. An unclosed "[" is an ordinary character.
bool MicrosoftLike(std::string_view pattern, std::string_view value,
                   std::optional<char32_t> escape = std::nullopt);

}  // namespace sproutsmith::sql
