#pragma once
// How long a statement waits for a library another program holds a write lock on. Each
// library sets its own limit (the busy_wait key of the DM configuration); a stop request
// ends the wait at once, so a service stop acts within a second even then. A statement
// that gives up fails with kBusyCode (database.h).

#include <chrono>
#include <functional>

namespace sproutsmith::sql {

struct BusyWait {
  int seconds = 5;  // 0: fail at once
  // Asked between slices of the wait; true gives up. Empty: os::CancelSignal::Requested.
  std::function<bool()> stop_waiting;
};

// One wait, from the first refusal of a statement to its last retry.
class BusyWaiter {
 public:
  explicit BusyWaiter(BusyWait wait);

  int seconds() const { return wait_.seconds; }
  // The statement was refused for the first time: the limit counts from now.
  void Start();
  // Whether to try again: false once the limit has passed (without asking) or when a stop
  // is asked for.
  bool TryAgain();
  // What is left of the limit, at most `slice`.
  std::chrono::milliseconds NextSlice(std::chrono::milliseconds slice) const;

 private:
  BusyWait wait_;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace sproutsmith::sql
