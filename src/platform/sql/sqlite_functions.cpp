#include "platform/sql/sqlite_functions.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/sql/database.h"
#include "platform/sql/dialect/standin_functions.h"
#include "platform/sql/sqlite_cast.h"
#include "platform/sql/sqlite_like.h"
#include "text/text.h"

namespace sproutsmith::sql {
namespace {

std::string_view TextOf(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// like(pattern, value [, escape]): SQLite calls it for "value LIKE pattern [ESCAPE e]".
void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  }
  std::optional<char32_t> escape;
  if (argc == 3) {
    const std::string_view e = TextOf(argv[2]);
    // One character, possibly several UTF-8 bytes.
    size_t characters = 0;
    for (char c : e) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    if (characters != 1) {
      return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
    }
    if (e.size() == 1) {
      escape = static_cast<unsigned char>(e[0]);
    } else {
      // Decode the one multi-byte character.
      char32_t cp = static_cast<unsigned char>(e[0]) & (0x3F >> (e.size() - 1));
      for (size_t k = 1; k < e.size(); ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(e[k]) & 0x3F);
      escape = cp;
    }
  }
  sqlite3_result_int(ctx, MicrosoftLike(TextOf(argv[0]), TextOf(argv[1]), escape) ? 1 : 0);
}

void Now(sqlite3_context* ctx, bool utc) {
  static const os::SystemClock machine;
  const auto* source = static_cast<const SqliteClock*>(sqlite3_user_data(ctx));
  const os::Clock& clock = source ? source->clock() : machine;
  try {
    ResultText(ctx, text::Format(utc ? clock.UtcNow() : clock.Now(), "YYYY-MM-DD HH:NN:SS"));
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

void LocalNow(sqlite3_context* ctx, int, sqlite3_value**) { Now(ctx, false); }
void UtcNow(sqlite3_context* ctx, int, sqlite3_value**) { Now(ctx, true); }

void Version(sqlite3_context* ctx, int, sqlite3_value**) {
  ResultText(ctx, std::string(dialect::kVersionBanner) + sqlite3_libversion() + ")");
}

// The library's owner as its own REMOTE_LIBRARIES row has it; NULL when there is no such
// table or row.
void LibraryOwner(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT OWNER FROM REMOTE_LIBRARIES WHERE SYSTEM_ID = 0", -1, &stmt,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return sqlite3_result_null(ctx);
  }
  if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
    ResultText(ctx, std::string(TextOf(sqlite3_column_value(stmt, 0))));
  } else {
    sqlite3_result_null(ctx);
  }
  sqlite3_finalize(stmt);
}

Value ToValue(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      return Value::Null();
    case SQLITE_INTEGER:
      return Value::Integer(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      return Value::Real(sqlite3_value_double(v));
    default:
      return Value::Text(std::string(TextOf(v)));
  }
}

void SetResult(sqlite3_context* ctx, const Value& v) {
  switch (v.type) {
    case Value::Type::kNull:
      return sqlite3_result_null(ctx);
    case Value::Type::kInteger:
      return sqlite3_result_int64(ctx, v.AsInteger());
    case Value::Type::kReal:
      return sqlite3_result_double(ctx, std::strtod(v.text.c_str(), nullptr));
    case Value::Type::kText:
      return ResultText(ctx, v.text);
  }
}

void Convert(sqlite3_context* ctx, sqlite3_value** argv, bool try_cast) {
  const Value value = ToValue(argv[0]);
  const std::string type(TextOf(argv[1]));
  Value out;
  if (SqlServerConvert(value, type, &out)) return SetResult(ctx, out);
  if (try_cast) return sqlite3_result_null(ctx);
  const std::string message = "Conversion failed when converting the value '" + value.text +
                              "' to data type " + text::LCase(type) + ".";
  sqlite3_result_error(ctx, message.c_str(), -1);
}

// The number a string converts to beside a number: blanks around it allowed, "" is 0.
std::optional<double> StringNumber(std::string_view s, bool blank_is_zero) {
  const std::string trimmed = text::Trim(std::string(s));
  if (trimmed.empty()) return blank_is_zero ? std::optional<double>(0) : std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(trimmed.c_str(), &end);
  if (end != trimmed.c_str() + trimmed.size()) return std::nullopt;
  return v;
}

bool IsNumeric(sqlite3_value* v) {
  const int type = sqlite3_value_type(v);
  return type == SQLITE_INTEGER || type == SQLITE_FLOAT;
}

void AddNumbers(sqlite3_context* ctx, sqlite3_value* a, sqlite3_value* b) {
  sqlite3_int64 sum = 0;
  if (sqlite3_value_type(a) == SQLITE_INTEGER && sqlite3_value_type(b) == SQLITE_INTEGER &&
      !__builtin_add_overflow(sqlite3_value_int64(a), sqlite3_value_int64(b), &sum)) {
    return sqlite3_result_int64(ctx, sum);
  }
  sqlite3_result_double(ctx, sqlite3_value_double(a) + sqlite3_value_double(b));
}

// a + b with a string on one side and a number on the other: the string converts or the
// statement fails.
void AddConverted(sqlite3_context* ctx, sqlite3_value* number, sqlite3_value* string,
                  bool blank_is_zero, const char* failure) {
  const std::optional<double> converted = StringNumber(TextOf(string), blank_is_zero);
  if (!converted) {
    const std::string message =
        failure + ("'" + std::string(TextOf(string)) + "'") + " to a number.";
    return sqlite3_result_error(ctx, message.c_str(), -1);
  }
  const double v = *converted;
  if (sqlite3_value_type(number) == SQLITE_INTEGER &&
      v == static_cast<double>(static_cast<long long>(v)) && std::abs(v) < 9e15) {
    return sqlite3_result_int64(ctx, sqlite3_value_int64(number) + static_cast<long long>(v));
  }
  sqlite3_result_double(ctx, sqlite3_value_double(number) + v);
}

void MicrosoftAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* a = argv[0];
  sqlite3_value* b = argv[1];
  if (sqlite3_value_type(a) == SQLITE_NULL || sqlite3_value_type(b) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  if (IsNumeric(a) && IsNumeric(b)) return AddNumbers(ctx, a, b);
  if (!IsNumeric(a) && !IsNumeric(b)) {
    std::string joined(TextOf(a));
    joined += TextOf(b);
    return ResultText(ctx, joined);
  }
  const char* failure = "Conversion failed when converting the varchar value ";
  if (IsNumeric(a)) return AddConverted(ctx, a, b, true, failure);
  AddConverted(ctx, b, a, true, failure);
}

void OracleAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* a = argv[0];
  sqlite3_value* b = argv[1];
  if (sqlite3_value_type(a) == SQLITE_NULL || sqlite3_value_type(b) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  if (IsNumeric(a) && IsNumeric(b)) return AddNumbers(ctx, a, b);
  const char* failure = "ORA-01722: invalid number: cannot convert ";
  std::optional<double> left = IsNumeric(a) ? std::optional<double>(sqlite3_value_double(a))
                                            : StringNumber(TextOf(a), false);
  std::optional<double> right = IsNumeric(b) ? std::optional<double>(sqlite3_value_double(b))
                                             : StringNumber(TextOf(b), false);
  if (!left || !right) {
    const std::string message =
        failure + ("'" + std::string(TextOf(left ? b : a)) + "'") + " to a number.";
    return sqlite3_result_error(ctx, message.c_str(), -1);
  }
  const double sum = *left + *right;
  if (sum == static_cast<double>(static_cast<long long>(sum)) && std::abs(sum) < 9e15) {
    return sqlite3_result_int64(ctx, static_cast<long long>(sum));
  }
  sqlite3_result_double(ctx, sum);
}

void OracleConcat(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string joined(TextOf(argv[0]));
  joined += TextOf(argv[1]);
  if (joined.empty()) return sqlite3_result_null(ctx);
  ResultText(ctx, joined);
}

void Refuse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const std::string message(TextOf(argv[0]));
  sqlite3_result_error(ctx, message.c_str(), -1);
}

void Cast(sqlite3_context* ctx, int, sqlite3_value** argv) { Convert(ctx, argv, false); }
void TryCast(sqlite3_context* ctx, int, sqlite3_value** argv) { Convert(ctx, argv, true); }

}  // namespace

int RegisterSqliteFunctions(sqlite3* db, const SqliteClock* clock) {
  struct Registration {
    const char* name;
    int args;
    bool deterministic;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  const Registration registrations[] = {
      {"like", 2, true, Like},
      {"like", 3, true, Like},
      {dialect::kLocalNowFunction, 0, false, LocalNow},
      {dialect::kUtcNowFunction, 0, false, UtcNow},
      {dialect::kVersionFunction, 0, true, Version},
      {dialect::kLibraryOwnerFunction, 0, false, LibraryOwner},
      {dialect::kCastFunction, 2, true, Cast},
      {dialect::kTryCastFunction, 2, true, TryCast},
      {dialect::kMicrosoftAddFunction, 2, true, MicrosoftAdd},
      {dialect::kOracleAddFunction, 2, true, OracleAdd},
      {dialect::kOracleConcatFunction, 2, true, OracleConcat},
      {dialect::kRefuseFunction, 1, false, Refuse},
  };
  for (const Registration& r : registrations) {
    const int flags = SQLITE_UTF8 | (r.deterministic ? SQLITE_DETERMINISTIC : 0);
    const int rc =
        sqlite3_create_function_v2(db, r.name, r.args, flags, const_cast<SqliteClock*>(clock), r.fn,
                                   nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

}  // namespace sproutsmith::sql
