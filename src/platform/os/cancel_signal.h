#pragma once
// A service stop or Ctrl+C as a request to cancel. The first SIGTERM, SIGINT or SIGHUP only
// raises a flag that the program polls where it can stop cleanly; a second one ends the
// process at once (exit status 128 + the signal's number).

namespace sproutsmith::os {

class CancelSignal {
 public:
  // Installs the handlers for the whole process. Call once, from main.
  static void Install();
  // Whether a first signal has arrived. Safe to call at any time, installed or not.
  static bool Requested();
  // The number of the first signal (0 while none has arrived).
  static int Number();
};

}  // namespace sproutsmith::os
