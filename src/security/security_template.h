#pragma once
// The security template language: "trustee = rights" entries separated by ";" or ",", where
// a trustee is "GROUP:name", "USER:name" (also "PEOPLE:" and "PERSON:") or one of the
// profile's own people between "%" signs, e.g. "%AUTHOR.PRIMARY_GROUP% = 127; GROUP:X = 63".
// Pure text work: resolving needs only the profile's four names.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sproutsmith::security {

// ACCESSRIGHTS of the item's author and typist, and of everyone on an item opened to all.
inline constexpr int kFullRights = 191;

enum class TrusteeSource { kGroup, kUser, kAuthor, kTypist, kAuthorGroup, kTypistGroup };

struct TemplateEntry {
  TrusteeSource source = TrusteeSource::kGroup;
  std::string name;   // the upper-cased user or group id of kUser and kGroup entries
  double rights = 0;  // a whole number, as the template gives it
  bool operator==(const TemplateEntry&) const = default;
};

// The accepted entries in template order; anything unrecognised is skipped.
std::vector<TemplateEntry> ParseSecurityTemplate(std::string_view text);

// The item's people as the profile names them (trimmed; empty when unknown).
struct ProfilePeople {
  std::string author;
  std::string typist;
  std::string author_group;
  std::string typist_group;
};

struct Trustee {
  std::string user_id;   // empty for a group
  std::string group_id;  // empty for a user
  double rights = 0;
  bool present = false;  // the item already has a row for it (append mode)
  bool operator==(const Trustee&) const = default;
};

// The user or group the entry names on this profile; none when that person or group is
// unknown (a profile without author has no author's group either).
std::optional<Trustee> Resolve(const TemplateEntry& entry, const ProfilePeople& people);

// The rights as written to ACCESSRIGHTS: "#0", and 0 as 16711680.
std::string WrittenRights(double rights);

// Trustees in the order first named; each user or group once.
class TrusteeList {
 public:
  // Appends the trustee, or gives the one already listed the larger of the two rights.
  // True when appended.
  bool Add(const Trustee& trustee);
  // Marks the first trustee with this user id (when not empty) or group id (when not
  // empty) as already present on the item.
  void MarkPresent(const std::string& user_id, const std::string& group_id);
  bool NamesUser(const std::string& user_id) const;
  bool NamesGroup(const std::string& group_id) const;
  bool AnyPositiveRights() const;

  const std::vector<Trustee>& entries() const { return entries_; }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

 private:
  Trustee* Find(const std::string& user_id, const std::string& group_id);

  std::vector<Trustee> entries_;
};

}  // namespace sproutsmith::security
