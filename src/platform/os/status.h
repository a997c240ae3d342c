#pragma once
// The platform layer's one way of reporting failure: a code (0 is success) and a text for
// the log. Nothing below the engine throws; a failing call hands one of these back. Only
// calls that make something (open a database, a file, a document; hand out a key) answer
// null or 0 instead, with the reason in an `error` text beside it.

#include <string>
#include <utility>

namespace sproutsmith {

struct Status {
  long code = 0;
  std::string text;

  bool ok() const { return code == 0; }
  static Status Ok() { return {}; }
  static Status Error(long code, std::string text) { return {code, std::move(text)}; }
  // A failure that has no code of its own (bad input, a missing row): code 1.
  static Status Error(std::string text) { return {1, std::move(text)}; }
};

}  // namespace sproutsmith
