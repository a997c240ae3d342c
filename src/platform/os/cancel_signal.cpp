#include "platform/os/cancel_signal.h"

#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace sproutsmith::os {
namespace {

// Touched only by the handler and read by Requested: nothing else is async-signal-safe.
volatile sig_atomic_t first_signal = 0;

extern "C" void OnSignal(int number) {
  if (first_signal != 0) _exit(128 + number);
  first_signal = number;
}

}  // namespace

void CancelSignal::Install() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Restarted calls: a signal must not turn a database write into a spurious error.
  action.sa_flags = SA_RESTART;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

bool CancelSignal::Requested() { return first_signal != 0; }

int CancelSignal::Number() { return first_signal; }

}  // namespace sproutsmith::os
