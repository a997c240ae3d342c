#pragma once
// The error trap every procedure uses: an unexpected error (DmError or any std::exception)
// is logged as a separator, "<Procedure>:" and the error report, and the procedure returns
// its failure value. SQL failures are values and never reach here.

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "log/log.h"
#include "platform/os/error.h"

namespace sproutsmith::log {

// Numbers for errors that did not come from the DM layer.
inline constexpr long kOutOfMemory = 7;
inline constexpr long kInternalError = 51;

void ReportTrapped(Log& log, std::string_view procedure, long number, std::string_view source,
                   std::string_view description);

// Runs body(); on an unexpected error reports it under `procedure` and returns `failure`.
template <typename Body, typename Result = std::invoke_result_t<Body>>
Result Trap(Log& log, std::string_view procedure, Result failure, Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (const DmError& e) {
    ReportTrapped(log, procedure, e.number(), e.source(), e.what());
  } catch (const std::bad_alloc& e) {
    ReportTrapped(log, procedure, kOutOfMemory, "Sproutsmith", "Out of memory");
  } catch (const std::exception& e) {
    ReportTrapped(log, procedure, kInternalError, "Sproutsmith", e.what());
  }
  return failure;
}

// For procedures without a result.
template <typename Body>
void TrapVoid(Log& log, std::string_view procedure, Body&& body) {
  Trap(log, procedure, 0, [&] {
    std::forward<Body>(body)();
    return 0;
  });
}

}  // namespace sproutsmith::log
