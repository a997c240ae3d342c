#include "template/table_list.h"

#include "text/text.h"

namespace sproutsmith::templ {

using text::StartsWithNoCase;
using text::Trim;
using text::UCase;

std::string OwnerForm(std::string_view name, std::string_view owner) {
  const std::string n(name);
  const std::string owner_dot = std::string(owner) + ".";
  if (!owner.empty() && StartsWithNoCase(n, owner_dot)) {
    return kOwnerPrefix + Trim(n.substr(owner_dot.size()));
  }
  if (StartsWithNoCase(n, kOwnerPrefix)) return n;
  return kOwnerPrefix + n;
}

std::string BareTableName(std::string_view name) {
  std::string n = Trim(name);
  if (StartsWithNoCase(n, kOwnerPrefix)) n = Trim(n.substr(std::string_view(kOwnerPrefix).size()));
  return UCase(n);
}

bool TableList::Add(std::string_view name, std::string_view log_prefix, log::Log* log) {
  const std::string upper = UCase(name);
  const std::string list = UCase(text_);
  if (upper.empty()) return false;
  if (list.find(upper + ",") != std::string::npos || text::EndsWith(list, upper)) return false;
  if (log) {
    log->AddLogAndSeparator(std::string(log_prefix) + std::string(name));
  }
  text_ = text_.empty() ? upper : list + ", " + upper;
  last_added_ = std::string(name);
  return true;
}

void TableList::Append(std::string_view name) {
  text_ += (text_.empty() ? "" : ", ") + std::string(name);
}

bool TableList::Contains(std::string_view fragment) const {
  return text_.find(fragment) != std::string::npos;
}

std::vector<std::string> TableList::Entries() const {
  std::vector<std::string> out;
  if (text_.empty()) return out;
  for (const std::string& part : text::Split(text_, ",")) {
    const std::string t = Trim(part);
    if (!t.empty()) out.push_back(t);
  }
  return out;
}

}  // namespace sproutsmith::templ
