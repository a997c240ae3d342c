#pragma once
// The options of the General settings section that sproutsmith-admin shows and sets: the
// program's own keys with their defaults, and how a value given on the command line is
// written so that the program reads it back as meant.

#include <optional>
#include <string>
#include <vector>

namespace sproutsmith::admin {

enum class OptionKind {
  kBoolean,  // "-1" or "0"
  kNumber,   // a number of 0 or more, saved whole ("#0")
  kDays,     // a whole number of 0 or more
  kTime,     // "HH:MM"
  kText,     // as given, trimmed, on one line
};

struct GeneralOption {
  const char* key;
  const char* fallback;  // the program's default; the log file's depends on the machine
  OptionKind kind;
};

const std::vector<GeneralOption>& GeneralOptions();
// The option named `name` in any letter case; null when unknown.
const GeneralOption* FindGeneralOption(const std::string& name);
// `value` as the option is saved; nothing when it does not fit the option's kind.
std::optional<std::string> NormalizeOptionValue(const GeneralOption& option,
                                                const std::string& value);
// "DisplayErrors, ReUseSQL, ..." for messages.
std::string GeneralOptionNames();

}  // namespace sproutsmith::admin
