#pragma once
// Names and values put into the statements' literals. A name from a template or a rule must
// never end a literal early or turn into a pattern.

#include <string>

namespace sproutsmith::templ {

// Every "'" doubled, nothing else changed.
std::string QuoteLiteral(const std::string& name);

}  // namespace sproutsmith::templ
