#pragma once
// How a client opens its libraries when a test fails chosen database calls: each library's
// database is wrapped in a FaultInjectingDatabase as the client opens it, and `wrapped` gets
// the wrapper to arm it or to keep a pointer to it (the client owns it).

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/dmapi/installation.h"
#include "platform/sql/fault_injecting_database.h"

namespace sproutsmith::testing {

using FaultHook = std::function<void(const std::string& library, sql::FaultInjectingDatabase&)>;

// `only` (when not "") is the one library wrapped; the others open as usual. `open` opens the
// database before it is wrapped.
inline dmapi::DatabaseOpener FaultInjectingOpener(FaultHook wrapped, std::string only = "",
                                                  dmapi::DatabaseOpener open = {}) {
  return [wrapped = std::move(wrapped), only = std::move(only), open = std::move(open)](
             const dmapi::LibraryConfig& library,
             std::string* error) -> std::unique_ptr<sql::Database> {
    std::unique_ptr<sql::Database> db =
        open ? open(library, error) : dmapi::OpenLibraryDatabase(library, error);
    if (!db || (!only.empty() && library.name != only)) return db;
    auto fault = std::make_unique<sql::FaultInjectingDatabase>(std::move(db));
    wrapped(library.name, *fault);
    return fault;
  };
}

}  // namespace sproutsmith::testing
