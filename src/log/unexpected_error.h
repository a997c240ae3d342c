#pragma once
// The one exception type of the system: an unexpected error (a broken invariant, a DM-layer
// fault). SQL failures are values, never this. Every engine procedure catches it in its
// error trap and reports number, source and description.

#include <stdexcept>
#include <string>

namespace sproutsmith {

class UnexpectedError : public std::runtime_error {
 public:
  UnexpectedError(long number, std::string source, const std::string& description)
      : std::runtime_error(description), number_(number), source_(std::move(source)) {}
  long number() const { return number_; }
  const std::string& source() const { return source_; }
  std::string description() const { return what(); }

 private:
  long number_;
  std::string source_;
};

}  // namespace sproutsmith
