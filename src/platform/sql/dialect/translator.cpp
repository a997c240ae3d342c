#include "platform/sql/dialect/translator.h"

namespace sproutsmith::sql {

// Placeholder until the tokenizer-based rewrites land.
std::string Translate(std::string_view sql, const TranslateOptions&) { return std::string(sql); }

}  // namespace sproutsmith::sql
