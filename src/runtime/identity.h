#pragma once
// The program's identity strings, computed once at start.

#include <string>

#include "text/datetime.h"

namespace sproutsmith::runtime {

struct Identity {
  // Application name of the per-user settings and the name used in messages.
  std::string product_name = "Arborline Sproutsmith for OpenText eDOCS";
  // Title of every message box (with the trade-mark sign).
  std::string program_title = "Arborline\u2122 Sproutsmith for OpenText eDOCS";
  std::string window_caption = "Arborline\u2122 Sproutsmith For OpenText eDocs";
  std::string version_text;  // the version read as a date, "MMM D, YYYY"
  std::string build_number;  // serial day of that date, "#0"
  std::string dm_version;    // empty on a machine without the Windows DM client
  std::string dm_patch_level;

  // Version numbers are year.month.day.
  static Identity ForVersion(int year, int month, int day);
  // "<product> Build <n> (<version text>)": the head of the banner and end lines.
  std::string BuildLine() const;
};

}  // namespace sproutsmith::runtime
