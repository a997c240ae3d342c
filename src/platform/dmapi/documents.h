#pragma once
// Folder and profile objects: one DM document at a time, alive for one operation. A folder
// object and the profile it hands out are two views of the same document; whichever is
// saved first creates it (document number, profile, folder and version rows).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dmapi/results.h"

namespace sproutsmith::dmapi {

inline constexpr int kNumericDataType = 4;
inline constexpr char kDefaultRightsValue[] = "$DEFAULT_RIGHTS";

struct ProfileColumn {
  std::string name;   // DM API column name (DOCNAME, AUTHOR_ID, ...)
  std::string value;  // as the client shows it: a lookup column shows the looked-up text
  int data_type = 0;  // 4 = numeric
  int attr1 = 0;      // the column may be set when attr1 is 0 or attr2 is 128
  int attr2 = 0;
};

struct ColumnDefault {
  std::string column;
  std::string value;
};

// What a user may do with one document.
struct EffectiveRights {
  long access = 0;  // the granted access bits
  bool can_change = false;
};

class User {
 public:
  virtual ~User() = default;
  virtual std::string Name() const = 0;  // full name, or the user id when the library has none
};

class ProfileObject {
 public:
  virtual ~ProfileObject() = default;

  virtual int ColumnCount() const = 0;
  virtual ProfileColumn Column(int index) const = 0;  // 1-based
  // "" for an unknown column or a column without a value.
  virtual std::string Value(const std::string& column) const = 0;
  // Refuses (never truncates) a value that is too long, not a number for a numeric column,
  // or not found in the column's lookup table; the column then keeps its old value.
  virtual Status SetValue(const std::string& column, const std::string& value) = 0;
  virtual Status SetNull(const std::string& column) = 0;
  virtual SaveResult Save() = 0;
  virtual long long DocumentNumber() const = 0;

  // Document numbers of the folders the document is in (in its own library).
  virtual std::vector<long long> ParentFolders() const = 0;
  // "$DEFAULT_RIGHTS": 0 = not secured. Unknown names give nullopt.
  virtual std::optional<long> RightsValue(const std::string& name) const = 0;
  // nullopt when the user is unknown to the library.
  virtual std::optional<EffectiveRights> RightsFor(const std::string& user_id) const = 0;
  virtual void Finish() = 0;
};

class FolderObject {
 public:
  virtual ~FolderObject() = default;

  virtual std::string Name() const = 0;
  virtual void SetName(const std::string& name) = 0;
  virtual std::string Description() const = 0;
  virtual void SetDescription(const std::string& description) = 0;
  // Saves the folder with the given form ("" or "*DEFAULT FORM*": keep the form it has).
  // The error mode (2 show errors, 3 silent) matters only to a client with a screen.
  virtual SaveResult Save(const std::string& form, int error_mode) = 0;
  virtual long long DocumentNumber() const = 0;
  // Makes it a public (root) folder; written at once when saved, else at its first save.
  virtual Status MarkPublic() = 0;
  // Links a document or folder of `item_library` into this folder's contents.
  virtual AddItemResult AddItem(const std::string& item_library, long long document_number) = 0;
  virtual std::unique_ptr<ProfileObject> Profile() = 0;
};

}  // namespace sproutsmith::dmapi
