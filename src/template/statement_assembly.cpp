// Everything after the item pass that needs no database.

#include "template/statement_assembly.h"

#include <algorithm>
#include <cctype>

#include "dm/sql_text.h"
#include "platform/dmapi/engine_codes.h"
#include "template/join_plan.h"
#include "template/sql_names.h"
#include "text/text.h"

namespace sproutsmith::templ {

using text::Number;
using text::StartsWith;
using text::Trim;
using text::UCase;

namespace {

bool IsIdentifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
}

bool IsPlainName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (!IsIdentifierChar(c)) return false;
  }
  return true;
}

// The connector word at a word start: "BRAND = 1" holds no "AND ".
size_t FindConnector(const std::string& s, const std::string& word) {
  const std::string upper = UCase(s);
  for (size_t at = upper.find(word); at != std::string::npos; at = upper.find(word, at + 1)) {
    if (at == 0 || !IsIdentifierChar(upper[at - 1])) return at;
  }
  return std::string::npos;
}

// The "=" of an equality; "<=", ">=", "!=" and "==" are not one.
size_t EqualsSign(const std::string& s) {
  for (size_t at = s.find('='); at != std::string::npos; at = s.find('=', at + 1)) {
    const char before = at > 0 ? s[at - 1] : ' ';
    const char after = at + 1 < s.size() ? s[at + 1] : ' ';
    if (before != '<' && before != '>' && before != '!' && before != '=' && after != '=') {
      return at;
    }
  }
  return std::string::npos;
}

// Whether `s` holds an OR outside its parentheses and string literals: appended to other
// conditions as it is, it would take them into its alternatives.
bool HasTopLevelOr(const std::string& s) {
  const std::string upper = UCase(s);
  int depth = 0;
  bool quoted = false;
  for (size_t i = 0; i < upper.size(); ++i) {
    const char c = upper[i];
    if (c == '\'') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth > 0) --depth;
    } else if (depth == 0 && upper.compare(i, 2, "OR") == 0 &&
               (i == 0 || !IsIdentifierChar(upper[i - 1])) &&
               (i + 2 >= upper.size() || !IsIdentifierChar(upper[i + 2]))) {
      return true;
    }
  }
  return false;
}

std::string Grouped(const std::string& condition) {
  return HasTopLevelOr(condition) ? "(" + Trim(condition) + ")" : condition;
}

void AppendCondition(std::string& where, const std::string& condition) {
  const std::string t = Trim(condition);
  if (t.empty() || t == "()") return;
  where += (where.empty() ? "" : " AND ") + Grouped(condition);
}

void AppendExternalJoins(const ParsedTemplate& parsed, std::string& where) {
  for (const ExternalLink& link : parsed.links) {
    // Conditions joined by OR stay together, in parentheses and as written: one left out
    // because the clause already holds it would change what the others mean.
    if (HasTopLevelOr(link.Joins)) {
      AppendCondition(where, Trim(link.Joins));
      continue;
    }
    std::string rest = Trim(link.Joins);
    while (!rest.empty()) {
      std::string condition, connector;
      const size_t a = FindConnector(rest, "AND ");
      const size_t o = FindConnector(rest, "OR ");
      if (a != std::string::npos) {
        condition = Trim(rest.substr(0, a));
        connector = " AND ";
        rest = Trim(rest.substr(a + 4));
      } else if (o != std::string::npos) {
        condition = Trim(rest.substr(0, o));
        connector = " OR ";
        rest = Trim(rest.substr(o + 3));
      } else {
        condition = Trim(rest);
        connector = " AND ";
        rest.clear();
      }
      if (condition.empty() || condition == "()") continue;
      const std::string upper_where = UCase(where);
      const size_t eq = EqualsSign(condition);
      if (eq != std::string::npos) {
        const std::string left = Trim(condition.substr(0, eq));
        const std::string right = Trim(condition.substr(eq + 1));
        condition = left + " = " + right;
        if (upper_where.find(UCase(left + " = " + right)) != std::string::npos ||
            upper_where.find(UCase(right + " = " + left)) != std::string::npos) {
          continue;
        }
      } else if (upper_where.find(UCase(condition)) != std::string::npos) {
        continue;
      }
      where += (Trim(where).empty() ? "" : connector) + condition;
    }
  }
}

std::string ReplaceFirst(const std::string& s, const std::string& from, const std::string& to) {
  const size_t at = s.find(from);
  if (at == std::string::npos) return s;
  return s.substr(0, at) + to + s.substr(at + from.size());
}

// The client and matter order the product has always written.
std::string MatterBeforeClient(std::string statement) {
  const std::string a =
      " FROM [OWNER].CLIENT LEFT OUTER JOIN [OWNER].MATTER ON MATTER.CLIENT_ID = CLIENT.SYSTEM_ID";
  const std::string b =
      "FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].MATTER ON MATTER.CLIENT_ID = CLIENT.SYSTEM_ID";
  const std::string r =
      " FROM [OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID";
  statement = ReplaceFirst(statement, a, r);
  return ReplaceFirst(statement, b, r);
}

std::string WithAscendingLast(std::string order) {
  const size_t last = order.rfind(", ");
  const size_t start = last == std::string::npos ? 0 : last + 2;
  std::string entry = order.substr(start);
  if (text::EndsWith(entry, " DESC")) {
    entry = entry.substr(0, entry.size() - 5) + " ASC";
  } else if (!text::EndsWith(entry, " ASC")) {
    entry += " ASC";
  }
  return order.substr(0, start) + entry;
}

std::vector<std::string> NeededTables(const SelectionParts& parts) {
  std::vector<std::string> needed;
  for (const std::string& entry : parts.tables.Entries()) {
    const std::string name = BareTableName(entry);
    if (IsPlainName(name)) needed.push_back(name);
  }
  for (const std::string& table : parts.parameter_tables) {
    if (IsPlainName(table)) needed.push_back(table);
  }
  return needed;
}

}  // namespace

std::string AssembleStatement(const SelectionParts& parts, const ParsedTemplate& parsed,
                              const AssemblyOptions& o, long* row_limit, log::Log& log) {
  const bool oracle = dmapi::IsOracleEngine(o.engine);
  log.SetStatus("Fetching SQL Values in library " + o.library_name + " for rule " + o.rule_name);
  log.Separator();

  const std::string& list = parts.tables.text();
  JoinPlan plan;
  plan.from.push_back(list.substr(0, list.find(',')));
  // PROFILE, when it is not the first table, is joined along the template's foreign keys
  // like every other table: listed beside the first it would pair every document with
  // every row.
  std::string from_list;
  for (const std::string& entry : plan.from) from_list += (from_list.empty() ? "" : ", ") + entry;
  plan.joins = parts.joins;
  PutMatterFirst(plan);
  std::string own_conditions = parts.parameter_text + " " + o.sproutsmith_text;
  for (const ExternalLink& link : parsed.links) own_conditions += " " + link.Joins;
  ReachTables(plan, NeededTables(parts), parsed.hops, own_conditions, log);
  if (!plan.unjoined.empty()) return "";

  std::vector<std::string> conditions;
  std::string statement;
  if (!oracle) {
    // Capped as the cycle caps it: a setting beyond any number a statement can carry would
    // fail every rule.
    constexpr double kMostRows = 10000;
    const double max_folders = text::Val(o.text_max_folders);
    if (max_folders > 0) *row_limit = static_cast<long>(std::min(max_folders, kMostRows));
    log.AddLogAndSeparator("Processing a maximum of " + Number(*row_limit) +
                           " folder(s) per cycle");
    const std::string top =
        !o.initialize && *row_limit != 0 ? " TOP " + Number(*row_limit) + " " : " ";
    statement = "SELECT DISTINCT" + top + parts.select_list + parts.sid_list + "\r\n";
    if (plan.completed) {
      statement += MicrosoftFromClause(plan);
    } else {
      statement += " FROM " + Trim(from_list) + " " + Trim(parts.join_list);
    }
  } else {
    statement = "SELECT DISTINCT " + parts.select_list + parts.sid_list +
                OracleFromClause(plan, o.outer_join_equals, &conditions);
  }
  statement = MatterBeforeClient(statement);
  for (const std::string& c : plan.conditions) conditions.push_back(c);

  std::string where;
  for (const std::string& c : conditions) AppendCondition(where, c);
  std::string exclusion = parts.exclusion;
  if (parts.outer_depth != 0 && !exclusion.empty()) {
    exclusion += std::string(static_cast<size_t>(parts.outer_depth), ')');
  }
  if (parts.tables.Contains("[OWNER].PROFILE")) {
    // Without other exclusions a leading AND would follow the previous condition's AND.
    exclusion += std::string(Trim(exclusion).empty() ? "" : " AND ") +
                 "[OWNER].PROFILE.SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].QUIL_SPROUTSMITH WHERE "
                 "UPPER(TABLE_NAME) = 'PROFILE' AND UPPER(RULE_NAME) = '" +
                 dm::UpperLiteral(o.rule_name) + "')";
  }
  if (o.site_name.find("TAVI") != std::string::npos ||
      UCase(o.site_name).find("BELLWICK") != std::string::npos) {
    exclusion =
        "NOT EXISTS (SELECT * FROM [OWNER].QUIL_SPROUTSMITH WHERE QUIL_SPROUTSMITH.SID = "
        "MATTER.SYSTEM_ID AND TABLE_NAME = 'MATTER' AND RULE_NAME = '" +
        dm::SqlQuote(o.rule_name) + "')";
  }
  AppendCondition(where, exclusion);
  AppendCondition(where, parts.parameter_text);
  AppendExternalJoins(parsed, where);
  where = Trim(where);
  while (StartsWith(where, "AND ")) where = Trim(where.substr(4));
  const bool has_where = !where.empty() && where != "()";
  if (has_where) statement += " WHERE " + where;

  if (!o.sproutsmith_text.empty()) {
    const size_t bar = o.sproutsmith_text.find('|');
    std::string q = UCase(
        Trim(bar == std::string::npos ? o.sproutsmith_text : o.sproutsmith_text.substr(bar + 1)));
    log.AddLog("Adding the following qualifier to the SQL statement:");
    log.AddLogAndSeparator(q);
    if (has_where) {
      if (StartsWith(q, "WHERE ")) q = Trim(q.substr(6));
      if (!StartsWith(q, "AND ")) q = "AND " + q;
    } else {
      if (StartsWith(q, "AND ")) q = Trim(q.substr(4));
      if (!StartsWith(q, "WHERE ")) q = "WHERE " + q;
    }
    const size_t keyword = q.find(' ');
    const std::string body = Trim(q.substr(keyword + 1));
    if (HasTopLevelOr(body)) q = q.substr(0, keyword) + " (" + body + ")";
    // An empty qualifier would leave a dangling keyword.
    if (!Trim(q.substr(q.find(' ') + 1)).empty()) statement += " " + q;
  }

  if (oracle && !o.initialize && *row_limit > 0 && statement.find(" WHERE ") != std::string::npos) {
    statement += " AND ROWNUM <= " + Number(*row_limit);
  }
  statement = Trim(statement);
  if (text::EndsWith(statement, " AND"))
    statement = Trim(statement.substr(0, statement.size() - 3));
  if (!parts.order_list.empty()) statement += " ORDER BY " + WithAscendingLast(parts.order_list);
  return statement;
}

}  // namespace sproutsmith::templ
