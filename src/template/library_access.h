#pragma once
// What template compilation reads from the connected library: its data dictionary through
// the SQL gateway, and the names the template keywords stand for.

#include <string>

#include "dm/connection.h"
#include "template/foreign_keys.h"
#include "template/template_parser.h"

namespace sproutsmith::templ {

class DocsColumnDictionary final : public DataDictionary {
 public:
  explicit DocsColumnDictionary(dm::Connection& connection) : connection_(connection) {}

  std::optional<ForeignKey> ForeignKeyOf(const std::string& column,
                                         const std::string& table) override;
  std::string ProfileForeignTable(const std::string& column) override;

 private:
  dm::Connection& connection_;
};

// The keyword values of the connected library; `processing_library` is the library whose
// rule is compiled (the folder library).
TemplateEnvironment EnvironmentOf(dm::Connection& connection, std::string processing_library,
                                  const text::DateTime& today);

}  // namespace sproutsmith::templ
