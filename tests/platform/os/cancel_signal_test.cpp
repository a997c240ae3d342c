// The signal seam, in a child process of its own (the handlers are process-wide): a first
// signal only raises the flag, a second one ends the process at once.

#include "platform/os/cancel_signal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sproutsmith::os {
namespace {

// Runs `body` in a child; its exit status (-1 when it did not exit normally).
template <typename Body>
int InChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) _exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CancelSignalTest, TheFirstSignalIsAFlagTheSecondEndsAtOnce) {
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(number);
    const int status = InChild([number] {
      if (CancelSignal::Requested()) return 10;
      CancelSignal::Install();
      if (CancelSignal::Requested()) return 11;
      ::raise(number);
      if (!CancelSignal::Requested() || CancelSignal::Number() != number) return 12;
      ::raise(SIGTERM);
      return 13;  // not reached: the second signal ends the process
    });
    EXPECT_EQ(status, 128 + SIGTERM);
  }
}

}  // namespace
}  // namespace sproutsmith::os
