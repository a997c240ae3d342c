#pragma once
// Levels of a template text: the separators "%\%" and "%/%" end a level.

#include <string>
#include <string_view>

namespace sproutsmith::templ {

// 1 plus the separators ("%\%" and "%/%" counted apart) that have non-blank text after them.
int CountTemplateLevels(std::string_view template_text);

// The template cut after `levels` levels (no cut when `levels` is 0), without a trailing
// separator.
std::string CutTemplateLevels(std::string_view template_text, long levels);

}  // namespace sproutsmith::templ
