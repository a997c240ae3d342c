#include "admin/general_options.h"

#include "text/text.h"

namespace sproutsmith::admin {

const std::vector<GeneralOption>& GeneralOptions() {
  static const std::vector<GeneralOption> kOptions = {
      {"DisplayErrors", "0", OptionKind::kBoolean},
      {"ReUseSQL", "0", OptionKind::kBoolean},
      {"ProcessDescending", "0", OptionKind::kBoolean},
      {"LogMethod", "1", OptionKind::kBoolean},
      {"Loop", "0", OptionKind::kBoolean},
      {"Loop_Delay", "0", OptionKind::kNumber},
      {"LockWorkstation", "0", OptionKind::kBoolean},
      {"CheckAddNewDocs", "1", OptionKind::kBoolean},
      {"MaxFolders", "0", OptionKind::kNumber},
      {"UsePauseTime", "0", OptionKind::kBoolean},
      {"PauseStart", "12:00", OptionKind::kTime},
      {"PauseEnd", "12:00", OptionKind::kTime},
      {"TimeStampLogFile", "0", OptionKind::kBoolean},
      // Days of daily logs and run reports kept; 0 keeps them all.
      {"KeepLogDays", "30", OptionKind::kDays},
      {"LogFile", "", OptionKind::kText},
      {"SiteName", "", OptionKind::kText},
  };
  return kOptions;
}

const GeneralOption* FindGeneralOption(const std::string& name) {
  for (const GeneralOption& option : GeneralOptions()) {
    if (text::EqualsNoCase(option.key, text::Trim(name))) return &option;
  }
  return nullptr;
}

std::optional<std::string> NormalizeOptionValue(const GeneralOption& option,
                                                const std::string& value) {
  const std::string v = text::Trim(value);
  switch (option.kind) {
    case OptionKind::kBoolean: {
      const std::string u = text::UCase(v);
      if (u == "YES" || u == "TRUE" || u == "ON") return "-1";
      if (u == "NO" || u == "FALSE" || u == "OFF") return "0";
      if (!text::IsNumeric(v)) return std::nullopt;
      return text::Val(v) != 0 ? "-1" : "0";
    }
    case OptionKind::kNumber:
      if (!text::IsNumeric(v) || text::Val(v) < 0) return std::nullopt;
      return text::Format(text::Val(v), "#0");
    case OptionKind::kDays:
      if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
      return text::Format(text::Val(v), "#0");
    case OptionKind::kTime: {
      text::DateTime time;
      if (v.find(':') == std::string::npos || !text::ParseDateTime(v, time)) return std::nullopt;
      return text::Format(time, "HH:MM");
    }
    case OptionKind::kText:
      if (v.find_first_of("\r\n") != std::string::npos) return std::nullopt;
      return v;
  }
  return std::nullopt;
}

std::string GeneralOptionNames() {
  std::string names;
  for (const GeneralOption& option : GeneralOptions()) {
    if (!names.empty()) names += ", ";
    names += option.key;
  }
  return names;
}

}  // namespace sproutsmith::admin
