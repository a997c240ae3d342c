#include "rules/rule_record.h"

#include "text/text.h"

namespace sproutsmith::rules {

namespace {
const std::string kEmpty;
bool InRange(int order) { return order >= 1 && order <= kRuleKeyCount; }
}  // namespace

const std::string& RuleRecord::Get(int order) const {
  return InRange(order) ? values_[order] : kEmpty;
}

void RuleRecord::Set(int order, std::string value) {
  if (InRange(order)) values_[order] = std::move(value);
}

double RuleRecord::Number(RuleKey key) const { return text::Val((*this)[key]); }

}  // namespace sproutsmith::rules
