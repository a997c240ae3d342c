#pragma once
// Every operation that works in another library puts the connected library back before it
// returns, however it returns; callers rely on that.

#include <string>
#include <utility>

#include "dm/connection.h"

namespace sproutsmith::dm {

// Remembers a library (by default the connected one) and connects it again on destruction.
class Reconnect {
 public:
  explicit Reconnect(Connection& connection)
      : connection_(connection), library_(connection.LibraryName()) {}
  Reconnect(Connection& connection, std::string library)
      : connection_(connection), library_(std::move(library)) {}
  ~Reconnect() {
    if (!library_.empty()) connection_.ConnectLibrary(library_);
  }
  Reconnect(const Reconnect&) = delete;
  Reconnect& operator=(const Reconnect&) = delete;

  const std::string& library() const { return library_; }

 private:
  Connection& connection_;
  std::string library_;
};

}  // namespace sproutsmith::dm
