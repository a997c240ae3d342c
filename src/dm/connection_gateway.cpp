// The SQL gateway: every statement of the system reaches the library through RunSQL.

#include <cctype>
#include <cstdint>
#include <string_view>
#include <utility>

#include "dm/connection.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "platform/sql/database.h"
#include "text/text.h"

namespace sproutsmith::dm {

using runtime::MessageStyle;
using text::Format;
using text::Number;
using text::StartsWithNoCase;

namespace {

constexpr std::uint32_t kServerInterfaceNotLoaded = 0x80010105u;

// The owner placeholder, any letter case; ".QZ_" tables belong to "dbo".
std::string SubstituteOwner(const std::string& s, const std::string& owner) {
  static const std::string kPlaceholder = "[OWNER]";
  const std::string upper = text::UCase(s);
  std::string out;
  size_t i = 0;
  while (true) {
    const size_t p = upper.find(kPlaceholder, i);
    if (p == std::string::npos) break;
    out.append(s, i, p - i);
    const size_t after = p + kPlaceholder.size();
    out += s.compare(after, 4, ".QZ_") == 0 ? "dbo" : owner;
    i = after;
  }
  out.append(s, i, std::string::npos);
  return text::ReplaceNoCase(out, "{OWNER}", "[OWNER]");
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$' || c == '#';
}

// Whether `text`, without trailing blanks, ends with the word `word` (any letter case).
bool EndsWithWord(const std::string& text, std::string_view word) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r' ||
                     text[end - 1] == '\n')) {
    --end;
  }
  if (end < word.size()) return false;
  const size_t start = end - word.size();
  if (start > 0 && IsNameChar(text[start - 1])) return false;
  return text::EqualsNoCase(std::string_view(text).substr(start, word.size()), word);
}

// A pattern written with SQL Server's bracket escapes ("[[]", "[_]", "[%]") in the form
// Oracle reads with ESCAPE '\'; false when it holds no escape or a real character class,
// which Oracle cannot express.
bool OracleLikePattern(std::string_view pattern, std::string* out) {
  out->clear();
  bool escaped = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '[') {
      if (i + 2 >= pattern.size() || pattern[i + 2] != ']') return false;
      const char inner = pattern[i + 1];
      if (inner == '[') {
        *out += '[';
      } else if (inner == '_' || inner == '%') {
        *out += '\\';
        *out += inner;
      } else {
        return false;
      }
      escaped = true;
      i += 2;
    } else {
      if (c == '\\') *out += '\\';
      *out += c;
    }
  }
  return escaped;
}

// Oracle's LIKE has no "[...]": each pattern literal escaped for SQL Server is rewritten
// with Oracle's escape character. Only literals right after LIKE without an ESCAPE of
// their own are touched.
std::string OracleLikeEscapes(const std::string& s) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] != '\'') {
      out += s[i++];
      continue;
    }
    size_t end = i + 1;  // one past the closing quote ("''" stays inside)
    while (end < s.size()) {
      if (s[end] == '\'') {
        if (end + 1 < s.size() && s[end + 1] == '\'') {
          end += 2;
          continue;
        }
        ++end;
        break;
      }
      ++end;
    }
    const std::string literal = s.substr(i, end - i);
    size_t next = end;
    while (next < s.size() && s[next] == ' ') ++next;
    const bool has_escape = text::StartsWithNoCase(std::string_view(s).substr(next), "ESCAPE") &&
                            (next + 6 >= s.size() || !IsNameChar(s[next + 6]));
    std::string pattern;
    if (literal.size() >= 2 && literal.back() == '\'' && EndsWithWord(out, "LIKE") && !has_escape &&
        OracleLikePattern(std::string_view(literal).substr(1, literal.size() - 2), &pattern)) {
      out += "'" + pattern + "' ESCAPE '\\'";
    } else {
      out += literal;
    }
    i = end;
  }
  return out;
}

}  // namespace

std::string Connection::SqlQuoteName(const std::string& name) { return SqlQuote(name); }

std::string Connection::Column(int n) const {
  if (!sql_) return "";
  return sql_->ColumnValue(n).text;
}

double Connection::ColumnNumber(int n) const { return text::Val(Column(n)); }

std::string FirstRow::Text(int n) const {
  return n >= 1 && n <= static_cast<int>(values.size()) ? values[static_cast<size_t>(n - 1)] : "";
}

double FirstRow::Number(int n) const { return text::Val(Text(n)); }

bool Connection::LastSucceeded() const { return sql_ && sql_->GetSQLErrorCode() == 0; }

long long Connection::RowsAffected() const { return sql_ ? sql_->GetRowsAffected() : 0; }

void Connection::Release() {
  if (sql_) sql_->ReleaseResults();
}

std::string Connection::TakeBusyLibrary() {
  // The client tells of its own operations; a client that cannot still hands its SQL
  // object's error code to the gateway.
  const std::string noted = std::exchange(busy_library_, std::string());
  const std::string client = client_.TakeBusyLibrary();
  return noted.empty() ? client : noted;
}

void Connection::RefreshAllViews() {
  if (application_) application_->RunCommand(dmapi::kRefreshAllViews);
}

long long Connection::ForEachRow(const std::function<bool()>& row) {
  if (!sql_ || sql_->GetSQLErrorCode() != 0 || sql_->GetRowCount() == 0 || !sql_->MoveFirst()) {
    return 0;
  }
  long long visited = 0;
  do {
    ++visited;
    if (!row()) break;
  } while (sql_->MoveNext());
  return visited;
}

bool Connection::RunStatement(std::string_view text, long long* affected) {
  const bool ok = RunSQL(text) && LastSucceeded();
  if (affected != nullptr) *affected = ok ? RowsAffected() : 0;
  Release();
  return ok;
}

bool Connection::RunQuery(std::string_view text, const std::function<bool()>& row) {
  const bool ok = RunSQL(text) && LastSucceeded();
  if (ok) ForEachRow(row);
  Release();
  return ok;
}

FirstRow Connection::ReadFirstRow(std::string_view text) {
  FirstRow first;
  first.succeeded = RunQuery(text, [&] {
    for (int n = 1; n <= sql_->ColumnCount(); ++n) first.values.push_back(Column(n));
    return false;
  });
  return first;
}

std::string PrepareSqlText(std::string_view original, const ConnectionFacts& facts) {
  std::string s(original);
  if (text::EndsWith(s, "= '") || text::EndsWith(s, "='")) s += "'";
  if (facts.IsOracle()) {
    s = text::Replace(s, " <> ", " != ");
    s = text::Replace(s, " '''' ", " '' ");
    s = text::Replace(s, " != '' ", " != ' ' ");
    s = text::Replace(s, "GETUTCDATE()", "SYSDATE");
    s = text::Replace(s, "TO_DATE('',", "TO_DATE(NULL,");
    s = OracleLikeEscapes(s);
  } else {
    s = text::Replace(s, "CAST('' AS ", "CAST(NULL AS ");
    if (text::Val(facts.DatabaseVersion) < 11 || text::Val(facts.CompatibilityLevel) < 110) {
      s = text::Replace(s, "TRY_CAST", "CAST");
    }
    s = text::Replace(s, "SYSDATE", "GETUTCDATE()");
  }
  s = SubstituteOwner(s, facts.LibraryOwner);
  if (!facts.IsOracle() && !s.empty() && StartsWithNoCase(s, "SELECT ") &&
      !StartsWithNoCase(s, "SELECT INTO ") && text::InStrNoCase(s, " OPTION (MAXDOP 1)") == 0) {
    s += " OPTION (MAXDOP 1)";
  }
  return s;
}

bool Connection::RunSQL(std::string_view sql_text) {
  return log::Trap(log(), "RunSQL", false, [&] { return RunSQLBody(sql_text); });
}

bool Connection::RunSQLBody(std::string_view sql_text) {
  if (sql_text.empty()) return false;
  if (!CheckFusion("RunSQL", Repair::kSqlObject)) return false;
  auto lost = [&](const std::string& message) {
    log().Separator();
    log().AddLogAndSeparator(message);
    context_.ShowMessage(message, MessageStyle::kCritical);
    return false;
  };
  if (!sql_) return lost("Error: psql Object connection has been lost!");
  const std::string library = LibraryName();
  if (library.empty()) return lost("Error: Library Name appears to have been lost");

  sql_->ReleaseResults();
  const auto start = context_.clock.Now();
  const std::string final_text = PrepareSql(sql_text);
  log().AddLog("Executing " + facts_.EngineName + " SQL Instruction on " + library);
  log().AddLog(final_text);
  sql_->ReleaseResults();
  const int status = sql_->Execute(final_text);
  const int code = sql_->GetSQLErrorCode();
  const std::string done = "SQL Instruction Executed Successfully on " + library;
  if (status != 0 && !SqlSucceeded(code)) {
    ++failed_statements_;
    if (static_cast<std::uint32_t>(code) == kServerInterfaceNotLoaded ||
        static_cast<std::uint32_t>(status) == kServerInterfaceNotLoaded) {
      ReportServerInterfaceError();
    } else {
      if (code == sql::kBusyCode) busy_library_ = library;
      std::string message = "SQL Error #" + Number(code);
      const std::string description = StripDriverPrefixes(sql_->ErrDescription());
      if (!description.empty()) message += " (" + description + ")";
      message += " encountered in library " + library;
      log().AddLog(message);
    }
  } else if (status != 0) {
    log().AddLog(done + ".");
  } else {
    const long long affected = std::llabs(sql_->GetRowsAffected());
    const long long returned = std::llabs(sql_->GetRowCount());
    if (affected != 0) {
      log().AddLog(done + " with " + Number(affected) + " row(s) processed.");
    } else if (returned != 0) {
      log().AddLog(done + " with " + Number(returned) + " row(s) returned.");
      sql_->MoveFirst();
    } else if (StartsWithNoCase(final_text, "INSERT") || StartsWithNoCase(final_text, "UPDATE") ||
               StartsWithNoCase(final_text, "DELETE")) {
      log().AddLog("SQL Instruction Executed with nothing added or changed in library " + library);
    } else {
      log().AddLog(done + ".");
    }
    if (StartsWithNoCase(final_text, "SELECT COUNT(*)")) {
      log().AddLog("SQL Results: " + Format(ColumnNumber(1), "#0"));
    }
  }
  log().Separator();
  const long long elapsed = context_.clock.Now().ToEpochSeconds() - start.ToEpochSeconds();
  if (elapsed > 1) {
    log().AddLogAndSeparator("Note: Execution took " + Number(elapsed) + " second(s) to complete");
  }
  return true;
}

void Connection::ReportServerInterfaceError() {
  const std::string message =
      "Error: Cannot load the DOCSFusion Server Interface. The DOCSFusion server may not be "
      "started.\r\nThis is a known OpenText issue described in SD012671. Use the REGSVR32.EXE "
      "utility and register the PCDSERVERIFPS.DLL file in the following location:\r\n"
      "C:\\Program Files (x86)\\Open Text\\DM API\\PCDSERVERIFPS.DLL";
  log().AddLog(message);
  const std::string product = context_.identity.product_name;
  if (text::Val(context_.settings.Get(product, "Warning", "RegisterAPI", "0")) == 0) {
    context_.ShowMessage(message, MessageStyle::kCritical);
    context_.settings.Save(product, "Warning", "RegisterAPI", "-1");
  }
}

bool Connection::TableExists(std::string_view table_name) {
  const std::string table(table_name);
  const std::string library = LibraryName();
  log().AddLogAndSeparator("Checking for " + table + " Table in library " + library);
  const int saved = context_.options.CheckLogMethod;
  context_.options.CheckLogMethod = 0;
  std::string statement;
  if (facts_.IsOracle()) {
    statement = "SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = '" + SqlQuote(table) + "'";
  } else if (facts_.DatabaseEngine == 0) {
    statement = "SELECT COUNT(*) FROM [OWNER].DOCSTABLE WHERE UPPER(TABLE_NAME) = '" +
                text::UCase(SqlQuote(table)) + "'";
  } else {
    statement = "select count(*) from sysobjects \r\nwhere id = object_id('[OWNER]." +
                SqlQuote(table) + "') \r\nand sysstat & 0xf = 3 ";
  }
  const bool exists = ReadFirstRow(statement).Number(1) > 0;
  context_.options.CheckLogMethod = saved;
  if (!exists) {
    log().AddLogAndSeparator(table + " not found in library " + library);
  }
  return exists;
}

}  // namespace sproutsmith::dm
