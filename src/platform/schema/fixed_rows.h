#pragma once
// The rows an empty DM library holds from the start: the data dictionary (DOCSTABLE,
// DOCSCOLUMN), the 'FOLDER' application and document type, the profile forms, the two
// DOCS_* groups, the installation's REMOTE_LIBRARIES rows and the stand-in's own rows
// (key counter, library parameters, server facts, form columns).

#include <string>
#include <vector>

#include "platform/schema/library_schema.h"
#include "platform/schema/table_definitions.h"
#include "platform/sql/database.h"

namespace sproutsmith::schema {

// Writes the fixed rows of a library whose tables `tables` were just created, and sets
// the key counter above every SYSTEM_ID written. `def` must already be normalised
// (upper-case names, database name filled in).
Status WriteFixedRows(sql::Database& db, const LibraryDefinition& def,
                      const std::vector<const TableDef*>& tables);

// Form names every library has, all of FORM_TYPE 'P'.
inline constexpr char kDocumentForm[] = "DEFPROF";
inline constexpr char kFolderForm[] = "FOLDER_PROF";
inline constexpr char kWorkspaceForm[] = "WORKSPACE_PROF";

}  // namespace sproutsmith::schema
