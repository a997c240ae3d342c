#pragma once
// A compiled rule template: the item list (one entry per literal, token, separator,
// external link and library prefix, in template order), the external links, the tables the
// links added and the foreign-key hops the paths took. Rebuilt for every rule and library;
// the selection builder and folder item processing read it.

#include <string>
#include <vector>

#include "template/table_list.h"

namespace sproutsmith::templ {

// Kind values.
inline constexpr char kKindColumn[] = "X";     // a column token (resolved off PROFILE)
inline constexpr char kKindLiteral[] = "P";    // a token without a foreign-key hop
inline constexpr char kKindSeparator[] = "/";  // a level separator

struct TemplateItem {
  std::string Text;
  std::string Kind;
  std::string Table;
  std::string Column;
  std::string KeyColumn;
  std::string LinkColumn;
  std::string LinkTable;
  std::string ProfileAssignment;
  std::string Library;
};

struct ExternalLink {
  std::string Columns;
  std::string Tables;
  std::string Joins;
  std::string ItemNumber;  // 1-based index of its item, "#0"
};

// One step of a foreign-key path: from_table.from_column refers to to_table.to_column.
struct ForeignKeyHop {
  std::string from_table;
  std::string from_column;
  std::string to_table;
  std::string to_column;
  friend bool operator==(const ForeignKeyHop&, const ForeignKeyHop&) = default;
};

struct ParsedTemplate {
  std::vector<TemplateItem> items;  // items[0] is item 1
  std::vector<ExternalLink> links;  // links[0] is external link 1
  TableList tables;
  int level_count = 0;
  // Every hop a path of the template resolved, once each, in the order first taken. The
  // selection uses them to join a table the statement names but does not reach.
  std::vector<ForeignKeyHop> hops;

  // 1-based, as the item list is numbered.
  TemplateItem& Item(int number) { return items.at(static_cast<size_t>(number - 1)); }
  const TemplateItem& Item(int number) const { return items.at(static_cast<size_t>(number - 1)); }
  int ItemCount() const { return static_cast<int>(items.size()); }
  // The external link of item `number`; null when the item is none.
  const ExternalLink* LinkOfItem(int number) const;
};

}  // namespace sproutsmith::templ
