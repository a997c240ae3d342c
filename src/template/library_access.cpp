#include "template/library_access.h"

#include "template/sql_names.h"
#include "text/text.h"

namespace sproutsmith::templ {

TemplateEnvironment EnvironmentOf(dm::Connection& connection, std::string processing_library,
                                  const text::DateTime& today) {
  TemplateEnvironment env;
  env.library_name = connection.LibraryName();
  if (dmapi::Library* library = connection.library()) {
    env.library_description = library->Description();
  }
  env.processing_library = std::move(processing_library);
  env.session_libraries = connection.LibraryNames();
  env.owner = connection.facts().LibraryOwner;
  env.today = today;
  return env;
}

std::optional<ForeignKey> DocsColumnDictionary::ForeignKeyOf(const std::string& column,
                                                             const std::string& table) {
  // Names come from the administrator's template: a stray quote must not break the text.
  const std::string sql =
      "SELECT FTBNAME, FCOLNAME, MULTI_VALUE FROM [OWNER].DOCSCOLUMN WHERE COLNAME = '" +
      QuoteLiteral(column) + "' AND TBNAME = '" + QuoteLiteral(table) + "'";
  const dm::FirstRow row = connection_.ReadFirstRow(sql);
  const ForeignKey found{text::Trim(row.Text(1)), text::Trim(row.Text(2)), text::Trim(row.Text(3))};
  // A dictionary row without a foreign table describes a plain column: no hop.
  if (found.table.empty()) return std::nullopt;
  return found;
}

std::string DocsColumnDictionary::ProfileForeignTable(const std::string& column) {
  const std::string sql =
      "SELECT FTBNAME FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND COLNAME = '" +
      QuoteLiteral(column) + "'";
  return text::Trim(connection_.ReadFirstRow(sql).Text(1));
}

}  // namespace sproutsmith::templ
