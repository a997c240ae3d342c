#include "template/join_plan.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <map>

#include "template/table_list.h"
#include "text/text.h"

namespace sproutsmith::templ {

namespace {

const JoinEntry kMatterOnClient{"MATTER", "MATTER.CLIENT_ID", "CLIENT.SYSTEM_ID", "CLIENT"};
const JoinEntry kClientOnMatter{"CLIENT", "CLIENT.SYSTEM_ID", "MATTER.CLIENT_ID", "MATTER"};

std::string Owned(const std::string& table) { return std::string(kOwnerPrefix) + table; }

class Reacher {
 public:
  Reacher(JoinPlan& plan, const std::vector<ForeignKeyHop>& hops, const std::string& conditions,
          log::Log& log)
      : plan_(plan), hops_(hops), conditions_(text::UCase(conditions)), log_(log) {
    for (const std::string& entry : plan.from) reached_.push_back(BareTableName(entry));
  }

  bool Reached(const std::string& table) const {
    return std::find(reached_.begin(), reached_.end(), table) != reached_.end();
  }

  void Run(const std::vector<std::string>& needed) {
    const std::vector<JoinEntry> written = plan_.joins;
    plan_.joins.clear();
    for (const JoinEntry& join : written) {
      if (Reached(join.table)) {
        plan_.completed = true;  // joining it twice would make every column ambiguous
        continue;
      }
      if (!Reached(join.other)) Reach(join.other);
      if (Reached(join.table)) {
        plan_.completed = true;
        continue;
      }
      plan_.joins.push_back(join);
      reached_.push_back(join.table);
    }
    for (const std::string& table : needed) {
      if (table.empty() || Reached(table) || Reach(table)) continue;
      if (!Named(table)) {
        // A cross join would pair every row with every other.
        log_.AddLogAndSeparator("Note: Neither a foreign key nor a condition of the rule joins " +
                                table);
        plan_.unjoined.push_back(table);
        continue;
      }
      log_.AddLogAndSeparator("Note: No foreign key leads to " + table +
                              "; it is joined through the rule's own conditions");
      plan_.cross.push_back(Owned(table));
      reached_.push_back(table);
      plan_.completed = true;
    }
    if (profile_joined_) plan_.conditions.push_back(kDocumentsOnly);
  }

 private:
  // Whether the rule's conditions name a column of `table` ("TABLE." as a word).
  bool Named(const std::string& table) const {
    const std::string word = table + ".";
    for (size_t at = conditions_.find(word); at != std::string::npos;
         at = conditions_.find(word, at + 1)) {
      const char before = at == 0 ? ' ' : conditions_[at - 1];
      if (!(std::isalnum(static_cast<unsigned char>(before)) || before == '_' || before == '$' ||
            before == '#')) {
        return true;
      }
    }
    return false;
  }

  // Joins `target` along the shortest chain of hops from a reached table.
  bool Reach(const std::string& target) {
    struct Step {
      std::string from;
      size_t hop;
    };
    std::map<std::string, Step> came;
    std::deque<std::string> queue(reached_.begin(), reached_.end());
    std::vector<std::string> seen(reached_.begin(), reached_.end());
    auto visit = [&](const std::string& next, const std::string& from, size_t hop) {
      if (next.empty() || std::find(seen.begin(), seen.end(), next) != seen.end()) return;
      seen.push_back(next);
      came[next] = {from, hop};
      queue.push_back(next);
    };
    while (!queue.empty() && std::find(seen.begin(), seen.end(), target) == seen.end()) {
      const std::string at = queue.front();
      queue.pop_front();
      for (size_t h = 0; h < hops_.size(); ++h) {
        if (hops_[h].from_table == hops_[h].to_table) continue;
        if (hops_[h].from_table == at) visit(hops_[h].to_table, at, h);
        if (hops_[h].to_table == at) visit(hops_[h].from_table, at, h);
      }
    }
    if (came.find(target) == came.end()) return false;
    std::vector<std::string> chain;
    for (std::string t = target; came.count(t); t = came[t].from) chain.push_back(t);
    std::reverse(chain.begin(), chain.end());
    for (const std::string& table : chain) {
      const Step& step = came[table];
      const ForeignKeyHop& hop = hops_[step.hop];
      JoinEntry join;
      join.table = table;
      join.other = step.from;
      if (hop.from_table == table) {
        join.left = table + "." + hop.from_column;
        join.right = step.from + "." + hop.to_column;
      } else {
        join.left = table + "." + hop.to_column;
        join.right = step.from + "." + hop.from_column;
      }
      log_.AddLogAndSeparator("Adding join qualifier " + table + " ON " + join.Condition());
      plan_.joins.push_back(join);
      reached_.push_back(table);
      if (table == "PROFILE") profile_joined_ = true;
    }
    plan_.completed = true;
    return true;
  }

  JoinPlan& plan_;
  const std::vector<ForeignKeyHop>& hops_;
  const std::string conditions_;
  log::Log& log_;
  std::vector<std::string> reached_;
  bool profile_joined_ = false;
};

}  // namespace

void PutMatterFirst(JoinPlan& plan) {
  if (plan.from.size() != 1 || plan.joins.empty() || !(plan.joins.front() == kMatterOnClient)) {
    return;
  }
  const std::string first = BareTableName(plan.from.front());
  if (first == "CLIENT") {
    plan.from.front() = Owned("MATTER");
    plan.joins.front() = kClientOnMatter;
  } else if (first == "MATTER") {
    plan.joins.front() = kClientOnMatter;
  }
}

void ReachTables(JoinPlan& plan, const std::vector<std::string>& needed,
                 const std::vector<ForeignKeyHop>& hops, const std::string& conditions,
                 log::Log& log) {
  Reacher(plan, hops, conditions, log).Run(needed);
}

std::string MicrosoftFromClause(const JoinPlan& plan) {
  std::string from;
  for (const std::string& entry : plan.from) from += (from.empty() ? "" : ", ") + entry;
  std::string joins;
  for (const JoinEntry& join : plan.joins) {
    joins += "LEFT OUTER JOIN " + Owned(join.table) + " ON " + join.Condition() + " ";
  }
  std::string clause = " FROM " + text::Trim(from) + " " + text::Trim(joins);
  // A comma binds looser than JOIN: listed after the joins, the ON conditions still see
  // the first table.
  if (!plan.cross.empty()) clause = text::RTrim(clause);
  for (const std::string& table : plan.cross) clause += ", " + table;
  return clause;
}

std::string OracleFromClause(const JoinPlan& plan, const std::string& outer_join_equals,
                             std::vector<std::string>* where_conditions) {
  std::string from;
  for (const std::string& entry : plan.from) from += (from.empty() ? "" : ", ") + entry;
  for (const JoinEntry& join : plan.joins) {
    from += ", " + Owned(join.table);
    where_conditions->push_back(join.left + outer_join_equals + join.right);
  }
  for (const std::string& table : plan.cross) from += ", " + table;
  return " FROM " + from;
}

}  // namespace sproutsmith::templ
