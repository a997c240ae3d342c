#pragma once
// The table list a rule's statement is built from: ", "-separated names in the form
// "[OWNER]." + TABLE, upper case, each at most once, plus the table added last.

#include <string>
#include <string_view>
#include <vector>

#include "log/log.h"

namespace sproutsmith::templ {

inline constexpr char kOwnerPlaceholder[] = "[OWNER]";
inline constexpr char kOwnerPrefix[] = "[OWNER].";

// "[OWNER]." + name, unless it already carries the placeholder; a leading "<owner>." is
// replaced by the placeholder.
std::string OwnerForm(std::string_view name, std::string_view owner);
// The table name without a leading "[OWNER]." (any letter case), upper case.
std::string BareTableName(std::string_view name);

class TableList {
 public:
  // Adds `name` unless the list already holds it (a substring test on the upper-cased
  // list, as the product has always done). When it is added and `log` is given, logs
  // prefix + name and a separator. True when added; the added table becomes the last one.
  bool Add(std::string_view name, std::string_view log_prefix, log::Log* log);

  // Appends `name` without the add rule; the last-added table stays.
  void Append(std::string_view name);

  const std::string& text() const { return text_; }
  bool empty() const { return text_.empty(); }
  const std::string& last_added() const { return last_added_; }
  void set_last_added(std::string name) { last_added_ = std::move(name); }
  bool Contains(std::string_view fragment) const;
  // The entries in list order, as written (with their "[OWNER]." prefix).
  std::vector<std::string> Entries() const;

 private:
  std::string text_;
  std::string last_added_;
};

}  // namespace sproutsmith::templ
