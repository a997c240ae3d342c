#pragma once
// The DM library schema and its provisioning. A library is one database holding the DM
// tables (PROFILE, FOLDER, FOLDER_ITEM, ...), their data-dictionary rows (DOCSCOLUMN,
// DOCSTABLE), the fixed rows the engine's statements rely on, the system's own QUIL_*
// tables and the DM server stand-in's STANDIN_* tables (table_definitions.cpp lists every
// column).
//
// Text key columns that the engine compares with "=" (LIBRARY_NAME, USER_ID, GROUP_ID,
// APPLICATION, FORM_NAME, TBNAME, COLNAME, TABLE_NAME, MASTER_KEY, SECTION_KEY, SUB_KEY,
// RULE_NAME, CLIENT_ID, MATTER_ID, TYPE_ID, DOCNAME, DISPLAYNAME, ...) compare and sort
// case-insensitively, as on the DM server.
//
// Fixed rows of a new library:
//   REMOTE_LIBRARIES  SYSTEM_ID 0 = this library (name in capitals), one row per other one
//   GROUPS            DOCS_USERS (SYSTEM_ID 0, UNIV_ACCESS 63), DOCS_SUPERVISORS (255)
//   APPS              FOLDER, MS WORD, MS EXCEL, ACROBAT, MS OUTLOOK
//   FORMS             DEFPROF, FOLDER_PROF, WORKSPACE_PROF (all FORM_TYPE 'P')
//   DOCUMENTTYPES     FOLDER
//   DOCSCOLUMN        the foreign keys PROFILE.MATTER/DOCUMENTTYPE/AUTHOR/TYPIST/APPLICATION,
//                     MATTER.CLIENT_ID, PEOPLE.PRIMARY_GROUP; PROFILE.SECURITY_LINK when
//                     SEC_REASON exists; the code columns (CMSKEY 'C') of the lookup tables
//   DOCSTABLE         every DM and QUIL table present; CLIENT, MATTER, DOCUMENTTYPES as
//                     validation tables
//   STANDIN_*         key counter, DOCSParms.UniqueDocNames '0', the description, the
//                     sys.databases row, the profile columns of the three forms
// No PEOPLE and no SEC_REASON row: people come from the generator or the administrator,
// code 98 from the engine. FOLDER has no LAST_UPDATE column: the engine adds it (and its
// DOCSCOLUMN row) itself when it first prepares the library.
//
// PROFILE also has ABSTRACT (a folder's description), CREATION_DATE and LAST_EDIT_DATE;
// dates are 'YYYY-MM-DD HH:MM:SS' text.

#include <string>
#include <utility>
#include <vector>

#include "platform/os/status.h"
#include "platform/sql/database.h"

namespace sproutsmith::schema {

struct LibraryDefinition {
  std::string name;  // library name, stored upper case in REMOTE_LIBRARIES ("DEMO")
  std::string description;
  std::string owner = "DOCSADM";
  std::string database_name;  // DATABASE_NAME of the own REMOTE_LIBRARIES row (default: name)
  int engine_code = 10;       // REMOTE_LIBRARIES.DATABASE_ENGINE reported for this library
  // The installation's other libraries, one REMOTE_LIBRARIES row each.
  struct OtherLibrary {
    std::string name;
    int engine_code = 10;
    std::string owner;  // its table owner; "" when it is this library's owner
  };
  std::vector<OtherLibrary> other_libraries;
  bool with_quil_tables = true;      // QUIL_SETTINGS, QUIL_SPROUTSMITH, NEEDS_FOLDERING
  bool with_optional_tables = true;  // NEEDS_SECURING, SEC_REASON, LOOKUP_SECURITY, ...
  std::string server_location;       // REMOTE_LIBRARIES.SERVER_LOCATION (default: "localhost")
};

// STANDIN_PARAMETERS row that keeps LibraryDefinition::description.
inline constexpr char kDescriptionParameter[] = "Library.Description";

// The key counter that hands out SYSTEM_IDs and document numbers (STANDIN_KEYS.KEY_NAME).
inline constexpr char kSystemKey[] = "SYSTEMKEY";

// Fixed SYSTEM_IDs of rows every library has. DOCS_USERS is 0 so that a SECURITY row with
// PERSONORGROUP 0 and one naming the group by its id are the same trustee.
inline constexpr long long kDocsUsersGroupId = 0;
inline constexpr long long kOwnLibraryId = 0;  // REMOTE_LIBRARIES row of the library itself

// Creates every table, index, data-dictionary row and fixed row of an empty DM library.
// A failure names the failing statement; all or nothing. Refuses a database that already
// holds any table (a DM library or anything else).
Status ProvisionLibrary(sql::Database& db, const LibraryDefinition& def);

// The query listing the database's own tables (the library's schema on PostgreSQL), one
// upper-case name per row.
const char* TableListSql(sql::Backend backend);

// True when the database holds a DM library (the tables a library cannot do without).
bool IsDmLibrary(sql::Database& db);

// Hands out the next `count` numbers of the key counter and returns the first of them
// (0 on failure). Keeps the counter above every number handed out. For generators and
// tools that write rows outside a DM operation.
long long AllocateKeys(sql::Database& db, long long count, std::string* error);

}  // namespace sproutsmith::schema
