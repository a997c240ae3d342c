#pragma once
// The external-link language of rule templates: "<" columns "|" tables "|" joins ">" names a
// select expression with the tables and join conditions it needs; the short form
// "<" table "." column ">" names a column of any table, whose table joins the query.

#include <string>
#include <string_view>

#include "log/log.h"
#include "template/table_list.h"
#include "template/template_item.h"

namespace sproutsmith::templ {

struct ExternalLinkResult {
  bool parsed = false;  // false: the link was empty (warned), the item stays as it was
  ExternalLink link;
  std::string item_text;  // the item's new Text
};

// `token` is the token's text between its "%" signs, which begins with "<" and ends with
// ">". `link_number` numbers the link among the template's links, `item_number` its item.
// The short form puts its table on `tables` (owner form, "Adding table (1): ").
ExternalLinkResult ParseExternalLink(std::string_view token, int link_number, int item_number,
                                     std::string_view owner, TableList& tables, log::Log& log);

}  // namespace sproutsmith::templ
