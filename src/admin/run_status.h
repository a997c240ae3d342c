#pragma once
// sproutsmith-admin status: what the last runs did, read from their reports, and whether a
// run is under way on this computer now. Needs no DM session: it answers while the
// installation is down, which is when it is asked.

#include <iosfwd>
#include <string>

namespace sproutsmith::admin {

// `log_file` is the LogFile setting as the program resolves it (the reports lie beside its
// dated files); `config_path` the DM installation whose run lock tells whether a run is
// under way on `computer`. Always 0: a status is an answer, not a check.
int ShowStatus(const std::string& log_file, const std::string& config_path,
               const std::string& computer, std::ostream& out);

}  // namespace sproutsmith::admin
