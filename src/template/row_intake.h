#pragma once
// Running a rule's selection: the rows this cycle takes go into the result table (row 0
// the headings), each with its e-mail text, and the DM session is told which libraries are
// searched for existing folders.

#include <string>
#include <vector>

#include "dm/connection.h"
#include "log/context.h"
#include "rules/result_table.h"
#include "rules/rule_record.h"
#include "rules/rule_store.h"

namespace sproutsmith::templ {

struct IntakeRequest {
  std::string statement;
  long row_limit = 0;
  // The rule's saved statement as the cycle found it before compiling ("" when none). Only
  // a saved statement with TOP caps the rows read at the row limit.
  std::string saved_statement;
  // The rule's entry in the saved-statement list (0 when none): it records the row count.
  int saved_index = 0;
};

struct Intake {
  long long matched = 0;  // rows the statement returned
  int rows_read = 0;      // rows handed over (0 after a cancel)
  int columns = 0;
  bool cancelled = false;
  rules::ResultTable result;
  std::vector<std::string> emails;  // entry r: the e-mail text of row r ([0] unused)
};

// The per-row e-mail text: each "%<heading>%" placeholder, or one that ends in the
// heading's column name ("%OTHER.COLUMN%"), takes the row's value; blanks next to a filled
// placeholder go.
std::string FillEmailTemplate(const std::string& email_template,
                              const std::vector<std::string>& headings,
                              const std::vector<std::string>& values);

// Runs `request.statement` in the connected library (whose rules `store` holds) and reads
// its rows. A failed statement is reported by the gateway and reads as no rows.
Intake RunSelection(const IntakeRequest& request, const rules::RuleRecord& rule, Context& context,
                    dm::Connection& connection, rules::RuleStore& store);

}  // namespace sproutsmith::templ
