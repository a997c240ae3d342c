#pragma once
// A statement's shape: the statement with each literal that no translation pass reads
// replaced by a numbered parameter "?1", "?2", ... The engine writes its values into its
// statements, so without this every folder would be a new text to translate and prepare.
// All statements of one shape translate alike whatever those literals hold: the shape is
// translated once and each statement runs with its literals bound as parameters.
//
// A literal stays in the shape where a pass reads it or a parameter cannot stand:
//   - the whole of a statement that is not a SELECT, INSERT, UPDATE or DELETE, or that
//     holds a "?" of its own;
//   - TOP n, a number compared with ROWNUM, anything inside OPTION (...) (translation reads
//     them as row limits and hints);
//   - the arguments of TO_DATE, object_id and serverproperty (translated from their values);
//   - the size of a type, VARCHAR(10), DECIMAL(10, 2);
//   - ORDER BY and GROUP BY items and everything after them at that level (ORDER BY 2 is a
//     column number);
//   - a literal compared with a literal (1 = 0: the planner answers such a term itself);
//   - a string after AS (a heading) or ESCAPE, '', N'...', an unterminated string;
//   - numbers that are not whole or do not fit 64 bits (the back end types those itself);
//   - on PostgreSQL, a LIKE pattern that becomes a regular expression or has an ESCAPE
//     clause; any other pattern is lifted in the form the LIKE pass would write it.
// TranslateValues (rewrites.h) runs before lifting, so what it reads is never lifted.

#include <string>
#include <vector>

#include "platform/sql/database.h"
#include "platform/sql/dialect/tokenizer.h"
#include "platform/sql/dialect/translator.h"

namespace sproutsmith::sql::dialect {

struct Shape {
  Tokens tokens;              // the statement, lifted literals as parameter tokens "?n"
  std::vector<Value> values;  // the value of "?n" at [n - 1]
};

// False when the statement takes no parameters at all (see above).
bool LiftLiterals(const Tokens& tokens, const TranslateOptions& options, Shape* shape);

}  // namespace sproutsmith::sql::dialect
