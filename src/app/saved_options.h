#pragma once
// Reading the per-user options into the window's controls and saving them back at program
// end. Values are strings: booleans are written "-1"/"0" (check boxes write their value,
// "1"/"0") and read back as numbers, any non-zero number meaning checked.

#include <optional>
#include <string>
#include <vector>

#include "app/main_window_model.h"
#include "platform/os/settings_store.h"
#include "runtime/options.h"

namespace sproutsmith::app {

inline constexpr const char* kGeneral = "General";
inline constexpr const char* kPauseTimer = "PauseTimer";
inline constexpr const char* kLibraries = "Libraries";
inline constexpr const char* kRules = "Rules";
// Why a library was unchecked by a failure, with when: reported while it stays unchecked.
inline constexpr const char* kUncheckedReasons = "UncheckedLibraries";
// The application name of the two component-registration marks.
inline constexpr const char* kQuilApplication = "QUIL";

// The seven nodes of the pause-day list, in order.
const std::vector<std::string>& PauseDayNames();

// A saved boolean as a check box value: 1 for any non-zero number, else 0.
int CheckValue(const std::string& saved);
// A saved number as its text box shows it: the absolute value, "#0".
std::string AbsoluteNumberText(const std::string& saved);
// A tree mark as saved: "-1" or "0".
std::string MarkText(bool checked);
// The Rules key of a rule node: LIBRARY:RULE in capitals.
std::string RuleKey(const std::string& library, const std::string& rule);

// The saved window coordinate ("Screen.Left" / "Screen.Top"); nothing when absent.
std::optional<long> ReadWindowCoordinate(const os::SettingsStore& store,
                                         const std::string& application, const std::string& key);
// Every General option of the window's controls (the log file and window position are read
// on their own).
void ReadGeneralOptions(const os::SettingsStore& store, const std::string& application,
                        runtime::Options& options);
// The TVPause nodes with their saved marks (checked when absent).
std::vector<CheckNode> ReadPauseDays(const os::SettingsStore& store,
                                     const std::string& application);
// A TVRules library node with its saved mark (checked when absent) and the placeholder child.
LibraryNode ReadLibraryNode(const os::SettingsStore& store, const std::string& application,
                            const std::string& library);

// Saves the options, the pause days and the tree marks in the order program end writes
// them, with one rewrite of the file. False when some or all could not be written.
bool SaveProgramEndSettings(os::SettingsStore& store, const std::string& application,
                            const runtime::Options& options, const std::string& log_file,
                            const MainWindowModel& window);

}  // namespace sproutsmith::app
