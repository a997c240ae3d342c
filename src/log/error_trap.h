#pragma once
// The error trap every procedure uses: an unexpected error (UnexpectedError or any std::exception)
// is logged as a separator, "<Procedure>:" and the error report, and the procedure returns
// its failure value. SQL failures are values and never reach here.

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "log/log.h"
#include "log/unexpected_error.h"

namespace sproutsmith::log {

// Numbers for errors that did not come from the DM layer.
inline constexpr long kOutOfMemory = 7;
inline constexpr long kInternalError = 51;

void ReportTrapped(Log& log, std::string_view procedure, long number, std::string_view source,
                   std::string_view description);

// What a trap caught, for a caller that has more to say about the failure than the log.
struct TrappedError {
  long number = 0;
  std::string source;
  std::string description;
};

namespace detail {
void Report(Log& log, std::string_view procedure, long number, std::string_view source,
            std::string_view description, TrappedError* trapped);
}  // namespace detail

// Runs body(); on an unexpected error reports it under `procedure` and returns `failure`.
// `trapped`, when given, receives what was caught (left alone when nothing was).
template <typename Body, typename Result = std::invoke_result_t<Body>>
Result Trap(Log& log, std::string_view procedure, Result failure, Body&& body,
            TrappedError* trapped = nullptr) {
  try {
    return std::forward<Body>(body)();
  } catch (const UnexpectedError& e) {
    detail::Report(log, procedure, e.number(), e.source(), e.what(), trapped);
  } catch (const std::bad_alloc&) {
    detail::Report(log, procedure, kOutOfMemory, "Sproutsmith", "Out of memory", trapped);
  } catch (const std::exception& e) {
    detail::Report(log, procedure, kInternalError, "Sproutsmith", e.what(), trapped);
  }
  return failure;
}

// For procedures without a result.
template <typename Body>
void TrapVoid(Log& log, std::string_view procedure, Body&& body, TrappedError* trapped = nullptr) {
  Trap(
      log, procedure, 0,
      [&] {
        std::forward<Body>(body)();
        return 0;
      },
      trapped);
}

}  // namespace sproutsmith::log
