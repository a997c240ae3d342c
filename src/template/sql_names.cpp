#include "template/sql_names.h"

#include "text/text.h"

namespace sproutsmith::templ {

std::string QuoteLiteral(const std::string& name) { return text::Replace(name, "'", "''"); }

}  // namespace sproutsmith::templ
