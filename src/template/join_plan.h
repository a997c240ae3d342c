#pragma once
// How a rule's statement reaches its tables: the FROM list, the joins, and tables joined
// only by the conditions an administrator wrote. Built from what the item pass collected,
// then completed so that every table the statement names is reached along the foreign
// keys the template's paths took.

#include <string>
#include <vector>

#include "log/log.h"
#include "template/template_item.h"

namespace sproutsmith::templ {

// "LEFT OUTER JOIN [OWNER].<table> ON <left> = <right>": `left` is a column of the joined
// table, `right` a column of `other`, which the statement reached before.
struct JoinEntry {
  std::string table;
  std::string left;
  std::string right;
  std::string other;
  std::string Condition() const { return left + " = " + right; }
  friend bool operator==(const JoinEntry&, const JoinEntry&) = default;
};

struct JoinPlan {
  std::vector<std::string> from;  // FROM list entries as written ("[OWNER].MATTER")
  std::vector<JoinEntry> joins;
  std::vector<std::string> cross;       // tables without a known link ("[OWNER].X")
  std::vector<std::string> unjoined;    // tables that nothing joins (bare names)
  std::vector<std::string> conditions;  // conditions the WHERE clause must carry
  // Whether ReachTables added or dropped anything: otherwise the statement stays exactly
  // as the join list was written.
  bool completed = false;
};

// A statement that starts from CLIENT and joins MATTER to it starts from MATTER instead
// (and a MATTER joined to itself becomes CLIENT joined to MATTER).
void PutMatterFirst(JoinPlan& plan);

// Makes every table of `needed` (bare upper-case names) reach the statement: joins that
// need an unreached table get it joined first, unreached tables are joined along `hops`
// (shortest way from a reached table), and tables without any link are added to `cross`
// when `conditions` (the rule's own condition texts) name them, else to `unjoined`.
// Joining PROFILE this way means "documents": folder profiles are kept out.
void ReachTables(JoinPlan& plan, const std::vector<std::string>& needed,
                 const std::vector<ForeignKeyHop>& hops, const std::string& conditions,
                 log::Log& log);

// " FROM ..." for Microsoft SQL Server and Sybase: joins as LEFT OUTER JOIN, cross tables
// after them.
std::string MicrosoftFromClause(const JoinPlan& plan);
// " FROM ..." for Oracle: every table in the list; the join conditions, written with
// `outer_join_equals`, go to `where_conditions`.
std::string OracleFromClause(const JoinPlan& plan, const std::string& outer_join_equals,
                             std::vector<std::string>* where_conditions);

// The condition that keeps folder profiles out of a statement that joins PROFILE, and rows
// without any profile (a matter without documents). A profile without an application is a
// document; a library without a FOLDER application, or with two, has its documents
// selected all the same.
inline constexpr char kDocumentsOnly[] =
    "PROFILE.SYSTEM_ID IS NOT NULL AND NOT EXISTS (SELECT * FROM [OWNER].APPS WHERE "
    "APPS.SYSTEM_ID = PROFILE.APPLICATION AND "
    "APPS.APPLICATION = 'FOLDER')";

}  // namespace sproutsmith::templ
