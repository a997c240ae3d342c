#include "platform/dmapi/local/document.h"

#include <map>

#include "platform/schema/fixed_rows.h"
#include "platform/schema/library_schema.h"
#include "text/text.h"

namespace sproutsmith::dmapi::local {

using sql::Value;

namespace {

// Activity types a DM server logs when it creates a document (created, profile saved,
// version saved); the engine deletes them again after building a folder.
constexpr int kCreationActivities[] = {45, 46, 47};

bool IsReadOnlyColumn(const std::string& sql_column) {
  return sql_column.empty() || sql_column == "SYSTEM_ID" || sql_column == "DOCNUMBER" ||
         sql_column == "FORM" || sql_column == "CREATION_DATE" || sql_column == "LAST_EDIT_DATE";
}

// Columns the document writes itself rather than through the generic form-column loop.
bool IsOwnColumn(const std::string& sql_column) {
  return sql_column == "DOCNAME" || sql_column == "ABSTRACT";
}

bool IsWholeNumber(const std::string& s) {
  size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
  if (i == s.size() || s.size() - i > 18) return false;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

Status DatabaseError(const sql::ExecResult& r) {
  return Status::Error(kErrDatabase, r.status.text);
}

sql::ExecResult InsertFolderItem(sql::Database& db, const FolderItemRow& row) {
  const auto optional = [](const std::optional<long long>& v) {
    return v ? Value::Integer(*v) : Value::Null();
  };
  return db.Execute(
      "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, "
      "NODE_TYPE, DISPLAYNAME, NEXT, ISFIRST, REMOTE_SYSTEM_ID, PARENT_VERSION, VERSION_TYPE, "
      "STATUS, FOLDERREMLIB_RO, FOLDERDOCNO_RO) VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?, ?, ?, 'R', "
      "0, 0, 0)",
      {Value::Integer(row.system_id), Value::Integer(row.parent), Value::Integer(row.document),
       Value::Integer(row.parent_library), Value::Integer(row.library), Value::Text(row.node_type),
       Value::Text(row.display_name), Value::Text(row.first ? "Y" : "N"),
       optional(row.remote_system_id), optional(row.parent_version)});
}

std::map<std::string, Value> ProfileRow(sql::Database& db, long long document_number) {
  std::map<std::string, Value> row;
  const sql::ExecResult r =
      db.Execute("SELECT * FROM PROFILE WHERE DOCNUMBER = ?", {Value::Integer(document_number)});
  if (!r.ok() || r.result.rows.empty()) return row;
  for (size_t i = 0; i < r.result.columns.size(); ++i) {
    row[text::UCase(r.result.columns[i])] = r.result.rows[0][i];
  }
  return row;
}

bool IsOn(const std::string& parameter) {
  const std::string v = text::UCase(text::Trim(parameter));
  return v == "1" || v == "-1" || v == "Y" || v == "YES" || v == "TRUE" || v == "ON";
}

Status Unreadable(const std::string& table, const std::string& library) {
  return Status::Error(kErrDatabase, table + " of library " + library + " cannot be read");
}

}  // namespace

std::shared_ptr<Document> Document::NewFolder(std::shared_ptr<Server> server, int library,
                                              std::string* error) {
  sql::Database* db = server->Open(library, error);
  if (db == nullptr) return nullptr;
  std::shared_ptr<Document> doc(new Document(std::move(server), library, db));
  doc->folder_ = true;
  doc->form_id_ = doc->rows().FormId(*db, schema::kFolderForm).value_or(0);
  doc->form_name_ = schema::kFolderForm;
  doc->LoadForm(schema::kFolderForm, {});
  return doc;
}

std::shared_ptr<Document> Document::Open(std::shared_ptr<Server> server, int library,
                                         long long document_number, std::string* error) {
  sql::Database* db = server->Open(library, error);
  if (db == nullptr) return nullptr;
  const std::map<std::string, Value> row = ProfileRow(*db, document_number);
  if (row.empty()) {
    if (error) {
      *error = "document #" + std::to_string(document_number) + " does not exist in library " +
               server->library(library).name;
    }
    return nullptr;
  }
  std::shared_ptr<Document> doc(new Document(std::move(server), library, db));
  auto get = [&row](const char* column) {
    auto it = row.find(column);
    return it == row.end() ? Value::Null() : it->second;
  };
  doc->document_number_ = document_number;
  doc->system_id_ = get("SYSTEM_ID").AsInteger();
  doc->name_ = get("DOCNAME").text;
  doc->description_ = get("ABSTRACT").text;
  const std::optional<long long> folder_app = doc->rows().FolderApplicationId(*db);
  doc->folder_ =
      folder_app && !get("APPLICATION").IsNull() && get("APPLICATION").AsInteger() == *folder_app;
  doc->form_id_ = get("FORM").AsInteger();
  doc->form_name_ = doc->rows().FormName(*db, doc->form_id_);
  doc->LoadForm(doc->form_name_, row);
  return doc;
}

bool Document::HasFolderRow() {
  if (!folder_ || document_number_ == 0) return folder_;
  if (!folder_row_) {
    folder_row_ = QueryId(*db_, "SELECT COUNT(*) FROM FOLDER WHERE DOCNUMBER = ?",
                          {Value::Integer(document_number_)})
                      .value_or(0) > 0;
  }
  return folder_row_;
}

void Document::LoadForm(const std::string& form_name, std::map<std::string, Value> row) {
  std::vector<FormColumnDef> defs =
      rows().FormColumns(*db_, form_name).value_or(std::vector<FormColumnDef>());
  // A form without columns of its own shows the standard profile of its kind.
  if (defs.empty()) {
    defs = rows()
               .FormColumns(*db_, folder_ ? schema::kFolderForm : schema::kDocumentForm)
               .value_or(std::vector<FormColumnDef>());
  }
  if (document_number_ != 0 && row.empty()) row = ProfileRow(*db_, document_number_);
  const std::optional<long long> folder_app = rows().FolderApplicationId(*db_);

  std::vector<Column> columns;
  for (FormColumnDef& def : defs) {
    Column column;
    const int old = Find(def.name);
    if (old >= 0) {
      column = columns_[old];
      column.def = std::move(def);
      columns.push_back(std::move(column));
      continue;
    }
    column.def = std::move(def);
    const std::string& sql_column = column.def.sql_column;
    if (sql_column == "DOCNAME") {
      column.stored = name_.empty() ? Value::Null() : Value::Text(name_);
    } else if (sql_column == "ABSTRACT") {
      column.stored = description_.empty() ? Value::Null() : Value::Text(description_);
    } else if (sql_column == "DOCNUMBER") {
      column.stored = document_number_ ? Value::Integer(document_number_) : Value::Null();
    } else if (document_number_ != 0) {
      auto it = row.find(sql_column);
      if (it != row.end()) column.stored = it->second;
    } else if (sql_column == "APPLICATION" && folder_ && folder_app) {
      column.stored = Value::Integer(*folder_app);
    }
    ShowStored(column);
    columns.push_back(std::move(column));
  }
  columns_ = std::move(columns);
}

void Document::ShowStored(Column& column) {
  const FormColumnDef& def = column.def;
  if (column.stored.IsNull()) {
    column.shown.clear();
  } else if (!def.lookup_table.empty() && def.data_type != kNumericDataType) {
    const std::optional<std::vector<LookupRow>> found =
        rows().LookupRows(*db_, def.lookup_table, def.lookup_column, "SYSTEM_ID",
                          Value::Integer(column.stored.AsInteger()), nullptr);
    const bool shown = found && !found->empty() && !found->front().value.IsNull();
    column.shown = shown ? found->front().value.text : column.stored.text;
  } else {
    column.shown = column.stored.text;
  }
}

int Document::Find(const std::string& column) const {
  const std::string wanted = text::UCase(text::Trim(column));
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].def.name == wanted) return static_cast<int>(i);
  }
  return -1;
}

Status Document::SetValue(const std::string& column, const std::string& value) {
  const int index = Find(column);
  if (index < 0) {
    return Status::Error(kErrNoSuchColumn,
                         "Column " + text::UCase(column) + " is not on form " + form_name_);
  }
  if (text::Trim(value).empty()) return SetNull(column);
  return Assign(columns_[index], value);
}

Status Document::SetNull(const std::string& column) {
  const int index = Find(column);
  if (index < 0) {
    return Status::Error(kErrNoSuchColumn,
                         "Column " + text::UCase(column) + " is not on form " + form_name_);
  }
  Column& c = columns_[index];
  if (IsReadOnlyColumn(c.def.sql_column)) {
    // Clearing what is already empty changes nothing (DOCNUM of an unsaved document).
    if (c.stored.IsNull()) return Status::Ok();
    return Status::Error(kErrReadOnly, "Column " + c.def.name + " cannot be changed");
  }
  if (c.def.sql_column == "APPLICATION" && folder_) {
    return Status::Error(kErrReadOnly, "The application of a folder is always FOLDER");
  }
  if (c.def.sql_column == "DOCNAME") {
    name_.clear();
    name_changed_ = true;
  } else if (c.def.sql_column == "ABSTRACT") {
    description_.clear();
    description_changed_ = true;
  }
  c.stored = Value::Null();
  c.shown.clear();
  c.changed = true;
  return Status::Ok();
}

Status Document::Assign(Column& c, const std::string& value) {
  const FormColumnDef& def = c.def;
  if (IsReadOnlyColumn(def.sql_column)) {
    return Status::Error(kErrReadOnly, "Column " + def.name + " cannot be changed");
  }
  if (def.max_length > 0 && text::CharacterCount(value) > def.max_length) {
    return Status::Error(kErrValueTooLong, "Value of " +
                                               std::to_string(text::CharacterCount(value)) +
                                               " characters is too long for column " + def.name +
                                               " (at most " + std::to_string(def.max_length) + ")");
  }
  const std::string trimmed = text::Trim(value);
  const bool numeric = def.data_type == kNumericDataType;
  Value stored;
  std::string shown;
  if (!def.lookup_table.empty()) {
    std::optional<std::vector<LookupRow>> found;
    std::string error;
    if (numeric && IsWholeNumber(trimmed)) {
      // A numeric lookup column takes the row's SYSTEM_ID itself.
      found = rows().LookupRows(*db_, def.lookup_table, "SYSTEM_ID", "SYSTEM_ID",
                                Value::Integer(static_cast<long long>(text::Val(trimmed))), &error);
    } else {
      found = rows().LookupRows(*db_, def.lookup_table, def.lookup_column, def.lookup_column,
                                Value::Text(value), &error);
    }
    if (!found) return Status::Error(kErrDatabase, error);
    if (found->empty()) {
      return Status::Error(kErrUnknownLookup, "Value " + Quoted(value) + " of column " + def.name +
                                                  " is not in " + def.lookup_table);
    }
    if (found->size() > 1) {
      return Status::Error(kErrUnknownLookup, "Value " + Quoted(value) + " of column " + def.name +
                                                  " matches " + std::to_string(found->size()) +
                                                  " rows of " + def.lookup_table);
    }
    stored = Value::Integer(found->front().system_id);
    shown = numeric ? stored.text : found->front().value.text;
  } else if (numeric) {
    if (!text::IsNumeric(trimmed)) {
      return Status::Error(
          kErrNotNumeric, "Value " + Quoted(value) + " of column " + def.name + " is not a number");
    }
    stored = IsWholeNumber(trimmed) ? Value::Integer(static_cast<long long>(text::Val(trimmed)))
                                    : Value::Real(text::Val(trimmed));
    shown = stored.text;
  } else {
    stored = Value::Text(value);
    shown = value;
  }
  if (def.sql_column == "APPLICATION" && folder_) {
    const std::optional<long long> folder_app = rows().FolderApplicationId(*db_);
    if (!folder_app || stored.AsInteger() != *folder_app) {
      return Status::Error(kErrReadOnly, "The application of a folder is always FOLDER");
    }
  }
  if (def.sql_column == "DOCNAME") {
    name_ = value;
    name_changed_ = true;
  } else if (def.sql_column == "ABSTRACT") {
    description_ = value;
    description_changed_ = true;
  }
  c.stored = std::move(stored);
  c.shown = std::move(shown);
  c.changed = true;
  return Status::Ok();
}

void Document::set_name(const std::string& name) {
  name_ = name;
  name_changed_ = true;
  for (Column& c : columns_) {
    if (c.def.sql_column != "DOCNAME") continue;
    c.stored = name.empty() ? Value::Null() : Value::Text(name);
    c.shown = name;
  }
}

void Document::set_description(const std::string& description) {
  description_ = description;
  description_changed_ = true;
  for (Column& c : columns_) {
    if (c.def.sql_column != "ABSTRACT") continue;
    c.stored = description.empty() ? Value::Null() : Value::Text(description);
    c.shown = description;
  }
}

Status Document::CheckName() {
  if (text::Trim(name_).empty()) {
    return Status::Error(kErrRequired, "A document name is required");
  }
  long limit = 240;
  for (const Column& c : columns_) {
    if (c.def.sql_column == "DOCNAME" && c.def.max_length > 0) limit = c.def.max_length;
  }
  if (text::CharacterCount(name_) > limit) {
    return Status::Error(kErrValueTooLong,
                         "Document name of " + std::to_string(text::CharacterCount(name_)) +
                             " characters is too long (at most " + std::to_string(limit) + ")");
  }
  std::string unique;
  if (!ReadParameter(*db_, kParamUniqueDocNames, &unique)) {
    return Unreadable("STANDIN_PARAMETERS", library_name());
  }
  if (IsOn(unique)) {
    const std::optional<long long> n =
        QueryId(*db_, "SELECT COUNT(*) FROM PROFILE WHERE DOCNAME = ? AND DOCNUMBER <> ?",
                {Value::Text(name_), Value::Integer(document_number_)});
    if (!n) return Unreadable("PROFILE", library_name());
    if (*n > 0) {
      return Status::Error(kErrDuplicateName, "Library " + library_name() +
                                                  " requires unique document names and " +
                                                  Quoted(name_) + " is taken");
    }
  }
  return Status::Ok();
}

SaveResult Document::Save(const std::string& form) {
  const std::string wanted = text::Trim(form);
  if (!wanted.empty() && text::InStrNoCase(wanted, "*DEFAULT FORM*") == 0 &&
      !text::EqualsNoCase(wanted, form_name_)) {
    const std::optional<long long> id = rows().FormId(*db_, wanted);
    if (!id) {
      return {Status::Error(kErrNoSuchForm,
                            "Form " + wanted + " does not exist in library " + library_name()),
              0};
    }
    form_id_ = *id;
    form_name_ = rows().FormName(*db_, *id);
    form_changed_ = true;
    LoadForm(form_name_, {});
  }
  return document_number_ == 0 ? Create() : Update();
}

SaveResult Document::Create() {
  if (Status s = CheckName(); !s.ok()) return {s, 0};
  const std::optional<UserRow> user = rows().FindUser(*db_, server_->config().user_id);
  if (!user) {
    return {Status::Error(kErrDatabase, "User " + server_->config().user_id +
                                            " is not a user of library " + library_name()),
            0};
  }
  // SYSTEM_IDs come from the client's range, reserved outside the transaction; the document
  // number from the counter itself, inside it (key_ranges.h says why).
  std::string error;
  KeyRanges& keys = server_->keys(library_);
  const long long system_id = keys.Next(*db_, schema::kSystemKey, &error);
  const long long version_id = system_id ? keys.Next(*db_, schema::kSystemKey, &error) : 0;
  if (version_id == 0) return {Status::Error(kErrDatabase, error), 0};
  sql::Transaction tx(*db_);
  if (!tx.active()) {
    return {Status::Error(kErrDatabase, "Library " + library_name() + " cannot be written"), 0};
  }
  const long long number = NextKey(*db_, schema::kSystemKey, &error);
  if (number == 0) return {Status::Error(kErrDatabase, error), 0};

  const std::string now = server_->Timestamp();
  const Value user_id = Value::Integer(user->system_id);
  std::vector<std::pair<std::string, Value>> values = {
      {"SYSTEM_ID", Value::Integer(system_id)},
      {"DOCNUMBER", Value::Integer(number)},
      {"DOCNAME", Value::Text(name_)},
      {"ABSTRACT", description_.empty() ? Value::Null() : Value::Text(description_)},
      {"APPLICATION", Value::Null()},
      {"STATUS", Value::Integer(0)},
      {"DEFAULT_RIGHTS", Value::Integer(0)},
      {"AUTHOR", user_id},
      {"TYPIST", user_id},
      {"FORM", form_id_ ? Value::Integer(form_id_) : Value::Null()},
      {"CREATION_DATE", Value::Text(now)},
      {"LAST_EDIT_DATE", Value::Text(now)},
  };
  if (folder_) {
    // Without it the row would be saved as a document, not a folder.
    const std::optional<long long> folder_app = rows().FolderApplicationId(*db_);
    if (!folder_app) return {Unreadable("APPS", library_name()), 0};
    values[4].second = Value::Integer(*folder_app);
  }
  for (const Column& c : columns_) {
    const std::string& sql_column = c.def.sql_column;
    if (IsReadOnlyColumn(sql_column) || IsOwnColumn(sql_column) || c.stored.IsNull()) continue;
    if (sql_column == "APPLICATION" && folder_) continue;
    bool replaced = false;
    for (auto& [name, value] : values) {
      if (name == sql_column) {
        value = c.stored;
        replaced = true;
      }
    }
    if (!replaced) values.emplace_back(sql_column, c.stored);
  }
  std::string names;
  std::string marks;
  std::vector<Value> params;
  for (const auto& [name, value] : values) {
    names += (names.empty() ? "" : ", ") + name;
    marks += marks.empty() ? "?" : ", ?";
    params.push_back(value);
  }
  sql::ExecResult r =
      db_->Execute("INSERT INTO PROFILE (" + names + ") VALUES (" + marks + ")", params);
  if (!r.ok()) return {DatabaseError(r), 0};
  if (folder_) {
    r = db_->Execute("INSERT INTO FOLDER (DOCNUMBER, PATH) VALUES (?, NULL)",
                     {Value::Integer(number)});
    if (!r.ok()) return {DatabaseError(r), 0};
  }
  r = db_->Execute(
      "INSERT INTO VERSIONS (VERSION_ID, DOCNUMBER, VERSION, SUBVERSION, VERSION_LABEL, AUTHOR, "
      "TYPIST, CREATION_DATE) VALUES (?, ?, 1, '!', '1', ?, ?, ?)",
      {Value::Integer(version_id), Value::Integer(number), user_id, user_id, Value::Text(now)});
  if (!r.ok()) return {DatabaseError(r), 0};
  std::string activity_rows;
  std::vector<Value> activity_values;
  for (int activity : kCreationActivities) {
    activity_rows += activity_rows.empty() ? "(?, ?, ?, ?)" : ", (?, ?, ?, ?)";
    activity_values.insert(activity_values.end(), {Value::Integer(number), Value::Integer(activity),
                                                   user_id, Value::Text(now)});
  }
  r = db_->Execute(
      "INSERT INTO ACTIVITYLOG (DOCNUMBER, ACTIVITY_TYPE, TYPIST, START_DATE) VALUES " +
          activity_rows,
      activity_values);
  if (!r.ok()) return {DatabaseError(r), 0};
  if (public_pending_) {
    r = db_->Execute("INSERT INTO ROOT_OBJECT (DOCNUMBER, DISPLAYNAME) VALUES (?, ?)",
                     {Value::Integer(number), Value::Text(name_)});
    if (!r.ok()) return {DatabaseError(r), 0};
  }
  if (!tx.Commit()) {
    return {Status::Error(kErrDatabase, "Library " + library_name() + " refused the commit"), 0};
  }
  document_number_ = number;
  system_id_ = system_id;
  folder_row_ = folder_;
  public_pending_ = false;
  name_changed_ = description_changed_ = form_changed_ = false;
  for (Column& c : columns_) {
    c.changed = false;
    if (c.def.sql_column == "DOCNUMBER") {
      c.stored = Value::Integer(number);
      ShowStored(c);
    }
  }
  return {Status::Ok(), number};
}

SaveResult Document::Update() {
  if (name_changed_) {
    if (Status s = CheckName(); !s.ok()) return {s, 0};
  }
  // Only what changed is written: the engine edits the same row with SQL in between.
  std::vector<std::string> sets = {"LAST_EDIT_DATE = ?"};
  std::vector<Value> params = {Value::Text(server_->Timestamp())};
  if (name_changed_) {
    sets.push_back("DOCNAME = ?");
    params.push_back(Value::Text(name_));
  }
  if (description_changed_) {
    sets.push_back("ABSTRACT = ?");
    params.push_back(description_.empty() ? Value::Null() : Value::Text(description_));
  }
  if (form_changed_) {
    sets.push_back("FORM = ?");
    params.push_back(Value::Integer(form_id_));
  }
  for (const Column& c : columns_) {
    const std::string& sql_column = c.def.sql_column;
    if (!c.changed || IsReadOnlyColumn(sql_column) || IsOwnColumn(sql_column)) continue;
    sets.push_back(sql_column + " = ?");
    params.push_back(c.stored);
  }
  std::string statement = "UPDATE PROFILE SET ";
  for (size_t i = 0; i < sets.size(); ++i) statement += (i ? ", " : "") + sets[i];
  statement += " WHERE DOCNUMBER = ?";
  params.push_back(Value::Integer(document_number_));

  // The profile's UPDATE alone is all or nothing by itself; with the public mark it needs
  // a transaction.
  std::optional<sql::Transaction> tx;
  if (public_pending_) {
    tx.emplace(*db_);
    if (!tx->active()) {
      return {Status::Error(kErrDatabase, "Library " + library_name() + " cannot be written"), 0};
    }
  }
  sql::ExecResult r = db_->Execute(statement, params);
  if (!r.ok()) return {DatabaseError(r), 0};
  if (r.rows_affected == 0) {
    return {Status::Error(kErrNoSuchDocument, "Document #" + std::to_string(document_number_) +
                                                  " no longer exists in library " + library_name()),
            0};
  }
  if (public_pending_) {
    if (Status s = WriteRootObject(); !s.ok()) return {s, 0};
    if (!tx->Commit()) {
      return {Status::Error(kErrDatabase, "Library " + library_name() + " refused the commit"), 0};
    }
  }
  public_pending_ = false;
  name_changed_ = description_changed_ = form_changed_ = false;
  for (Column& c : columns_) c.changed = false;
  return {Status::Ok(), document_number_};
}

Status Document::MarkPublic() {
  if (!folder_) return Status::Error(kErrNotAFolder, "Only folders can be public");
  public_pending_ = true;
  if (document_number_ == 0) return Status::Ok();  // written by the first save
  sql::Transaction tx(*db_);
  if (!tx.active()) {
    return Status::Error(kErrDatabase, "Library " + library_name() + " cannot be written");
  }
  if (Status s = WriteRootObject(); !s.ok()) return s;
  if (!tx.Commit()) {
    return Status::Error(kErrDatabase, "Library " + library_name() + " refused the commit");
  }
  public_pending_ = false;
  return Status::Ok();
}

Status Document::WriteRootObject() {
  const Value number = Value::Integer(document_number_);
  const std::optional<long long> present =
      QueryId(*db_, "SELECT COUNT(*) FROM ROOT_OBJECT WHERE DOCNUMBER = ?", {number});
  if (!present) return Status::Error(kErrDatabase, "ROOT_OBJECT cannot be read");
  if (*present > 0) return Status::Ok();
  const sql::ExecResult r =
      db_->Execute("INSERT INTO ROOT_OBJECT (DOCNUMBER, DISPLAYNAME) VALUES (?, ?)",
                   {number, Value::Text(name_)});
  return r.ok() ? Status::Ok() : DatabaseError(r);
}

std::optional<long long> Document::OwnLibraryId() {
  std::optional<long long> id;
  if (!rows().ReadRemoteLibraryId(*db_, library_name(), &id)) return std::nullopt;
  return id.value_or(schema::kOwnLibraryId);
}

AddItemResult Document::AddItem(const std::string& item_library, long long item_number) {
  if (!folder_) return {Status::Error(kErrNotAFolder, "Items can only be added to folders"), 0};
  if (document_number_ == 0) {
    return {Status::Error(kErrNotSaved, "The folder must be saved before items are added"), 0};
  }
  if (!HasFolderRow()) {
    return {Status::Error(kErrNotAFolder, "Document #" + std::to_string(document_number_) +
                                              " has no folder row in library " + library_name()),
            0};
  }
  const int item_index = text::Trim(item_library).empty() ? library_ : server_->Find(item_library);
  if (item_index < 0) {
    return {Status::Error(kErrNoSuchLibrary,
                          "Library " + item_library + " is not one of the user's libraries"),
            0};
  }
  std::string error;
  sql::Database* item_db = server_->Open(item_index, &error);
  if (item_db == nullptr) {
    return {Status::Error(kErrNoSuchLibrary, "Library " + server_->library(item_index).name +
                                                 " cannot be reached: " + error),
            0};
  }
  const bool local = item_index == library_;
  if (local && item_number == document_number_) {
    return {Status::Error(kErrAlreadyInFolder, "A folder cannot contain itself"), 0};
  }
  // A failed read must not turn a folder item into a document link: the item's FOLDER row is
  // counted in the same statement.
  const sql::ExecResult item = item_db->Execute(
      "SELECT P.SYSTEM_ID, P.DOCNAME, P.APPLICATION, P.DEFAULT_RIGHTS, (SELECT COUNT(*) FROM "
      "FOLDER F WHERE F.DOCNUMBER = P.DOCNUMBER) FROM PROFILE P WHERE P.DOCNUMBER = ?",
      {Value::Integer(item_number)});
  if (!item.ok()) return {DatabaseError(item), 0};
  if (item.result.rows.empty()) {
    return {Status::Error(kErrNoSuchDocument, "Document #" + std::to_string(item_number) +
                                                  " does not exist in library " +
                                                  server_->library(item_index).name),
            0};
  }
  const long long item_system_id = item.result.rows[0][0].AsInteger();
  const std::string display_name = item.result.rows[0][1].text;
  const std::string item_library_name = server_->library(item_index).name;
  const std::optional<long long> item_folder_app =
      server_->reference_rows(item_index).FolderApplicationId(*item_db);
  if (!item_folder_app) return {Unreadable("APPS", item_library_name), 0};
  const bool item_is_folder = !item.result.rows[0][2].IsNull() &&
                              item.result.rows[0][2].AsInteger() == *item_folder_app &&
                              item.result.rows[0][4].AsInteger() > 0;
  const bool item_secured = item.result.rows[0][3].AsInteger() != 0;

  const std::optional<long long> own_library = OwnLibraryId();
  if (!own_library) return {Unreadable("REMOTE_LIBRARIES", library_name()), 0};
  const long long parent_library = *own_library;
  long long library_id = parent_library;
  if (!local) {
    std::optional<long long> id;
    if (!rows().ReadRemoteLibraryId(*db_, server_->library(item_index).name, &id)) id.reset();
    if (!id) {
      return {Status::Error(kErrNoSuchLibrary, "Library " + server_->library(item_index).name +
                                                   " is not listed in REMOTE_LIBRARIES of " +
                                                   library_name()),
              0};
    }
    library_id = *id;
  }

  const long long id = server_->keys(library_).Next(*db_, schema::kSystemKey, &error);
  if (id == 0) return {Status::Error(kErrDatabase, error), 0};

  sql::Transaction tx(*db_);
  if (!tx.active()) {
    return {Status::Error(kErrDatabase, "Library " + library_name() + " cannot be written"), 0};
  }
  const Value parent = Value::Integer(document_number_);
  const Value parent_lib = Value::Integer(parent_library);
  // Every read below decides what is written: one that fails fails the link.
  const std::optional<long long> present =
      QueryId(*db_,
              "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = ? AND PARENT_LIBRARY = ? AND "
              "DOCNUMBER = ? AND LIBRARY = ?",
              {parent, parent_lib, Value::Integer(item_number), Value::Integer(library_id)});
  if (!present) return {Unreadable("FOLDER_ITEM", library_name()), 0};
  if (*present > 0) {
    return {Status::Error(kErrAlreadyInFolder, "Document #" + std::to_string(item_number) +
                                                   " is already in folder #" +
                                                   std::to_string(document_number_)),
            0};
  }
  // The chain's tail; should a broken chain have several, the highest-numbered row ends it
  // (with keys from ranges, not always the newest).
  std::optional<long long> tail;
  if (!ReadId(*db_,
              "SELECT MAX(SYSTEM_ID) FROM FOLDER_ITEM WHERE PARENT = ? AND PARENT_LIBRARY = ? AND "
              "NEXT = 0",
              {parent, parent_lib}, &tail)) {
    return {Unreadable("FOLDER_ITEM", library_name()), 0};
  }
  bool first = false;
  if (!tail) {
    const std::optional<long long> items =
        QueryId(*db_, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = ? AND PARENT_LIBRARY = ?",
                {parent, parent_lib});
    if (!items) return {Unreadable("FOLDER_ITEM", library_name()), 0};
    first = *items == 0;
  }
  std::optional<long long> parent_version;
  if (!ReadId(*db_, "SELECT MIN(VERSION_ID) FROM VERSIONS WHERE DOCNUMBER = ?", {parent},
              &parent_version)) {
    return {Unreadable("VERSIONS", library_name()), 0};
  }
  const FolderItemRow link{.system_id = id,
                           .parent = document_number_,
                           .document = item_number,
                           .parent_library = parent_library,
                           .library = library_id,
                           .node_type = item_is_folder ? "F" : "D",
                           .display_name = display_name,
                           .first = first,
                           .parent_version = parent_version};
  sql::ExecResult r = InsertFolderItem(*db_, link);
  if (!r.ok()) return {DatabaseError(r), 0};
  if (tail) {
    r = db_->Execute("UPDATE FOLDER_ITEM SET NEXT = ? WHERE SYSTEM_ID = ?",
                     {Value::Integer(id), Value::Integer(*tail)});
    if (!r.ok()) return {DatabaseError(r), 0};
  }

  // A secured item takes over the folder's trustees it does not have yet. Trustee ids are
  // per library, so a remote item receives none.
  long received = 0;
  if (local && item_secured) {
    const sql::ExecResult trustees = db_->Execute(
        "SELECT PERSONORGROUP, ACCESSRIGHTS FROM SECURITY WHERE THING = ? ORDER BY PERSONORGROUP",
        {Value::Integer(system_id_)});
    if (!trustees.ok()) return {DatabaseError(trustees), 0};
    for (const std::vector<Value>& row : trustees.result.rows) {
      const Value thing = Value::Integer(item_system_id);
      const std::optional<long long> has =
          QueryId(*db_, "SELECT COUNT(*) FROM SECURITY WHERE THING = ? AND PERSONORGROUP = ?",
                  {thing, row[0]});
      if (!has) return {Unreadable("SECURITY", library_name()), 0};
      if (*has > 0) continue;
      r = db_->Execute("INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (?, ?, ?)",
                       {thing, row[0], row[1]});
      if (!r.ok()) return {DatabaseError(r), 0};
      ++received;
    }
  }
  if (!tx.Commit()) {
    return {Status::Error(kErrDatabase, "Library " + library_name() + " refused the commit"), 0};
  }
  if (!local) {
    // As a DM server does, the item's own library gets a copy of the link, so that the item's
    // parents can be read there. The link itself stands; a copy that cannot be written now is
    // made by the next sort of the folder.
    WriteRemoteCopy(item_index, *item_db, link);
  }
  return {Status::Ok(), received};
}

void Document::WriteRemoteCopy(int item_index, sql::Database& item_db, const FolderItemRow& link) {
  ReferenceRows& item_rows = server_->reference_rows(item_index);
  std::optional<long long> parent_lib;
  std::optional<long long> own_lib;
  if (!item_rows.ReadRemoteLibraryId(item_db, library_name(), &parent_lib) || !parent_lib ||
      !item_rows.ReadRemoteLibraryId(item_db, server_->library(item_index).name, &own_lib)) {
    return;
  }
  if (!own_lib) own_lib = schema::kOwnLibraryId;
  std::string error;
  const long long id = server_->keys(item_index).Next(item_db, schema::kSystemKey, &error);
  if (id == 0) return;
  sql::Transaction tx(item_db);
  if (!tx.active()) return;
  const std::optional<long long> present =
      QueryId(item_db,
              "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = ? AND PARENT_LIBRARY = ? AND "
              "DOCNUMBER = ? AND LIBRARY = ?",
              {Value::Integer(link.parent), Value::Integer(*parent_lib),
               Value::Integer(link.document), Value::Integer(*own_lib)});
  if (!present || *present > 0) return;
  FolderItemRow copy = link;
  copy.system_id = id;
  copy.parent_library = *parent_lib;
  copy.library = *own_lib;
  copy.remote_system_id = link.system_id;
  if (InsertFolderItem(item_db, copy).ok()) tx.Commit();
}

std::vector<long long> Document::ParentFolders() {
  std::vector<long long> parents;
  if (document_number_ == 0) return parents;
  const std::optional<long long> own_library = OwnLibraryId();
  if (!own_library) return parents;
  const sql::ExecResult r = db_->Execute(
      "SELECT PARENT FROM FOLDER_ITEM WHERE DOCNUMBER = ? AND LIBRARY = ? ORDER BY SYSTEM_ID",
      {Value::Integer(document_number_), Value::Integer(*own_library)});
  if (!r.ok()) return parents;
  for (const std::vector<Value>& row : r.result.rows) parents.push_back(row[0].AsInteger());
  return parents;
}

std::optional<long> Document::DefaultRights() {
  if (document_number_ == 0) return 0;
  const std::optional<long long> v =
      QueryId(*db_, "SELECT DEFAULT_RIGHTS FROM PROFILE WHERE DOCNUMBER = ?",
              {Value::Integer(document_number_)});
  return static_cast<long>(v.value_or(0));
}

std::optional<EffectiveRights> Document::RightsFor(const std::string& user_id) {
  const std::optional<UserRow> user = rows().FindUser(*db_, user_id);
  if (!user) return std::nullopt;
  constexpr long kAll = 255;
  if (document_number_ == 0 || DefaultRights().value_or(0) == 0 ||
      IsSupervisor(*db_, user->user_id)) {
    return EffectiveRights{kAll, true};
  }
  const long access = EffectiveAccess(*db_, user->system_id, system_id_);
  return EffectiveRights{access, (access & kRightEditProfile) != 0};
}

}  // namespace sproutsmith::dmapi::local
