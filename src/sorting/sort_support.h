#pragma once
// Pieces both sorting entry points share.

#include <string>

#include "dm/connection.h"
#include "log/context.h"

namespace sproutsmith::sorting {

// Shows a progress text in the status label without logging it or yielding.
void ShowStatus(Context& context, const std::string& text);

// Puts the status label's text back however the sorting ends.
class StatusKeeper {
 public:
  explicit StatusKeeper(Context& context);
  ~StatusKeeper();
  StatusKeeper(const StatusKeeper&) = delete;
  StatusKeeper& operator=(const StatusKeeper&) = delete;

 private:
  Context& context_;
  std::string text_;
};

// CheckFusion for `caller`, then the connected library object; logs its absence.
bool LibraryObjectSet(Context& context, dm::Connection& connection, const char* caller);

}  // namespace sproutsmith::sorting
