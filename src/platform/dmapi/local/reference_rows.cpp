#include "platform/dmapi/local/reference_rows.h"

#include "text/text.h"

namespace sproutsmith::dmapi::local {

namespace {

// Keys hold what the statement is given, so two spellings are two questions even where the
// library would answer them alike.
std::string LookupKey(const std::string& table, const std::string& column,
                      const std::string& where_column, const sql::Value& key) {
  return table + "." + column + "." + where_column + "=" +
         std::to_string(static_cast<int>(key.type)) + ":" + key.text;
}

bool IsKeptLookupTable(const std::string& table) {
  return table == "PEOPLE" || table == "DOCUMENTTYPES" || table == "APPS" || table == "FORMS";
}

bool IsIdentifierChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool NamesWord(const std::string& upper, const std::string& word) {
  for (size_t at = upper.find(word); at != std::string::npos; at = upper.find(word, at + 1)) {
    const size_t end = at + word.size();
    if ((at == 0 || !IsIdentifierChar(upper[at - 1])) &&
        (end == upper.size() || !IsIdentifierChar(upper[end]))) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<long long> ReferenceRows::FolderApplicationId(sql::Database& db) {
  if (!folder_application_) folder_application_ = local::FolderApplicationId(db);
  return folder_application_;
}

std::optional<std::vector<FormColumnDef>> ReferenceRows::FormColumns(sql::Database& db,
                                                                     const std::string& form) {
  if (auto it = form_columns_.find(form); it != form_columns_.end()) return it->second;
  std::optional<std::vector<FormColumnDef>> columns = local::FormColumns(db, form);
  if (columns && !columns->empty()) form_columns_[form] = *columns;
  return columns;
}

std::optional<long long> ReferenceRows::FormId(sql::Database& db, const std::string& form) {
  const std::string key = text::Trim(form);
  if (auto it = form_ids_.find(key); it != form_ids_.end()) return it->second;
  const std::optional<long long> id = local::FormId(db, key);
  if (id) form_ids_[key] = *id;
  return id;
}

std::string ReferenceRows::FormName(sql::Database& db, long long form_id) {
  if (auto it = form_names_.find(form_id); it != form_names_.end()) return it->second;
  std::string name = local::FormName(db, form_id);
  if (!name.empty()) form_names_[form_id] = name;
  return name;
}

std::optional<UserRow> ReferenceRows::FindUser(sql::Database& db, const std::string& user_id) {
  const std::string key = text::Trim(user_id);
  if (auto it = users_.find(key); it != users_.end()) return it->second;
  std::optional<UserRow> user = local::FindUser(db, key);
  if (user) users_[key] = *user;
  return user;
}

bool ReferenceRows::ReadRemoteLibraryId(sql::Database& db, const std::string& library,
                                        std::optional<long long>* id) {
  const std::string key = text::Trim(library);
  if (auto it = remote_libraries_.find(key); it != remote_libraries_.end()) {
    *id = it->second;
    return true;
  }
  if (!local::ReadRemoteLibraryId(db, key, id)) return false;
  // Only a listed library is kept: one listed meanwhile must be found.
  if (*id) remote_libraries_[key] = *id;
  return true;
}

std::optional<std::vector<LookupRow>> ReferenceRows::LookupRows(sql::Database& db,
                                                                const std::string& table,
                                                                const std::string& column,
                                                                const std::string& where_column,
                                                                const sql::Value& key,
                                                                std::string* error) {
  const bool kept = IsKeptLookupTable(table);
  const std::string lookup = kept ? LookupKey(table, column, where_column, key) : "";
  if (kept) {
    if (auto it = lookups_.find(lookup); it != lookups_.end()) {
      return std::vector<LookupRow>{it->second};
    }
  }
  std::optional<std::vector<LookupRow>> rows =
      local::LookupRows(db, table, column, where_column, key, error);
  if (kept && rows && rows->size() == 1) lookups_[lookup] = rows->front();
  return rows;
}

void ReferenceRows::Forget() { *this = ReferenceRows(); }

namespace {

constexpr const char* kKeptTables[] = {"APPS",   "FORMS",         "STANDIN_FORM_COLUMNS",
                                       "PEOPLE", "DOCUMENTTYPES", "REMOTE_LIBRARIES"};

// Reads a statement word by word, in capitals.
class Words {
 public:
  explicit Words(const std::string& upper) : text_(upper) {}
  bool Skip(const char* word) {
    const size_t from = at_;
    if (Next() == word) return true;
    at_ = from;
    return false;
  }
  std::string Next() {
    while (at_ < text_.size() && (IsSpace(text_[at_]) || text_[at_] == '(')) ++at_;
    const size_t from = at_;
    while (at_ < text_.size() && IsIdentifierChar(text_[at_])) ++at_;
    return text_.substr(from, at_ - from);
  }
  // A table name, perhaps quoted and with its owner: the table's own part, unquoted.
  std::string Table() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
    std::string part;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '.') {
        part.clear();
      } else if (IsIdentifierChar(c)) {
        part += c;
      } else if (c != '"' && c != '[' && c != ']' && c != '`') {
        break;
      }
      ++at_;
    }
    return part;
  }
  // Whether another statement follows this one.
  bool MoreStatements() const {
    const size_t semicolon = text_.find(';', at_);
    return semicolon != std::string::npos &&
           text_.find_first_not_of(" \t\r\n;", semicolon) != std::string::npos;
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  const std::string& text_;
  size_t at_ = 0;
};

}  // namespace

bool MayWriteReferenceRows(std::string_view statement) {
  // Most statements read: tell them by their first word, before copying the whole text.
  const std::string head = text::LTrim(statement.substr(0, 16));
  if (head.size() >= 7 && text::StartsWithNoCase(head, "SELECT") &&
      !IsIdentifierChar(head[6])) {
    return false;
  }
  const std::string upper = text::UCase(std::string(statement));
  Words words(upper);
  const std::string verb = words.Next();
  if (verb == "SELECT") return false;
  // The table an INSERT, UPDATE or DELETE writes; what it only reads does not change.
  std::string target;
  if (verb == "UPDATE") {
    if (words.Skip("OR")) words.Next();
    words.Skip("ONLY");
    target = words.Table();
  } else if (verb == "INSERT" || verb == "REPLACE") {
    if (words.Skip("OR")) words.Next();
    if (words.Skip("INTO")) target = words.Table();
  } else if (verb == "DELETE") {
    words.Skip("FROM");
    words.Skip("ONLY");
    target = words.Table();
  }
  if (target.empty() || words.MoreStatements()) {
    // Anything else (definitions, a WITH before the write, several statements): any kept
    // table it names may be written.
    for (const char* table : kKeptTables) {
      if (NamesWord(upper, table)) return true;
    }
    return false;
  }
  for (const char* table : kKeptTables) {
    if (target == table) return true;
  }
  return false;
}

}  // namespace sproutsmith::dmapi::local
