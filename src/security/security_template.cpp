#include "security/security_template.h"

#include <algorithm>
#include <cmath>

#include "text/text.h"

namespace sproutsmith::security {

using text::Trim;
using text::UCase;

namespace {

// ACCESSRIGHTS for a trustee named with rights 0.
constexpr char kZeroRights[] = "16711680";

std::optional<TrusteeSource> TokenSource(const std::string& token) {
  if (token == "AUTHOR" || token == "AUTHOR.USER_ID") return TrusteeSource::kAuthor;
  if (token == "TYPIST" || token == "TYPIST.USER_ID") return TrusteeSource::kTypist;
  if (token == "AUTHOR.PRIMARY_GROUP" || token == "AUTHOR.PRIMARY_GROUP.GROUP_ID") {
    return TrusteeSource::kAuthorGroup;
  }
  if (token == "TYPIST.PRIMARY_GROUP" || token == "TYPIST.PRIMARY_GROUP.GROUP_ID") {
    return TrusteeSource::kTypistGroup;
  }
  return std::nullopt;
}

std::optional<TemplateEntry> ParseTrustee(const std::string& trustee) {
  if (trustee.starts_with('%') || trustee.ends_with('%')) {
    const size_t first = trustee.find_first_not_of('%');
    if (first == std::string::npos) return std::nullopt;
    const size_t last = trustee.find_last_not_of('%');
    const auto source = TokenSource(UCase(Trim(trustee.substr(first, last - first + 1))));
    if (!source) return std::nullopt;
    return TemplateEntry{*source, "", 0};
  }
  const size_t colon = trustee.find(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  const std::string prefix = UCase(Trim(trustee.substr(0, colon)));
  const std::string name = UCase(Trim(trustee.substr(colon + 1)));
  if (name.empty()) return std::nullopt;
  if (prefix.starts_with("GROUP")) return TemplateEntry{TrusteeSource::kGroup, name, 0};
  if (prefix.starts_with("USER") || prefix == "PEOPLE" || prefix == "PERSON") {
    return TemplateEntry{TrusteeSource::kUser, name, 0};
  }
  return std::nullopt;
}

}  // namespace

std::vector<TemplateEntry> ParseSecurityTemplate(std::string_view text) {
  std::string separated(text);
  std::replace(separated.begin(), separated.end(), ',', ';');
  std::vector<TemplateEntry> entries;
  for (const std::string& piece : text::Split(separated, ";")) {
    const std::string entry = Trim(piece);
    const size_t equals = entry.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    std::optional<TemplateEntry> parsed = ParseTrustee(Trim(entry.substr(0, equals)));
    if (!parsed) continue;
    parsed->rights = std::round(text::Val(entry.substr(equals + 1)));
    entries.push_back(std::move(*parsed));
  }
  return entries;
}

std::optional<Trustee> Resolve(const TemplateEntry& entry, const ProfilePeople& people) {
  auto user = [&](const std::string& id) -> std::optional<Trustee> {
    if (id.empty()) return std::nullopt;
    return Trustee{id, "", entry.rights, false};
  };
  auto group = [&](const std::string& id) -> std::optional<Trustee> {
    if (id.empty()) return std::nullopt;
    return Trustee{"", id, entry.rights, false};
  };
  switch (entry.source) {
    case TrusteeSource::kGroup:
      return group(entry.name);
    case TrusteeSource::kUser:
      return user(entry.name);
    case TrusteeSource::kAuthor:
      return user(people.author);
    case TrusteeSource::kTypist:
      return user(people.typist);
    case TrusteeSource::kAuthorGroup:
      return group(people.author_group);
    case TrusteeSource::kTypistGroup:
      return group(people.typist_group);
  }
  return std::nullopt;
}

std::string WrittenRights(double rights) {
  const std::string written = text::Format(rights, "#0");
  return written == "0" || written == "-0" ? kZeroRights : written;
}

Trustee* TrusteeList::Find(const std::string& user_id, const std::string& group_id) {
  for (Trustee& t : entries_) {
    if ((!user_id.empty() && t.user_id == user_id) ||
        (!group_id.empty() && t.group_id == group_id)) {
      return &t;
    }
  }
  return nullptr;
}

bool TrusteeList::Add(const Trustee& trustee) {
  if (Trustee* listed = Find(trustee.user_id, trustee.group_id)) {
    listed->rights = std::max(listed->rights, trustee.rights);
    return false;
  }
  entries_.push_back(trustee);
  return true;
}

void TrusteeList::MarkPresent(const std::string& user_id, const std::string& group_id) {
  if (Trustee* listed = Find(user_id, group_id)) listed->present = true;
}

bool TrusteeList::NamesUser(const std::string& user_id) const {
  return !user_id.empty() && std::any_of(entries_.begin(), entries_.end(),
                                         [&](const Trustee& t) { return t.user_id == user_id; });
}

bool TrusteeList::NamesGroup(const std::string& group_id) const {
  return !group_id.empty() && std::any_of(entries_.begin(), entries_.end(),
                                          [&](const Trustee& t) { return t.group_id == group_id; });
}

bool TrusteeList::AnyPositiveRights() const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [](const Trustee& t) { return t.rights > 0; });
}

}  // namespace sproutsmith::security
