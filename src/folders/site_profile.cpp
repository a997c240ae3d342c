// The HOLLOWBRINK site's profile update of new folders.

#include "folders/site_profile.h"

#include "dm/sql_text.h"
#include "text/text.h"

namespace sproutsmith::folders {

using text::Number;
using text::Trim;
using text::UCase;

namespace {

// A top folder named after a client ("C0001 ...") gets the client's first matter.
void FirstMatterOfClient(dm::Connection& connection, const std::string& client_id,
                         long long folder) {
  const std::string client =
      "CLIENT_ID = (SELECT SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_ID = '" +
      dm::SqlQuote(client_id) + "')";
  // Oracle has no TOP; the lowest number is the first one in SYSTEM_ID order.
  connection.RunStatement(
      connection.facts().IsOracle()
          ? "UPDATE [OWNER].PROFILE SET MATTER = (SELECT MIN(SYSTEM_ID) FROM [OWNER].MATTER "
            "WHERE " +
                client + ") WHERE DOCNUMBER = " + Number(folder)
          : "UPDATE [OWNER].PROFILE SET MATTER = (SELECT TOP 1 SYSTEM_ID FROM [OWNER].MATTER "
            "WHERE " +
                client + " ORDER BY SYSTEM_ID) WHERE DOCNUMBER = " + Number(folder));
}

// Levels 1 and 2 take their matter from the names the folder was given.
void MatterFromName(dm::Connection& connection, int level, long long folder) {
  const dm::FirstRow row = connection.ReadFirstRow(
      "SELECT P.DOCNAME, M.MATTER_ID, C.CLIENT_ID FROM [OWNER].PROFILE P, [OWNER].MATTER M, "
      "[OWNER].CLIENT C WHERE P.MATTER = M.SYSTEM_ID AND M.CLIENT_ID = C.SYSTEM_ID AND "
      "P.DOCNUMBER = " +
      Number(folder));
  const std::string d = row.Text(1), m = row.Text(2), c = row.Text(3);
  const std::string k = text::Left(d, static_cast<long>(c.size()));
  if (level == 1) {
    if (!text::StartsWith(d, c + " ") && !k.empty()) FirstMatterOfClient(connection, k, folder);
    return;
  }
  std::string t;
  if (const size_t dot = d.find('.'); dot != std::string::npos) {
    t = d.substr(dot + 1);
    if (const size_t blank = t.find(' '); blank != std::string::npos) t = t.substr(0, blank);
  }
  if (text::StartsWith(d, c + " ." + m + " ") || k.empty() || t.empty()) return;
  connection.RunStatement(
      "UPDATE [OWNER].PROFILE SET  MATTER = (SELECT SYSTEM_ID FROM [OWNER].MATTER WHERE "
      "MATTER_ID = '" +
      dm::SqlQuote(t) +
      "' AND CLIENT_ID = (SELECT SYSTEM_ID FROM [OWNER].CLIENT WHERE CLIENT_ID = '" +
      dm::SqlQuote(k) + "')) WHERE DOCNUMBER = " + Number(folder));
}

}  // namespace

std::vector<SiteLookup> ReadSiteLookups(Context& context, dm::Connection& connection) {
  std::vector<SiteLookup> lookups;
  if (UCase(context.state.SiteName).find("HOLLOWBRINK") == std::string::npos) return lookups;
  connection.RunQuery(
      "SELECT DISTINCT COLNAME, FTBNAME FROM [OWNER].DOCSCOLUMN WHERE COLNAME IN ('DIVISION', "
      "'ATTY') AND TBNAME = 'PROFILE'",
      [&] {
        SiteLookup row;
        row.column = Trim(connection.Column(1));
        if (row.column.empty()) return false;
        row.table = Trim(connection.Column(2));
        const std::string upper = UCase(row.column);
        row.default_key = upper == "DIVISION" ? "SP" : upper == "ATTY" ? "DMADMIN" : "";
        lookups.push_back(row);
        return true;
      });
  for (SiteLookup& row : lookups) {
    if (row.table.empty()) continue;
    row.key_column =
        Trim(connection
                 .ReadFirstRow("SELECT COLNAME FROM [OWNER].DOCSCOLUMN WHERE TBNAME = '" +
                               dm::SqlQuote(row.table) + "' AND CMSKEY = 'C'")
                 .Text(1));
  }
  for (SiteLookup& row : lookups) {
    if (row.table.empty() || row.key_column.empty() || row.default_key.empty()) continue;
    row.assignment = row.column + " = (SELECT SYSTEM_ID FROM [OWNER]." + row.table + " WHERE " +
                     row.key_column + " = '" + dm::SqlQuote(row.default_key) + "')";
  }
  return lookups;
}

void UpdateSiteProfile(Context& context, dm::Connection& connection, const std::string& rule,
                       const std::vector<SiteLookup>& lookups, int level, long long folder) {
  log::Log& log = context.log;
  const std::string& site = context.state.SiteName;
  log.SetStatus("Processing special Profile update for " + site + " rule '" + rule + "'");
  log.Separator();
  if (level == 1 || level == 2) MatterFromName(connection, level, folder);
  for (const SiteLookup& lookup : lookups) {
    if (lookup.assignment.empty()) continue;
    connection.RunStatement("UPDATE [OWNER].PROFILE SET " + lookup.assignment +
                            " WHERE DOCNUMBER = " + Number(folder));
  }
  log.AddLogAndSeparator("Finished processing special functions for " + site);
}

}  // namespace sproutsmith::folders
