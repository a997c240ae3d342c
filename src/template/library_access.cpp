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
  std::optional<ForeignKey> key;
  dmapi::SqlObject* sql_object = connection_.sql();
  if (connection_.RunSQL(sql) && sql_object && sql_object->GetSQLErrorCode() == 0 &&
      sql_object->GetRowCount() > 0) {
    ForeignKey found{text::Trim(connection_.Column(1)), text::Trim(connection_.Column(2)),
                     text::Trim(connection_.Column(3))};
    // A dictionary row without a foreign table describes a plain column: no hop.
    if (!found.table.empty()) key = found;
  }
  if (sql_object) sql_object->ReleaseResults();
  return key;
}

std::string DocsColumnDictionary::ProfileForeignTable(const std::string& column) {
  const std::string sql =
      "SELECT FTBNAME FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND COLNAME = '" +
      QuoteLiteral(column) + "'";
  std::string table;
  dmapi::SqlObject* sql_object = connection_.sql();
  if (connection_.RunSQL(sql) && sql_object && sql_object->GetSQLErrorCode() == 0 &&
      sql_object->GetRowCount() > 0) {
    table = text::Trim(connection_.Column(1));
  }
  if (sql_object) sql_object->ReleaseResults();
  return table;
}

}  // namespace sproutsmith::templ
