#pragma once
// Demo and test data for a freshly provisioned library: clients, matters, document types,
// practice groups, people, documents with their versions, the stand-in's rights and, on
// request, folder-building rules. Deterministic: the same options give the same rows.

#include <string>

#include "platform/os/status.h"
#include "platform/sql/database.h"

namespace sproutsmith::schema {

struct GeneratorOptions {
  int clients = 20;
  int matters_per_client = 3;
  int document_types = 5;  // besides the fixed 'FOLDER' type
  int people = 8;          // besides the login user
  int documents_per_matter = 2;
  unsigned seed = 1;
  std::string login_user = "DMADMIN";
  bool with_rules = true;
};

// Names of the rules written with `with_rules`.
inline constexpr char kClientMattersRule[] = "CLIENT MATTERS";  // the default matter template
inline constexpr char kClientsRule[] = "CLIENTS";               // one folder per client
inline constexpr char kClientsTemplate[] = "%CLIENTS% %\\% %MATTER.CLIENT_ID.CLIENT_ID%";

// Fills a provisioned library that holds no people and no clients yet. One transaction:
// on failure nothing is written and the failure says why.
//
// Rows written: CLIENT ('C0001', ...), MATTER ('0001', ... per client), DOCUMENTTYPES
// ('CORR', 'MEMO', ...), GROUPS (practice groups, UNIV_ACCESS 127), PEOPLE (the login user
// in DOCS_SUPERVISORS, the others in DOCS_USERS and a practice group), PEOPLEGROUPS,
// PROFILE (documents only; each matter gets some of the types, never all of them when
// there are two or more), VERSIONS (one per document), STANDIN_RIGHTS (all three rights
// for the login user, some for the first three others, an explicit refusal for the
// fourth) and, with rules, QUIL_SETTINGS rule and setting rows. SYSTEM_IDs, DOCNUMBERs
// and VERSION_IDs come from the key counter.
Status GenerateTestData(sql::Database& db, const GeneratorOptions& options);

}  // namespace sproutsmith::schema
