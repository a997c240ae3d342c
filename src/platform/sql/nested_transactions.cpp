#include "platform/sql/nested_transactions.h"

#include <utility>

namespace sproutsmith::sql {
namespace {

std::string SavepointName(int depth) { return "sproutsmith_" + std::to_string(depth); }

}  // namespace

bool NestedTransactions::Begin() {
  const bool nested = held_open_ || depth_ > 0;
  if (!Control(nested ? "SAVEPOINT " + SavepointName(depth_ + 1) : begin_)) return false;
  ++depth_;
  return true;
}

bool NestedTransactions::Commit() {
  if (depth_ == 0) return Control("COMMIT");
  const bool nested = held_open_ || depth_ > 1;
  if (!Control(nested ? "RELEASE " + SavepointName(depth_) : "COMMIT")) return false;
  --depth_;
  return true;
}

void NestedTransactions::Rollback() {
  if (depth_ == 0) {
    Control("ROLLBACK");
    return;
  }
  if (held_open_ || depth_ > 1) {
    // Also what mends a transaction that a failed statement inside the savepoint broke.
    Control("ROLLBACK TO " + SavepointName(depth_));
    Control("RELEASE " + SavepointName(depth_));
  } else {
    Control("ROLLBACK");
  }
  // A failed control statement may have ended everything (see Lost).
  if (depth_ > 0) --depth_;
}

void NestedTransactions::HoldCommits(bool on) {
  if (!on && held_open_) EndHeld(true);
  held_ = on;
  if (!on) held_lost_ = false;
}

bool NestedTransactions::EndHeld(bool commit) {
  if (std::exchange(held_lost_, false)) return false;
  if (!held_open_) return commit;
  // An operation still open would be cut in half: everything held goes.
  const bool whole = depth_ == 0;
  const bool committed = commit && whole && Control("COMMIT");
  if (!committed) Control("ROLLBACK");
  held_open_ = false;
  depth_ = 0;
  return committed;
}

void NestedTransactions::Lost() {
  held_lost_ = held_lost_ || held_open_;
  held_open_ = false;
  depth_ = 0;
}

}  // namespace sproutsmith::sql
