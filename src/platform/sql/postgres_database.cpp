#include "platform/sql/postgres_database.h"

#include <libpq-fe.h>

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "platform/sql/dialect/standin_functions.h"
#include "text/text.h"

namespace sproutsmith::sql {
namespace {

constexpr char kPrefix[] = "[Sproutsmith][PostgreSQL] ";

// Type numbers of pg_type that read back as numbers.
constexpr unsigned kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
                   kFloat8 = 701, kNumeric = 1700;

// The type a parameter is sent as: a whole number as the server types it written as a
// literal (int4 where it fits, so SUBSTRING(x, ?, ?) finds its function); text and NULL
// untyped, for the server to type from the statement (a citext column compares as citext).
unsigned ParameterType(const Value& v) {
  switch (v.type) {
    case Value::Type::kInteger: {
      const long long n = v.AsInteger();
      return n >= -2147483648LL && n <= 2147483647LL ? kInt4 : kInt8;
    }
    case Value::Type::kReal:
      return kFloat8;
    default:
      return 0;
  }
}

std::string WithoutNewline(std::string message) {
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

// "?" outside literals, quoted names and comments becomes $1, $2, ...
std::string NumberParameters(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 8);
  int n = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      const size_t close = sql.find(c, i + 1);
      const size_t end = close == std::string_view::npos ? sql.size() : close + 1;
      out.append(sql.substr(i, end - i));
      i = end - 1;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const size_t eol = sql.find('\n', i);
      const size_t end = eol == std::string_view::npos ? sql.size() : eol;
      out.append(sql.substr(i, end - i));
      i = end - 1;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const size_t close = sql.find("*/", i + 2);
      const size_t end = close == std::string_view::npos ? sql.size() : close + 2;
      out.append(sql.substr(i, end - i));
      i = end - 1;
    } else if (c == '?') {
      out += "$" + std::to_string(++n);
    } else {
      out += c;
    }
  }
  return out;
}

Value CellValue(const PGresult* r, int row, int column) {
  if (PQgetisnull(r, row, column)) return Value::Null();
  std::string cell(PQgetvalue(r, row, column), static_cast<size_t>(PQgetlength(r, row, column)));
  switch (PQftype(r, column)) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
      return Value::Integer(std::atoll(cell.c_str()));
    case kBool:
      return Value::Integer(cell == "t" ? 1 : 0);
    case kFloat4:
    case kFloat8:
    case kNumeric: {
      // A whole number stays whole, as the DM server's integer-valued numerics read.
      if (cell.find_first_of(".eE") == std::string::npos) {
        return Value::Integer(std::atoll(cell.c_str()));
      }
      return Value::Real(std::strtod(cell.c_str(), nullptr));
    }
    default:
      return Value::Text(std::move(cell));
  }
}

// The server folds unquoted names to small letters where the DM server reports the table's
// own capitals; an unnamed expression has no heading there.
std::string Heading(const char* name) {
  std::string heading = name ? name : "";
  if (heading == "?column?") return "";
  for (char c : heading) {
    if (std::isupper(static_cast<unsigned char>(c))) return heading;
  }
  return text::UCase(heading);
}

constexpr char kLockNotAvailable[] = "55P03";

long SqlStateCode(const std::string& state) {
  if (state == kLockNotAvailable) return kBusyCode;
  if (state.size() >= 2 && std::isdigit(static_cast<unsigned char>(state[0])) &&
      std::isdigit(static_cast<unsigned char>(state[1]))) {
    const long code = (state[0] - '0') * 10 + (state[1] - '0');
    if (code != 0 && code != 9 && code != kBusyCode) return code;
  }
  return 1;  // a class with letters, or one whose number means something else here
}

ExecResult Failure(const std::string& state, const std::string& message) {
  ExecResult r;
  r.status.code = SqlStateCode(state);
  r.error_number = state.empty() ? r.status.code : std::strtol(state.c_str(), nullptr, 36);
  r.status.text = kPrefix + message;
  return r;
}

ExecResult ConnectionFailure(pg_conn* conn) {
  return Failure("08006", WithoutNewline(PQerrorMessage(conn)));
}

ExecResult FromResult(PGresult* res, pg_conn* conn) {
  if (res == nullptr) return ConnectionFailure(conn);
  ExecResult r;
  const ExecStatusType status = PQresultStatus(res);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
    const char* primary = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY);
    r = Failure(state ? state : "", primary ? primary : WithoutNewline(PQresultErrorMessage(res)));
    PQclear(res);
    return r;
  }
  const int columns = PQnfields(res);
  const int rows = PQntuples(res);
  for (int c = 0; c < columns; ++c) r.result.columns.push_back(Heading(PQfname(res, c)));
  r.result.rows.reserve(static_cast<size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    std::vector<Value> values;
    values.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) values.push_back(CellValue(res, row, c));
    r.result.rows.push_back(std::move(values));
  }
  if (columns == 0) r.rows_affected = std::atoll(PQcmdTuples(res));
  PQclear(res);
  return r;
}

}  // namespace

std::string FoldedName(const std::string& name) { return text::LCase(text::Trim(name)); }

Status CreatePostgresDatabase(const std::string& server_connection, const std::string& name) {
  Status status;
  std::unique_ptr<PostgresDatabase> admin =
      PostgresDatabase::Open(server_connection + " dbname=postgres", "public", &status);
  if (!admin) return status;
  // CREATE DATABASE takes no parameters; the name is quoted as an identifier.
  return admin->Execute("CREATE DATABASE \"" + text::Replace(name, "\"", "\"\"") + "\"").status;
}

std::unique_ptr<PostgresDatabase> PostgresDatabase::Open(const std::string& connection,
                                                         const std::string& schema, Status* status,
                                                         BusyWait busy_wait) {
  pg_conn* conn = PQconnectdb(connection.c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    if (status) {
      *status =
          Status::Error(8, kPrefix + connection + ": " + WithoutNewline(PQerrorMessage(conn)));
    }
    PQfinish(conn);
    return nullptr;
  }
  const std::string database = PQdb(conn);
  std::unique_ptr<PostgresDatabase> db(
      new PostgresDatabase(conn, database, FoldedName(schema), std::move(busy_wait)));
  // Notices (an IF NOT EXISTS that found its object) are not failures and stay off stderr.
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  const ExecResult set = db->Configure();
  if (!set.ok()) {
    if (status) *status = set.status;
    return nullptr;
  }
  if (status) *status = Status::Ok();
  return db;
}

PostgresDatabase::PostgresDatabase(pg_conn* conn, std::string database, std::string schema,
                                   BusyWait busy_wait)
    : conn_(conn),
      database_(std::move(database)),
      schema_(std::move(schema)),
      busy_(std::move(busy_wait)),
      statements_(kPreparedStatements, [this](const std::string&, std::string& name) {
        PQclear(PQexec(conn_, ("DEALLOCATE " + name).c_str()));
      }) {}

PostgresDatabase::~PostgresDatabase() { PQfinish(conn_); }

ExecResult PostgresDatabase::Configure() {
  // A second per slice, so a stop acts within one; lock_timeout 0 would wait for ever, and a
  // millisecond is as good as not waiting.
  const int slice = busy_.seconds() == 0 ? 1 : 1000;
  return FromResult(
      PQexec(conn_, ("SET search_path TO \"" + text::Replace(schema_, "\"", "\"\"") +
                     "\", public; SET DateStyle TO 'ISO, MDY'; SET standard_conforming_strings "
                     "TO on; SET lock_timeout TO " +
                     std::to_string(slice))
                        .c_str()),
      conn_);
}

std::string PostgresDatabase::Location() const {
  return "dbname=" + database_ + " schema=" + schema_;
}

void PostgresDatabase::ShareClock(std::string_view sql) {
  if (clock_ == nullptr) return;
  const std::string lower = text::LCase(std::string(sql));
  if (lower.find(dialect::kLocalNowFunction) == std::string::npos &&
      lower.find(dialect::kUtcNowFunction) == std::string::npos) {
    return;
  }
  const std::string format = "YYYY-MM-DD HH:MM:SS";
  const std::string set = "SELECT set_config('sproutsmith.local_now', '" +
                          text::Format(clock_->Now(), format) +
                          "', false), set_config('sproutsmith.utc_now', '" +
                          text::Format(clock_->UtcNow(), format) + "', false)";
  PQclear(PQexec(conn_, set.c_str()));
}

ExecResult PostgresDatabase::Run(std::string_view sql, const std::vector<Value>* params,
                                 bool prepared) {
  // A connection the server dropped gets one new attempt before the statement fails. The
  // new session has none of the old one's prepared statements.
  if (PQstatus(conn_) != CONNECTION_OK) {
    PQreset(conn_);
    if (PQstatus(conn_) != CONNECTION_OK) return ConnectionFailure(conn_);
    statements_.Clear();
    if (ExecResult set = Configure(); !set.ok()) return set;
  }
  // A script may have run part of itself: only single statements outside a transaction
  // are run again.
  const bool again = params != nullptr && PQtransactionStatus(conn_) == PQTRANS_IDLE;
  busy_.Start();
  ExecResult r = RunOnce(sql, params, prepared);
  while (again && r.status.code == kBusyCode && busy_.TryAgain()) {
    r = RunOnce(sql, params, prepared);
  }
  busy_noted_ = busy_noted_ || r.status.code == kBusyCode;
  return r;
}

namespace {

// A prepared statement that has to be prepared anew: the server no longer has it, or the
// tables it reads changed their columns since.
bool PreparedStatementLost(const PGresult* res) {
  if (PQresultStatus(res) != PGRES_FATAL_ERROR) return false;
  const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
  const char* message = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY);
  const std::string_view s = state ? state : "";
  return s == "26000" ||
         (s == "0A000" && message && std::string_view(message).find("cached plan") == 0);
}

}  // namespace

ExecResult PostgresDatabase::RunOnce(std::string_view sql, const std::vector<Value>* params,
                                     bool prepared) {
  ShareClock(sql);
  if (params == nullptr) return FromResult(PQexec(conn_, std::string(sql).c_str()), conn_);
  const std::string text = NumberParameters(sql);
  const int count = static_cast<int>(params->size());
  std::vector<unsigned> types;
  std::vector<const char*> values;
  types.reserve(params->size());
  values.reserve(params->size());
  for (const Value& v : *params) {
    types.push_back(ParameterType(v));
    values.push_back(v.IsNull() ? nullptr : v.text.c_str());
  }
  if (!prepared) {
    return FromResult(
        PQexecParams(conn_, text.c_str(), count, types.data(), values.data(), nullptr, nullptr, 0),
        conn_);
  }
  // One statement per text and kinds of values: the server fixes the types when it
  // prepares.
  std::string key;
  for (unsigned type : types) key += std::to_string(type) + ",";
  key += "\n" + text;
  for (int attempt = 0;; ++attempt) {
    std::string name;
    const bool known = statements_.Find(key) != nullptr;
    if (known) {
      name = *statements_.Find(key);
    } else {
      name = "sproutsmith_" + std::to_string(++statements_prepared_);
      PGresult* made = PQprepare(conn_, name.c_str(), text.c_str(), count, types.data());
      if (made == nullptr || PQresultStatus(made) != PGRES_COMMAND_OK) {
        return FromResult(made, conn_);
      }
      PQclear(made);
      statements_.Put(key, name);
    }
    PGresult* res =
        PQexecPrepared(conn_, name.c_str(), count, values.data(), nullptr, nullptr, 0);
    if (!known || !PreparedStatementLost(res)) return FromResult(res, conn_);
    statements_.Erase(key);
    // Inside a transaction the failure has broken it off: nothing more runs there.
    if (attempt > 0 || PQtransactionStatus(conn_) != PQTRANS_IDLE) return FromResult(res, conn_);
    PQclear(res);
    PQclear(PQexec(conn_, ("DEALLOCATE " + name).c_str()));
  }
}

namespace {

// Whether a statement may write: only those are worth a held transaction.
bool MayWrite(std::string_view sql) {
  const std::string head = text::UCase(text::Left(text::LTrim(sql.substr(0, 16)), 6));
  return head != "SELECT" && text::Left(head, 4) != "SHOW" && text::Left(head, 3) != "SET";
}

}  // namespace

ExecResult PostgresDatabase::Execute(std::string_view sql) {
  // With no parameters the extended protocol still refuses a second statement, as the
  // other back ends do.
  static const std::vector<Value> kNone;
  return RunStatement(sql, kNone, false);
}

ExecResult PostgresDatabase::Execute(std::string_view sql, const std::vector<Value>& params) {
  return RunStatement(sql, params, true);
}

ExecResult PostgresDatabase::RunStatement(std::string_view sql, const std::vector<Value>& params,
                                          bool prepare) {
  ExecResult failure;
  if (tx_.MustOpenHeld() && MayWrite(sql) && !OpenHeld(&failure)) {
    return failure;
  }
  ExecResult r = Run(sql, &params, prepare);
  if (!r.ok()) NoteBrokenTransaction();
  return r;
}

ExecResult PostgresDatabase::ExecuteScript(std::string_view script) {
  return Run(script, nullptr, false);
}

bool PostgresDatabase::Control(const std::string& sql) {
  PGresult* res = PQexec(conn_, sql.c_str());
  // COMMIT of a transaction a failed statement broke answers ROLLBACK without an error.
  const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK &&
                  (sql != "COMMIT" || std::string_view(PQcmdStatus(res)) == "COMMIT");
  PQclear(res);
  return ok;
}

void PostgresDatabase::NoteBrokenTransaction() {
  if (!tx_.held_open() || tx_.depth() > 0 || PQtransactionStatus(conn_) != PQTRANS_INERROR) {
    return;
  }
  Control("ROLLBACK");
  tx_.Lost();
}

bool PostgresDatabase::OpenHeld(ExecResult* failure) {
  if (tx_.held_lost()) {
    // Written on their own, the next writes would land without the ones lost before them.
    failure->status.code = 1;
    failure->error_number = 1;
    failure->status.text =
        "[Sproutsmith][PostgreSQL] the writes held since the last commit were rolled back";
    return false;
  }
  if (!tx_.HeldBegun(Control("BEGIN"))) {
    *failure = ConnectionFailure(conn_);
    return false;
  }
  return true;
}

bool PostgresDatabase::Begin() {
  ExecResult failure;
  if (tx_.MustOpenHeld() && !OpenHeld(&failure)) return false;
  return tx_.Begin();
}

bool PostgresDatabase::Commit() { return tx_.Commit(); }
void PostgresDatabase::Rollback() { tx_.Rollback(); }
void PostgresDatabase::HoldCommits(bool on) { tx_.HoldCommits(on); }
bool PostgresDatabase::EndHeld(bool commit) { return tx_.EndHeld(commit); }

}  // namespace sproutsmith::sql
