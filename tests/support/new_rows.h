#pragma once
// What DM users add to a library between two cycles, as the SQL that adds it: a client, a
// matter of a client, a document filed to a matter. A new document takes its application,
// author, typist and document type from the library's first document filed to a matter.

#include <string>

namespace sproutsmith::testing {

// The client of the library's first matter: a new matter of a client the cycles know.
inline constexpr char kFirstMattersClient[] =
    "(SELECT CLIENT_ID FROM MATTER WHERE SYSTEM_ID = (SELECT MIN(SYSTEM_ID) FROM MATTER))";

// `name` is an SQL expression, so that a name no literal can hold is given too.
inline std::string NewClientSql(long long id, const std::string& client_id,
                                const std::string& name) {
  return "INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) VALUES (" + std::to_string(id) +
         ", '" + client_id + "', " + name + ")";
}

// `client` is the client's SYSTEM_ID, or an SQL expression giving it.
inline std::string NewMatterSql(long long id, const std::string& client,
                                const std::string& matter_id, const std::string& name) {
  return "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) VALUES (" +
         std::to_string(id) + ", " + client + ", '" + matter_id + "', '" + name + "')";
}

inline std::string NewDocumentSql(long long number, const std::string& name, long long matter) {
  const std::string n = std::to_string(number);
  return "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION, STATUS, AUTHOR, "
         "TYPIST, MATTER, DOCUMENTTYPE, DEFAULT_RIGHTS) SELECT " +
         n + ", " + n + ", '" + name + "', APPLICATION, 0, AUTHOR, TYPIST, " +
         std::to_string(matter) +
         ", DOCUMENTTYPE, 0 FROM PROFILE WHERE DOCNUMBER = (SELECT MIN(DOCNUMBER) FROM PROFILE "
         "WHERE MATTER IS NOT NULL)";
}

}  // namespace sproutsmith::testing
