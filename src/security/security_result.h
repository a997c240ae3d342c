#pragma once
// What a security operation did to an item, so that its caller can tell a normal "nothing
// to do" from a failure that must be retried.

namespace sproutsmith::security {

enum class SecurityResult {
  // The trustee rows were written and the profile is secured.
  kApplied,
  // Nothing was there to give the item (no trustee named, a parent without trustee rows, a
  // document the rule does not secure): no trustee row was written and the profile's
  // DEFAULT_RIGHTS is what it was. Not a failure.
  kNothingToApply,
  // The call was refused or a statement failed; an "Error: " line says which. Once writing
  // started the profile stays secured with the trustees written so far (fewer, never more,
  // than the finished set), so applying again completes it.
  kFailed,
};

}  // namespace sproutsmith::security
