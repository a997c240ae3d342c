#pragma once
// The session of the folder, security, sorting and workspace tests: an EngineSession with the
// reads of library rows and of the log that their checks share, each returning a value so
// that a check is one line. `home_` is the library they read when none is named.

#include <string>
#include <vector>

#include "support/engine_session.h"

namespace sproutsmith::testing {

class LibrarySession : public EngineSession {
 protected:
  static std::string N(long long n) { return std::to_string(n); }
  std::string Profile(long long doc, const std::string& column, const std::string& library = "") {
    return Scalar(Home(library), "SELECT " + column + " FROM PROFILE WHERE DOCNUMBER = " + N(doc));
  }
  // The first generated document of the library that is not a folder.
  long long Document(const std::string& library = "") {
    return std::stoll(Scalar(Home(library),
                             "SELECT MIN(DOCNUMBER) FROM PROFILE WHERE APPLICATION <> (SELECT "
                             "SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER')"));
  }
  // Times the DM client was asked to refresh its views in the library.
  int Refreshes(const std::string& library = "") {
    return std::stoi(Scalar(Home(library),
                            "SELECT COUNT(*) FROM STANDIN_EVENTS WHERE EVENT_NAME = "
                            "'DOCSOPEN.RefreshAllViews'"));
  }
  // Whether each line of `expected` was logged exactly once; if not, which were not, and the log.
  ::testing::AssertionResult Once(const std::vector<std::string>& expected) const {
    std::string missing;
    for (const std::string& line : expected) {
      if (Count(line) != 1) missing += line + " (" + std::to_string(Count(line)) + " times)\n";
    }
    if (missing.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << missing << "in:\n" << Dump();
  }

  std::string home_ = "LIB";

 private:
  const std::string& Home(const std::string& library) const {
    return library.empty() ? home_ : library;
  }
};

}  // namespace sproutsmith::testing
