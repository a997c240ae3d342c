// Finding a folder by name under its parent or at the top of a library.

#include "folders/folder_lookup.h"

#include <cstdlib>

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::folders {

using text::Number;
using text::Quoted;
using text::Trim;
using text::UCase;

namespace {

constexpr long kSearchLength = 240;

}  // namespace

NameParse NameParse::Read(const std::string& text) {
  NameParse parse;
  parse.count = static_cast<long>(text::Val(text));
  std::string pc = UCase(Trim(text));
  if (const long slash = text::InStr(pc, "\\"); slash > 0) pc = Trim(text::Left(pc, slash - 1));
  parse.characters = pc;
  return parse;
}

std::string StampLiteral(const rules::RuleRecord& rule) {
  return "'" + std::string(kFolderStamp) + " " + dm::SqlQuote(rule.Name()) + "'";
}

bool SearchesPublicFolders(const rules::RuleRecord& rule) {
  return rule.Number(rules::RuleKey::kCreatePublicFolders) == 1;
}

std::string CollapseSpaces(std::string name) {
  for (size_t at = name.find("  "); at != std::string::npos; at = name.find("  ", at)) {
    name.erase(at, 1);
  }
  return name;
}

std::string SearchPattern(const std::string& name, const NameParse& parse) {
  std::string pattern;
  if (parse.count < 0) {
    pattern = "%" + Trim(text::Right(name, std::labs(parse.count)));
  } else if (parse.count > 0) {
    pattern = Trim(text::Left(name, parse.count)) + "%";
  } else if (parse.UsesCharacters()) {
    if (const long k = text::InStr(UCase(name), parse.characters); k > 0) {
      pattern = text::Left(name, k) + "%";
    }
  }
  return pattern.empty() ? name : pattern;
}

std::string LikeText(const std::string& pattern) {
  // Names reach the search with every "%" removed, so a "%" here is the pattern's own
  // wildcard; "_" and "[" in a name must not widen the match to other folders.
  const std::string cut = Trim(text::Left(pattern, kSearchLength));
  std::string escaped;
  for (const char c : cut) {
    escaped += c == '%' ? std::string("%") : dm::LikeLiteral(std::string(1, c));
  }
  return UCase(dm::SqlQuote(escaped));
}

namespace {

// At the top, a folder another rule stamped is that rule's tree: choosing it would rename
// it and file this rule's folders into it.
FolderMatch Choose(dm::Connection& conn, const rules::RuleRecord& rule, bool top_level) {
  const std::string own = UCase(std::string(kFolderStamp) + " " + Trim(rule.Name()));
  FolderMatch stamped, first;
  conn.ForEachRow([&] {
    FolderMatch row{static_cast<long long>(conn.ColumnNumber(1)), conn.Column(2), conn.Column(3),
                    conn.Column(4), UCase(conn.Column(5))};
    if (row.number == 0) return true;
    if (top_level && text::StartsWith(row.path, kFolderStamp) && Trim(row.path) != own) return true;
    if (first.number == 0) first = row;
    if (text::StartsWith(row.path, kFolderStamp)) {
      stamped = row;
      return false;
    }
    return true;
  });
  return stamped.number != 0 ? stamped : first;
}

}  // namespace

FolderMatch FindFolder(dm::Connection& connection, const std::string& name,
                       const dm::ItemPlace& place, const rules::RuleRecord& rule) {
  const long long parent = place.parent;
  const std::string& folder_library = place.parent_library;
  const std::string& item_library = place.library;
  const std::string q =
      LikeText(SearchPattern(name, NameParse::Read(rule[rules::RuleKey::kParseCharacters])));
  std::string statement;
  if (parent != 0) {
    statement =
        "SELECT FI.DOCNUMBER, PR.DOCNAME, RL.LIBRARY_NAME, PL.LIBRARY_NAME, '" +
        std::string(kFolderStamp) +
        "' FROM "
        "[OWNER].FOLDER_ITEM FI LEFT OUTER JOIN [OWNER].PROFILE PR ON PR.DOCNUMBER = "
        "FI.DOCNUMBER LEFT OUTER JOIN [OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY "
        "LEFT OUTER JOIN [OWNER].REMOTE_LIBRARIES PL ON PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE "
        "FI.NODE_TYPE = 'F' AND FI.PARENT = " +
        Number(parent) + " AND PL.LIBRARY_NAME = '" + dm::SqlQuote(folder_library) +
        "' AND RL.LIBRARY_NAME = '" + dm::SqlQuote(item_library) +
        "' AND UPPER(PR.DOCNAME) LIKE '" + q + "'";
  } else {
    const std::string l = dm::SqlQuote(connection.LibraryName());
    statement = "SELECT F.DOCNUMBER, P.DOCNAME, '" + l + "', '" + l +
                "', F.PATH FROM [OWNER].FOLDER F LEFT OUTER JOIN [OWNER].PROFILE P ON "
                "P.DOCNUMBER = F.DOCNUMBER LEFT OUTER JOIN [OWNER].APPS A ON A.SYSTEM_ID = "
                "P.APPLICATION WHERE UPPER(P.DOCNAME) LIKE '" +
                q + "' AND A.APPLICATION = 'FOLDER' ";
    if (SearchesPublicFolders(rule)) {
      statement += "AND F.DOCNUMBER IN (SELECT DOCNUMBER FROM [OWNER].ROOT_OBJECT) ";
    } else {
      const std::string f = dm::SqlQuote(folder_library);
      statement +=
          "AND F.DOCNUMBER NOT IN (SELECT FI.DOCNUMBER FROM [OWNER].FOLDER_ITEM FI LEFT OUTER "
          "JOIN [OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY LEFT OUTER JOIN "
          "[OWNER].REMOTE_LIBRARIES PL ON PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE FI.NODE_TYPE = "
          "'F' AND RL.LIBRARY_NAME = '" +
          f + "' AND PL.LIBRARY_NAME = '" + f + "') ";
    }
    statement += "ORDER BY F.DOCNUMBER DESC";
  }

  connection.RunSQL(statement);
  dmapi::SqlObject* sql = connection.sql();
  FolderMatch found;
  found.codes.error_code = sql != nullptr ? sql->GetSQLErrorCode() : -1;
  if (!dm::SqlSucceeded(found.codes.error_code)) {
    connection.Release();
    found.number = -1;
    return found;
  }
  const SearchCodes codes{found.codes.error_code, sql->ErrNumber(), Trim(sql->ErrDescription()),
                          std::llabs(sql->GetRowsAffected()), std::llabs(sql->GetRowCount())};
  found = Choose(connection, rule, parent == 0);
  found.codes = codes;
  connection.Release();
  return found;
}

namespace {

class Lookup {
 public:
  Lookup(Context& context, dm::Connection& connection, const rules::RuleRecord& rule)
      : c_(context), conn_(connection), rule_(rule) {}

  long long Run(std::string name, const dm::ItemPlace& place) {
    if (name.empty()) return 0;
    const long long parent = place.parent;
    dm::Reconnect back(conn_);
    log::Log& log = c_.log;
    name = CollapseSpaces(name);
    const NameParse parse = NameParse::Read(rule_[rules::RuleKey::kParseCharacters]);
    const std::string here = conn_.LibraryName();

    std::string line =
        parent != 0
            ? "Checking for existence of a folder item named " + Quoted(name) +
                  " in parent folder #" + Number(parent) + " in library " + here
            : "Checking for existence of a folder named " + Quoted(name) + " in library " + here;
    if (parse.count != 0) {
      line += " parsing " + Number(parse.count) + " character(s)";
    } else if (parse.UsesCharacters()) {
      line += " using parse character(s) " + Quoted(parse.characters);
    }
    log.AddLogAndSeparator(line);

    log.AddLogAndSeparator("The folder name search will be on " +
                           Quoted(SearchPattern(name, parse)));
    if (parent == 0 && SearchesPublicFolders(rule_)) {
      log.AddLogAndSeparator("The search will be for a Public Folder");
    }

    const FolderMatch found = FindFolder(conn_, name, place, rule_);
    if (found.number < 0) {
      log.AddLogAndSeparator("Error: Unable to process SQL statement to locate the folder '" +
                             name + "'");
      return -1;
    }
    if (found.codes.rows == 0 && parent == 0) LogDiagnostics(found.codes);

    if (parent == 0 && found.number != 0 && !text::StartsWith(found.path, kFolderStamp)) {
      conn_.RunStatement("UPDATE [OWNER].FOLDER SET PATH = " + StampLiteral(rule_) +
                         " WHERE DOCNUMBER = " + Number(found.number));
    }

    if (found.number != 0) {
      log.AddLogAndSeparator("Folder #" + Number(found.number) + " found and will be used");
      if (parse.count != 0 && UCase(found.name) != UCase(name)) Rename(found, name, parent);
    } else if (parent != 0) {
      log.AddLog("Match on folder item " + Quoted(name) + " not found in parent folder #" +
                 Number(parent) + " in library " + conn_.LibraryName());
    } else {
      log.AddLog("Top-level folder " + Quoted(name) + " not found in library " +
                 conn_.LibraryName());
    }
    log.Separator();
    return found.number;
  }

 private:
  void LogDiagnostics(const SearchCodes& codes) {
    log::Log& log = c_.log;
    log.Separator();
    log.AddLog("pSQL codes:");
    log.AddLog("GetSQLErrorCode: " + Number(codes.error_code));
    log.AddLog("ErrNumber:       " + Number(codes.error_number));
    log.AddLog("ErrDescription:  " + codes.description);
    log.AddLog("GetRowsAffected: " + Number(codes.rows_affected));
    log.AddLogAndSeparator("GetRowCount:     " + Number(codes.rows));
  }

  void Rename(const FolderMatch& found, const std::string& name, long long parent) {
    log::Log& log = c_.log;
    const std::string number = Number(found.number);
    if (conn_.ConnectLibrary(found.item_library)) {
      log.AddLogAndSeparator("Changing the profile name to " + Quoted(name) + " for folder #" +
                             number + " in library " + conn_.LibraryName());
      conn_.RunStatement("UPDATE [OWNER].PROFILE SET DOCNAME = '" + dm::SqlQuote(name) +
                         "' WHERE DOCNUMBER = " + number);
    }
    if (parent == 0) return;
    const std::string statement =
        "UPDATE [OWNER].FOLDER_ITEM SET DISPLAYNAME = '" + dm::SqlQuote(name) +
        "' WHERE DOCNUMBER = " + number + " AND PARENT = " + Number(parent) +
        " AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
        "LIBRARY_NAME = '" +
        dm::SqlQuote(found.parent_library) +
        "') AND LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" +
        dm::SqlQuote(found.item_library) + "')";
    auto rename_item = [&] {
      log.AddLogAndSeparator("Changing the folder_item displayname to " + Quoted(name) +
                             " for folder #" + number + " in library " + conn_.LibraryName());
      conn_.RunStatement(statement);
    };
    if (conn_.ConnectLibrary(found.item_library)) rename_item();
    if (found.parent_library != found.item_library && conn_.ConnectLibrary(found.parent_library)) {
      rename_item();
    }
  }

  Context& c_;
  dm::Connection& conn_;
  const rules::RuleRecord& rule_;
};

}  // namespace

long long CheckForFolder(Context& context, dm::Connection& connection,
                         const std::string& folder_name, const dm::ItemPlace& place,
                         const rules::RuleRecord& rule) {
  // A failing step must not let the caller create a second folder: a fault reads as a
  // failed search.
  return log::Trap(context.log, "CheckForFolder", -1LL,
                   [&] { return Lookup(context, connection, rule).Run(folder_name, place); });
}

}  // namespace sproutsmith::folders
