#pragma once
// The controls of the main window that carry the options, as a plain model. The engine reads
// and writes it; the desktop window binds its widgets to it; headless runs use it alone.
// Check boxes hold their integer value (1 = checked), text boxes their text.

#include <string>
#include <vector>

namespace sproutsmith::runtime {

struct ResultsRow {
  std::string text;        // library + " - " + rule
  std::string start_time;  // "YYYY/MM/DD-HH:MM:SS"
  std::string state;       // "Working...", "n folder(s) added", "Finished", ...
  int rows_selected = 0;
  int folders_added = 0;
  int rows_failed = 0;
  // The rule could not run to its end: a syntax or SQL error, or an unexpected error.
  bool Broken() const { return state == "Syntax Error" || state == "SQL Error" || state == "Error"; }
};

struct MenuEntry {
  std::string caption;
  bool checked = false;
};

struct Options {
  int CheckDisplayErrors = 0;
  int CheckReUseSQL = 0;
  int CheckProcessDescending = 0;
  int CheckLogMethod = 1;  // verbose log
  int CheckLoop = 0;
  int CheckLockWorkstation = 0;
  int CheckAddNewDocs = 1;
  int CheckPauseTime = 0;
  int CheckInitialize = 0;
  std::string TextLoopDelay = "0";
  std::string TextMaxFolders = "0";
  std::string TextPauseStart = "12:00";
  std::string TextPauseEnd = "12:00";
  bool MNTimeStampLogFile = false;

  // Window items the engine writes.
  std::string LabelStatus;
  std::string LabelTotal = "0", LabelRead = "0", LabelAdded = "0", LabelErrors = "0";
  std::vector<ResultsRow> ListResults;
  // The library menu: one entry per library of the session, the connected one checked.
  std::vector<MenuEntry> MNLibList;
  // The two rule sub-menus: one caption per rule of the connected library, or just "-".
  std::vector<std::string> MNRuleMenu1 = {"-"};
  std::vector<std::string> MNRuleMenu2 = {"-"};
};

}  // namespace sproutsmith::runtime
