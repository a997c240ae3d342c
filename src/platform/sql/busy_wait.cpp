#include "platform/sql/busy_wait.h"

#include <algorithm>
#include <utility>

#include "platform/os/cancel_signal.h"

namespace sproutsmith::sql {

BusyWaiter::BusyWaiter(BusyWait wait) : wait_(std::move(wait)) {
  wait_.seconds = std::max(0, wait_.seconds);
  if (!wait_.stop_waiting) wait_.stop_waiting = [] { return os::CancelSignal::Requested(); };
}

void BusyWaiter::Start() { started_ = std::chrono::steady_clock::now(); }

bool BusyWaiter::TryAgain() {
  if (std::chrono::steady_clock::now() - started_ >= std::chrono::seconds(wait_.seconds)) {
    return false;
  }
  return !wait_.stop_waiting();
}

std::chrono::milliseconds BusyWaiter::NextSlice(std::chrono::milliseconds slice) const {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      started_ + std::chrono::seconds(wait_.seconds) - std::chrono::steady_clock::now());
  return std::clamp(left, std::chrono::milliseconds(1), slice);
}

}  // namespace sproutsmith::sql
