#pragma once
// The reference rows of one library that a client reads again and again: the FOLDER
// application's id, forms and their columns, people by user id, the rows of PEOPLE,
// DOCUMENTTYPES, APPS and FORMS behind lookup columns, and REMOTE_LIBRARIES ids. A DM client
// keeps such rows for its session; the stand-in keeps them until the server forgets them
// (Server::ForgetReferenceRows), which happens to every library's at each of these moments:
//
//  - a user logs on: every session of the engine starts so;
//  - a search flag is set: the engine sets the search libraries before it builds a rule's
//    rows, after them, and at the end of every cycle, so a row that people or other programs
//    added, changed or removed is read afresh by the next rule, and in the next cycle;
//
// and to one library's when a statement passed through to it may write one of those tables
// (MayWriteReferenceRows). Within those bounds a change made behind the client's back is not
// seen; that is the price of reading each row once. Switching libraries is no such moment: a
// rule whose folders live in another library switches for every folder.
//
// Only answers read successfully are kept. A user id, a lookup value or a form that matched
// no row is asked again each time, so a row added meanwhile is found at once. Rights (groups,
// memberships, STANDIN_RIGHTS), parameters, profile defaults and documents are never kept
// here: the operations that decide with them read them every time.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dmapi/local/library_queries.h"

namespace sproutsmith::dmapi::local {

class ReferenceRows {
 public:
  std::optional<long long> FolderApplicationId(sql::Database& db);
  std::optional<std::vector<FormColumnDef>> FormColumns(sql::Database& db,
                                                        const std::string& form);
  std::optional<long long> FormId(sql::Database& db, const std::string& form);
  std::string FormName(sql::Database& db, long long form_id);
  std::optional<UserRow> FindUser(sql::Database& db, const std::string& user_id);
  bool ReadRemoteLibraryId(sql::Database& db, const std::string& library,
                           std::optional<long long>* id);
  // As LookupRows; answers from PEOPLE, DOCUMENTTYPES, APPS and FORMS that found exactly one
  // row are kept, other tables (clients, matters: the engine's source rows) are always read.
  std::optional<std::vector<LookupRow>> LookupRows(sql::Database& db, const std::string& table,
                                                   const std::string& column,
                                                   const std::string& where_column,
                                                   const sql::Value& key, std::string* error);

  void Forget();

 private:
  std::optional<long long> folder_application_;
  std::map<std::string, std::vector<FormColumnDef>> form_columns_;
  std::map<std::string, long long> form_ids_;
  std::map<long long, std::string> form_names_;
  std::map<std::string, UserRow> users_;  // by user id in capitals
  std::map<std::string, std::optional<long long>> remote_libraries_;
  std::map<std::string, LookupRow> lookups_;
};

// Whether a statement may change rows that ReferenceRows keeps: an INSERT, UPDATE or DELETE
// of one of their tables, or any other statement but a SELECT that names one (definitions,
// a write behind a WITH, several statements in one text).
bool MayWriteReferenceRows(std::string_view statement);

}  // namespace sproutsmith::dmapi::local
