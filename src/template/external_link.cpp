#include "template/external_link.h"

#include "text/text.h"

namespace sproutsmith::templ {

using text::Number;
using text::StartsWith;
using text::Trim;
using text::UCase;

namespace {

bool IsNoColumn(const std::string& columns) {
  const std::string u = UCase(columns);
  return u == "*NONE*" || u == "NULL";
}

std::string WithoutLeadingConnector(const std::string& joins) {
  const std::string u = UCase(joins);
  if (StartsWith(u, "AND ")) return Trim(joins.substr(4));
  if (StartsWith(u, "OR ")) return Trim(joins.substr(3));
  if (StartsWith(u, "WHERE ")) return Trim(joins.substr(6));
  return joins;
}

}  // namespace

ExternalLinkResult ParseExternalLink(std::string_view token, int link_number, int item_number,
                                     std::string_view owner, TableList& tables, log::Log& log) {
  ExternalLinkResult result;
  const std::string t = UCase(Trim(token));
  std::string s = t.size() >= 2 ? Trim(t.substr(1, t.size() - 2)) : "";
  if (s.empty()) {
    log.AddLogAndSeparator(
        "Warning: Unable to parse this external link (check syntax for template)");
    return result;
  }
  log.AddLog("Special handling for an external link:");
  log.AddLogAndSeparator(s);
  ExternalLink& link = result.link;
  link.ItemNumber = Number(item_number);
  const size_t bar = s.find('|');
  if (bar != std::string::npos) {
    link.Columns = Trim(s.substr(0, bar));
    s = Trim(s.substr(bar + 1));
    if (!IsNoColumn(link.Columns)) {
      log.AddLogAndSeparator("Column(s) added are " + link.Columns);
    } else {
      log.AddLogAndSeparator("Not adding column " + link.Columns);
      link.Columns.clear();
    }
    const size_t second = s.find('|');
    if (second != std::string::npos) {
      link.Tables = Trim(s.substr(0, second));
      link.Joins = Trim(s.substr(second + 1));
    }
    if (!link.Tables.empty()) {
      log.AddLogAndSeparator("Table(s) to be added are " + link.Tables);
    }
    if (!link.Joins.empty()) {
      link.Joins = WithoutLeadingConnector(link.Joins);
      log.AddLogAndSeparator("Join(s) to be added are " + link.Joins);
    }
  } else {
    log.AddLogAndSeparator("Extracting table from " + s);
    link.Columns = s;
    const size_t dot = s.rfind('.');
    const std::string table = dot == std::string::npos ? "" : s.substr(0, dot);
    if (!table.empty()) {
      link.Tables = OwnerForm(table, owner);
      tables.Add(link.Tables, "Adding table (1): ", &log);
    }
  }
  log.AddLogAndSeparator("Item #" + Number(link_number) + ": Columns [" + link.Columns +
                         "] Tables [" + link.Tables + "] Joins [" + link.Joins + "]");
  const std::string upper = UCase(link.Columns);
  if (upper == "*NONE*" || upper == "*EMPTY*") link.Columns.clear();
  result.item_text = link.Columns;
  result.parsed = true;
  return result;
}

}  // namespace sproutsmith::templ
