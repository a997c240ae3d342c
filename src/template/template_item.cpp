#include "template/template_item.h"

#include "text/text.h"

namespace sproutsmith::templ {

const ExternalLink* ParsedTemplate::LinkOfItem(int number) const {
  const std::string wanted = text::Number(number);
  for (const ExternalLink& link : links) {
    if (link.ItemNumber == wanted) return &link;
  }
  return nullptr;
}

}  // namespace sproutsmith::templ
