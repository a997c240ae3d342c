#include "app/saved_options.h"

#include <cmath>

#include "text/text.h"

namespace sproutsmith::app {
namespace {

using text::Format;
using text::Number;
using text::Val;

std::string CheckText(int check) { return Number(check); }

// A text box's number as saved: its numeric value, "#0".
std::string NumberText(const std::string& text_box) { return Format(Val(text_box), "#0"); }

// A time text box as saved: "HH:MM" when it reads as a time, else the text as it stands.
std::string TimeText(const std::string& text_box) {
  text::DateTime time;
  return text::ParseDateTime(text_box, time) ? Format(time, "HH:MM") : text_box;
}

}  // namespace

const std::vector<std::string>& PauseDayNames() {
  static const std::vector<std::string> kDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                 "Thursday", "Friday", "Saturday"};
  return kDays;
}

int CheckValue(const std::string& saved) { return Val(saved) != 0 ? 1 : 0; }

std::string AbsoluteNumberText(const std::string& saved) { return Format(std::fabs(Val(saved)), "#0"); }

std::string MarkText(bool checked) { return checked ? "-1" : "0"; }

std::string RuleKey(const std::string& library, const std::string& rule) {
  return text::Trim(text::UCase(library) + ":" + text::Trim(text::UCase(rule)));
}

std::optional<long> ReadWindowCoordinate(const os::SettingsStore& store,
                                         const std::string& application, const std::string& key) {
  const std::string saved = store.Get(application, kGeneral, key);
  if (saved.empty()) return std::nullopt;
  return static_cast<long>(std::lround(Val(saved)));
}

void ReadGeneralOptions(const os::SettingsStore& store, const std::string& application,
                        runtime::Options& o) {
  auto get = [&](const char* key, const char* fallback) {
    return store.Get(application, kGeneral, key, fallback);
  };
  o.CheckDisplayErrors = CheckValue(get("DisplayErrors", "0"));
  o.CheckReUseSQL = CheckValue(get("ReUseSQL", "0"));
  o.CheckProcessDescending = CheckValue(get("ProcessDescending", "0"));
  o.CheckLogMethod = CheckValue(get("LogMethod", "1"));
  o.CheckLoop = CheckValue(get("Loop", "0"));
  o.TextLoopDelay = AbsoluteNumberText(get("Loop_Delay", "0"));
  o.CheckLockWorkstation = CheckValue(get("LockWorkstation", "0"));
  o.CheckAddNewDocs = CheckValue(get("CheckAddNewDocs", "1"));
  o.TextMaxFolders = AbsoluteNumberText(get("MaxFolders", "0"));
  o.CheckPauseTime = CheckValue(get("UsePauseTime", "0"));
  o.TextPauseStart = get("PauseStart", "12:00");
  o.TextPauseEnd = get("PauseEnd", "12:00");
  o.MNTimeStampLogFile = CheckValue(get("TimeStampLogFile", "0")) != 0;
}

std::vector<CheckNode> ReadPauseDays(const os::SettingsStore& store,
                                     const std::string& application) {
  std::vector<CheckNode> days;
  for (const std::string& day : PauseDayNames()) {
    days.push_back({day, CheckValue(store.Get(application, kPauseTimer, day, "-1")) != 0});
  }
  return days;
}

LibraryNode ReadLibraryNode(const os::SettingsStore& store, const std::string& application,
                            const std::string& library) {
  LibraryNode node;
  node.text = library;
  node.checked = CheckValue(store.Get(application, kLibraries, library, "-1")) != 0;
  node.rules.push_back({kRulePlaceholder, false});
  return node;
}

bool SaveProgramEndSettings(os::SettingsStore& store, const std::string& application,
                            const runtime::Options& o, const std::string& log_file,
                            const MainWindowModel& window) {
  std::vector<os::Setting> values;
  auto save = [&](const std::string& section, const std::string& key, const std::string& value) {
    values.push_back({section, key, value});
  };
  // A place computed for no screen at all would move the next real window.
  if (window.window_on_screen) {
    save(kGeneral, "Screen.Top", Number(window.window.top));
    save(kGeneral, "Screen.Left", Number(window.window.left));
    save(kGeneral, "Screen.Width", Number(window.window.width));
    save(kGeneral, "Screen.Height", Number(window.window.height));
  }
  save(kGeneral, "Loop", CheckText(o.CheckLoop));
  save(kGeneral, "Loop_Delay", NumberText(o.TextLoopDelay));
  save(kGeneral, "LogMethod", CheckText(o.CheckLogMethod));
  save(kGeneral, "LogFile", log_file);
  save(kGeneral, "DisplayErrors", CheckText(o.CheckDisplayErrors));
  save(kGeneral, "ProcessDescending", CheckText(o.CheckProcessDescending));
  save(kGeneral, "ReUseSQL", CheckText(o.CheckReUseSQL));
  save(kGeneral, "CheckAddNewDocs", CheckText(o.CheckAddNewDocs));
  save(kGeneral, "MaxFolders", NumberText(o.TextMaxFolders));
  save(kGeneral, "UsePauseTime", CheckText(o.CheckPauseTime));
  save(kGeneral, "PauseStart", TimeText(o.TextPauseStart));
  save(kGeneral, "PauseEnd", TimeText(o.TextPauseEnd));
  save(kGeneral, "LockWorkstation", CheckText(o.CheckLockWorkstation));
  save(kGeneral, "TimeStampLogFile", MarkText(o.MNTimeStampLogFile));
  for (const CheckNode& day : window.TVPause) save(kPauseTimer, day.text, MarkText(day.checked));
  for (const LibraryNode& library : window.TVRules) {
    save(kLibraries, library.text, MarkText(library.checked));
    for (const CheckNode& rule : library.rules) {
      save(kRules, RuleKey(library.text, rule.text), MarkText(rule.checked));
    }
  }
  return store.SaveAll(application, values);
}

}  // namespace sproutsmith::app
