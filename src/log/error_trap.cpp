#include "log/error_trap.h"

namespace sproutsmith::log {

void ReportTrapped(Log& log, std::string_view procedure, long number, std::string_view source,
                   std::string_view description) {
  log.Separator();
  log.AddLog(std::string(procedure) + ":");
  log.ReportError(number, source, description);
}

namespace detail {

void Report(Log& log, std::string_view procedure, long number, std::string_view source,
            std::string_view description, TrappedError* trapped) {
  if (trapped) *trapped = {number, std::string(source), std::string(description)};
  ReportTrapped(log, procedure, number, source, description);
}

}  // namespace detail

}  // namespace sproutsmith::log
