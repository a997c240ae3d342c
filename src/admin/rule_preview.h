#pragma once
// The dry run of a rule: its selection compiled and run as the processing cycle would, and
// for each selected row the folder path the cycle would walk, each folder looked up where
// the cycle looks for it. Nothing is written to any library: no tracking, running-node or
// journal rows, no saved statement, no folders, no stamps or renames.

#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_store.h"

namespace sproutsmith::admin {

struct PreviewFolder {
  enum class State {
    kExists,        // found: `number`, named `found_name`
    kNew,           // the cycle would create it
    kBlank,         // a blank middle level: skipped, the next level goes under the same parent
    kSearchFailed,  // the search statement failed: the cycle gives up on the row here
  };
  State state = State::kNew;
  int level = 1;
  std::string path;     // the names of the levels down to this one, joined by "\"
  std::string library;  // where the folder lives
  long long number = 0;
  std::string found_name;  // the existing folder's name when it differs from the one sought
  bool renamed = false;    // the cycle would rename the found folder to the name sought
};

struct PreviewRow {
  std::vector<PreviewFolder> folders;
  bool no_folders = false;  // level 1 is blank: the cycle makes nothing for this row
};

struct RulePreview {
  std::string problem;  // why the rule could not be previewed ("" when it was)
  std::string statement;
  long long matched = 0;         // rows the statement returned
  int rows_read = 0;             // rows a cycle would take
  std::vector<PreviewRow> rows;  // the first rows, at most the limit asked for
};

// REQUIRES: `library` and `rule` name an existing library and one of its rules. The library
// connected on entry is connected again on return.
RulePreview PreviewRule(Context& context, dm::Connection& connection, rules::RuleStore& store,
                        const std::string& library, const std::string& rule, int limit);

}  // namespace sproutsmith::admin
