#include "platform/dmapi/local/local_sql_object.h"

#include <exception>
#include <map>

#include "platform/dmapi/engine_codes.h"
#include "platform/dmapi/local/library_queries.h"
#include "platform/dmapi/local/reference_rows.h"
#include "platform/dmapi/results.h"
#include "platform/schema/library_schema.h"
#include "platform/schema/table_definitions.h"
#include "platform/sql/dialect/translation_cache.h"

namespace sproutsmith::dmapi::local {

namespace {

constexpr char kPrefix[] = "[Sproutsmith][DM] ";

class LocalSqlObject final : public SqlObject {
 public:
  explicit LocalSqlObject(std::shared_ptr<Server> server) : server_(std::move(server)) {}

  void AttachToken(const std::string& token) override { token_ = token; }

  int AttachLibrary(const std::string& library_name) override {
    Clear();
    db_ = nullptr;
    translation_ = nullptr;
    engine_code_ = 0;
    if (token_.empty() || token_ != server_->token()) {
      return Fail(kErrNotAttached, "The login token is missing or not valid");
    }
    const int index = server_->Find(library_name);
    if (index < 0) {
      return Fail(kErrNoSuchLibrary,
                  "Library '" + library_name + "' is not one of the user's libraries");
    }
    std::string error;
    sql::Database* db = server_->Open(index, &error);
    if (db == nullptr) {
      return Fail(kErrNoSuchLibrary,
                  "Library '" + server_->library(index).name + "' cannot be reached: " + error);
    }
    const LibraryConfig& lib = server_->library(index);
    db_ = db;
    index_ = index;
    engine_code_ = lib.engine_code;
    // A client that cannot tell the engine still talks to a server of some flavour: the
    // one the library's own row names.
    int flavour_code = lib.engine_code;
    if (flavour_code == 0) {
      flavour_code = static_cast<int>(
          QueryId(*db, "SELECT DATABASE_ENGINE FROM REMOTE_LIBRARIES WHERE SYSTEM_ID = ?",
                  {sql::Value::Integer(schema::kOwnLibraryId)})
              .value_or(0));
    }
    sql::TranslateOptions options;
    options.flavour =
        dmapi::IsOracleEngine(flavour_code) ? sql::Flavour::kOracle : sql::Flavour::kMicrosoft;
    options.target = db->backend();
    options.owners = {lib.owner, "dbo"};
    options.non_null_integer_columns = schema::NonNullIntegerColumns();
    // A library's shapes translate the same way for as long as its options stay.
    std::unique_ptr<sql::TranslationCache>& cache = translations_[index];
    if (!cache || cache->options() != options) {
      cache = std::make_unique<sql::TranslationCache>(std::move(options));
    }
    translation_ = cache.get();
    return 0;
  }

  int EngineCode() const override { return engine_code_; }

  int Execute(const std::string& text) override {
    Clear();
    if (db_ == nullptr) return Fail(kErrNotAttached, "No library is attached");
    try {
      if (MayWriteReferenceRows(text)) server_->reference_rows(index_).Forget();
      last_ = translation_->Execute(*db_, text);
    } catch (const std::exception& e) {
      return Fail(kErrDatabase, e.what());
    } catch (...) {
      return Fail(kErrDatabase, "Unexpected failure while executing the statement");
    }
    return static_cast<int>(last_.status.code);
  }

  int GetSQLErrorCode() const override { return static_cast<int>(last_.status.code); }
  long ErrNumber() const override { return last_.error_number; }
  std::string ErrDescription() const override { return last_.status.text; }
  long long GetRowsAffected() const override { return last_.rows_affected; }
  long long GetRowCount() const override {
    return static_cast<long long>(last_.result.rows.size());
  }
  int ColumnCount() const override { return static_cast<int>(last_.result.columns.size()); }
  std::string ColumnName(int column) const override {
    if (column < 1 || column > ColumnCount()) return "";
    return last_.result.columns[column - 1];
  }
  sql::Value ColumnValue(int column) const override {
    if (column < 1 || column > ColumnCount() || row_ >= last_.result.rows.size()) {
      return sql::Value::Null();
    }
    return last_.result.rows[row_][column - 1];
  }
  bool MoveFirst() override {
    row_ = 0;
    return !last_.result.rows.empty();
  }
  bool MoveNext() override {
    if (row_ < last_.result.rows.size()) ++row_;
    return row_ < last_.result.rows.size();
  }
  // Errors stay readable until the next statement; only the rows go.
  void ReleaseResults() override {
    last_.result = {};
    last_.rows_affected = 0;
    row_ = 0;
  }

  long long AllocateKey(const std::string& key_name) override {
    Clear();
    if (db_ == nullptr) {
      Fail(kErrNotAttached, "No library is attached");
      return 0;
    }
    std::string error;
    const long long key = server_->keys(index_).Next(*db_, key_name, &error);
    if (key == 0) Fail(kErrDatabase, error);
    return key;
  }

 private:
  void Clear() {
    last_ = {};
    row_ = 0;
  }
  int Fail(long code, const std::string& message) {
    last_ = {};
    last_.status.code = static_cast<int>(code);
    last_.error_number = code;
    last_.status.text = message.rfind("[", 0) == 0 ? message : std::string(kPrefix) + message;
    return static_cast<int>(last_.status.code);
  }

  std::shared_ptr<Server> server_;
  std::string token_;
  sql::Database* db_ = nullptr;
  int index_ = 0;  // the attached library's, while db_ is set
  int engine_code_ = 0;
  // Per library index; the attached library's.
  std::map<int, std::unique_ptr<sql::TranslationCache>> translations_;
  sql::TranslationCache* translation_ = nullptr;
  sql::ExecResult last_;
  size_t row_ = 0;
};

}  // namespace

std::unique_ptr<SqlObject> MakeSqlObject(std::shared_ptr<Server> server) {
  return std::make_unique<LocalSqlObject>(std::move(server));
}

}  // namespace sproutsmith::dmapi::local
