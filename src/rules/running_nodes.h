#pragma once
// Running-node rows: the QUIL_SETTINGS rows by which computers sharing a library keep off
// each other's rules. Advisory only: nothing locks, and Oracle libraries get no rows at all;
// a check after the registration keeps two computers that tested at once off the rule.

#include <string>
#include <string_view>

#include "dm/connection.h"
#include "log/context.h"

namespace sproutsmith::rules {

// ActiveStatus modes.
inline constexpr int kCleanUpOnly = -1;
inline constexpr int kTestRule = 0;
inline constexpr int kRegisterRule = 1;

class RunningNodes {
 public:
  // `computer_name` is this computer's name (cut at its first NUL, at most 255 characters).
  // When it is empty, the logged-on user's id of the connected library takes its place at
  // the first call and keeps it for the rest of the run.
  RunningNodes(Context& context, dm::Connection& connection, std::string_view computer_name);

  // Works on the connected library. Every call first deletes this computer's rows and every
  // broken row. Mode 0 returns true when another computer's row names `rule`; mode 1
  // registers this computer for `rule`; mode -1 (or an empty rule) only cleans up. Only mode
  // 0 can return true.
  bool ActiveStatus(int mode, std::string_view rule);

  // After registering for `rule`: true when no other computer's row names it. Two computers
  // that tested the free rule at the same moment have both registered; each then sees the
  // other's row, removes its own and answers false, so the rule is never built twice at
  // once (it waits for the next cycle). Does not clean up first, unlike ActiveStatus.
  bool ConfirmRegistration(std::string_view rule);

  // Menu command: after the operator confirms, deletes every running-node row of every
  // library of the session and reconnects the library that was connected.
  void MNClearRunningNodes();

  const std::string& ComputerName() const { return computer_name_; }

 private:
  bool ActiveStatusBody(int mode, const std::string& rule);
  bool AnotherComputerWorksOn(const std::string& rule);
  void ClearAllLibraries();
  void ShowStatus(const std::string& text);

  Context& context_;
  dm::Connection& connection_;
  std::string computer_name_;
};

}  // namespace sproutsmith::rules
