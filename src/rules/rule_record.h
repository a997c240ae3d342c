#pragma once
// One rule of a library as the rule store holds it: every value is text, addressed by the
// key's order number. A key without a row holds "".

#include <array>
#include <string>
#include <utility>

namespace sproutsmith::rules {

// Order numbers of the rule record. 44 to 50 exist but are always empty.
enum class RuleKey : int {
  kLibrary = 1,
  kName = 2,
  kValues = 3,
  kTemplate = 4,
  kSecurity = 5,
  kForm = 6,
  kAutoCreateFolders = 7,
  kCreatePublicFolders = 8,
  kMoveInto = 9,
  kRootFolder = 10,
  kProfileInheritSecurity = 11,
  kAppendTrustees = 12,
  kWorkspaceAuthor = 13,
  kWorkspaceTypist = 14,
  kAuthorSource = 15,
  kMasterLibrary = 16,
  kAutofolderLevel = 17,
  kSproutsmithText = 18,
  kWorkspaceAge = 19,
  kWorkspaceName = 20,
  kDoctypeSource = 21,
  kWorkspaceGroup = 22,
  kEmptyFolders = 23,
  kQuicksearchAuthor = 24,
  kQuicksearchTypist = 25,
  kQuicksearchFilter = 26,
  kMasterfolderLibrary = 27,
  kRetroactive = 28,
  kQuicksearchRange = 29,
  kEmailTemplate = 30,
  kEmailLevel = 31,
  kMoveOk = 32,
  kAddPgLinks = 33,
  kAddRemoteItems = 34,
  kAddLocalItems = 35,
  kProfileForm = 36,
  kAddLastEditedBy = 37,
  kParseCharacters = 38,
  kPurpose = 39,
  kOverrideRuleParameters = 40,
  kSproutsmithSql1 = 41,
  kSproutsmithSql2 = 42,
  kSproutsmithSql3 = 43,
  kEmailName = 51,
  kEmailLibrary = 52,
};

inline constexpr int kRuleKeyCount = 52;

class RuleRecord {
 public:
  // By order number 1 to 52; any other number reads "" and ignores writes.
  const std::string& Get(int order) const;
  void Set(int order, std::string value);

  const std::string& operator[](RuleKey key) const { return Get(static_cast<int>(key)); }
  void Set(RuleKey key, std::string value) { Set(static_cast<int>(key), std::move(value)); }
  // The leading number of the value (0 when empty or not a number).
  double Number(RuleKey key) const;

  const std::string& Library() const { return (*this)[RuleKey::kLibrary]; }
  const std::string& Name() const { return (*this)[RuleKey::kName]; }

 private:
  std::array<std::string, kRuleKeyCount + 1> values_;  // [0] unused
};

}  // namespace sproutsmith::rules
