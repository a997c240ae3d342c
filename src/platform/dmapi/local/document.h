#pragma once
// One DM document (folder or not) as the stand-in holds it between opening and release:
// its profile columns with the values the client shows and the values stored, and the
// writes a DM server makes when it is saved, linked or made public. A folder object and
// the profile objects it hands out share one Document.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dmapi/documents.h"
#include "platform/dmapi/local/library_queries.h"
#include "platform/dmapi/local/server.h"

namespace sproutsmith::dmapi::local {

// One FOLDER_ITEM row as a DM server writes it: the link of an item into a folder, or the
// copy of a remote item's link in the item's own library.
struct FolderItemRow {
  long long system_id = 0;
  long long parent = 0;
  long long document = 0;
  long long parent_library = 0;  // REMOTE_LIBRARIES ids, as the row's library lists them
  long long library = 0;
  std::string node_type;  // "F" or "D"
  std::string display_name;
  bool first = false;
  std::optional<long long> remote_system_id;  // a copy's: the link's SYSTEM_ID
  std::optional<long long> parent_version;
};

class Document {
 public:
  struct Column {
    FormColumnDef def;
    std::string shown;  // what the client shows
    sql::Value stored;  // what goes into PROFILE
    bool changed = false;
  };

  // A new, unsaved folder in the library; null with *error when it cannot be reached.
  static std::shared_ptr<Document> NewFolder(std::shared_ptr<Server> server, int library,
                                             std::string* error);
  // A saved document; null with *error when the library or the document is missing.
  static std::shared_ptr<Document> Open(std::shared_ptr<Server> server, int library,
                                        long long document_number, std::string* error);

  bool is_folder() const { return folder_; }
  // A folder with its FOLDER row (a profile alone does not make a folder object).
  bool HasFolderRow();
  long long document_number() const { return document_number_; }

  const std::vector<Column>& columns() const { return columns_; }
  int Find(const std::string& column) const;  // -1 when not on the form
  Status SetValue(const std::string& column, const std::string& value);
  Status SetNull(const std::string& column);

  const std::string& name() const { return name_; }
  void set_name(const std::string& name);
  const std::string& description() const { return description_; }
  void set_description(const std::string& description);

  SaveResult Save(const std::string& form);
  Status MarkPublic();
  AddItemResult AddItem(const std::string& item_library, long long item_number);

  std::vector<long long> ParentFolders();
  std::optional<long> DefaultRights();
  std::optional<EffectiveRights> RightsFor(const std::string& user_id);

 private:
  Document(std::shared_ptr<Server> server, int library, sql::Database* db)
      : server_(std::move(server)), library_(library), db_(db) {}

  const std::string& library_name() const { return server_->library(library_).name; }
  ReferenceRows& rows() { return server_->reference_rows(library_); }
  // `row`: the document's PROFILE row when already read (empty: read it here).
  void LoadForm(const std::string& form_name, std::map<std::string, sql::Value> row);
  void ShowStored(Column& column);
  Status CheckName();
  Status Assign(Column& column, const std::string& value);
  SaveResult Create();
  SaveResult Update();
  // REMOTE_LIBRARIES' id of this library (the own id when unlisted); nullopt when unreadable.
  std::optional<long long> OwnLibraryId();
  Status WriteRootObject();  // inside the caller's transaction
  // The copy of a remote item's `link` in the item's own library.
  void WriteRemoteCopy(int item_index, sql::Database& item_db, const FolderItemRow& link);

  std::shared_ptr<Server> server_;
  int library_;
  sql::Database* db_;  // owned by the server
  bool folder_ = false;
  // Its FOLDER row was seen or written. Nothing removes a folder row while its profile
  // stays, so it is not asked again for this object.
  bool folder_row_ = false;
  long long document_number_ = 0;
  long long system_id_ = 0;
  long long form_id_ = 0;
  std::string form_name_;
  std::string name_;
  std::string description_;
  bool name_changed_ = false;
  bool description_changed_ = false;
  bool form_changed_ = false;
  bool public_pending_ = false;
  std::vector<Column> columns_;
};

}  // namespace sproutsmith::dmapi::local
