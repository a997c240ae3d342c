#include "template/template_levels.h"

#include <algorithm>

#include "text/text.h"

namespace sproutsmith::templ {

namespace {

constexpr std::string_view kBackSeparator = "%\\%";
constexpr std::string_view kSlashSeparator = "%/%";

int CountFollowed(std::string_view text, std::string_view separator) {
  int count = 0;
  for (size_t p = text.find(separator); p != std::string_view::npos;
       p = text.find(separator, p + separator.size())) {
    if (!text::Trim(text.substr(p + separator.size())).empty()) ++count;
  }
  return count;
}

}  // namespace

int CountTemplateLevels(std::string_view template_text) {
  return 1 + CountFollowed(template_text, kBackSeparator) +
         CountFollowed(template_text, kSlashSeparator);
}

std::string CutTemplateLevels(std::string_view template_text, long levels) {
  std::string rest(template_text);
  if (levels == 0) return rest;
  std::string cut;
  long count = 0;
  while (true) {
    const size_t back = rest.find(kBackSeparator);
    const size_t slash = rest.find(kSlashSeparator);
    const size_t end = std::min(back, slash);
    if (end == std::string::npos) {
      cut += rest;
      break;
    }
    cut += rest.substr(0, end + kBackSeparator.size());
    rest.erase(0, end + kBackSeparator.size());
    if (++count == levels) break;
  }
  cut = text::RTrim(cut);
  while (text::EndsWith(cut, kBackSeparator) || text::EndsWith(cut, kSlashSeparator)) {
    cut = text::RTrim(cut.substr(0, cut.size() - kBackSeparator.size()));
  }
  return cut;
}

}  // namespace sproutsmith::templ
