#pragma once
// A DM library as the client sees it, and the collection of the user's libraries.

#include <memory>
#include <string>

namespace sproutsmith::dmapi {

// Right names the engine asks for.
inline constexpr char kRightManageRootFolders[] = "User.ManageRootFolders";
inline constexpr char kRightCreateFolder[] = "User.CreateFolder";
inline constexpr char kRightSaveToRemoteLibrary[] = "User.SaveToRemoteLibrary";
inline constexpr char kParamUniqueDocNames[] = "DOCSParms.UniqueDocNames";
inline constexpr char kSupervisorsGroup[] = "DOCS_SUPERVISORS";

class Library {
 public:
  virtual ~Library() = default;
  virtual std::string Name() const = 0;
  virtual std::string Description() const = 0;
  // The logged-on user's id as the library's PEOPLE table spells it; "" when the library
  // cannot be reached or does not know the user (the login to it failed).
  virtual std::string UserId() const = 0;
  // Why the library cannot be used ("" when it can): its database cannot be opened (with
  // the file or server and the reason) or does not know the user.
  virtual std::string Problem() const = 0;
  // GROUP_ID of the user's primary group; "" when unknown.
  virtual std::string PrimaryGroupId() const = 0;
  // A user right by name; members of DOCS_SUPERVISORS hold every right.
  virtual bool HasRight(const std::string& right_name) const = 0;
  // A library parameter by name ("DOCSParms.UniqueDocNames"); "" when not set.
  virtual std::string Parameter(const std::string& name) const = 0;
};

class LibraryList {
 public:
  virtual ~LibraryList() = default;
  virtual int Count() const = 0;
  // 1-based; null out of range.
  virtual std::shared_ptr<Library> Item(int index) const = 0;
  virtual std::string Name(int index) const = 0;
  // Whether the library takes part in the user's searches.
  virtual bool SearchFlag(int index) const = 0;
  virtual void SetSearchFlag(int index, bool on) = 0;
};

}  // namespace sproutsmith::dmapi
