#pragma once
// The DM client's session and application roles, and the client itself, which makes them
// (as the engine creates the real ones by class or ProgID, and again when they are lost).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dmapi/documents.h"
#include "platform/dmapi/library.h"
#include "platform/dmapi/sql_object.h"

namespace sproutsmith::dmapi {

// Shows the library names and returns the chosen one, "" when cancelled.
using LibraryChooser = std::function<std::string(const std::vector<std::string>&)>;

inline constexpr char kRefreshAllViews[] = "DOCSOPEN.RefreshAllViews";

class Application {
 public:
  virtual ~Application() = default;
  virtual std::shared_ptr<Library> CurrentLibrary() = 0;
  virtual std::shared_ptr<LibraryList> Libraries() = 0;
  virtual std::string LoginToken() = 0;  // "" when the login failed
  // Points the application (and so the session) at the named library; null when the user
  // has no library of that name.
  virtual std::shared_ptr<Library> PointAtLibrary(const std::string& name) = 0;
  // The library dialog; without a chooser every choice is cancelled.
  virtual void SetLibraryChooser(LibraryChooser chooser) = 0;
  virtual std::shared_ptr<Library> ChooseLibrary() = 0;
  // Runs a client command by name ("DOCSOPEN.RefreshAllViews"); 0 when done.
  virtual int RunCommand(const std::string& command) = 0;
};

class Session {
 public:
  virtual ~Session() = default;
  virtual std::string ClientName() const = 0;
  virtual bool LogOn() = 0;
  virtual void Close() = 0;
  // A new, unsaved folder in the application's current library; null when that library
  // cannot be reached.
  virtual std::unique_ptr<FolderObject> NewFolder() = 0;
  // Null when the library or the document does not exist (or the document is no folder).
  virtual std::unique_ptr<ProfileObject> OpenProfile(long long document_number,
                                                     const std::string& library) = 0;
  virtual std::unique_ptr<FolderObject> OpenFolder(long long document_number,
                                                   const std::string& library) = 0;
  // In the current library; null for an unknown user.
  virtual std::unique_ptr<User> FindUser(const std::string& user_id) = 0;
  // The user's profile defaults for a form in the current library; nullopt on failure.
  virtual std::optional<std::vector<ColumnDefault>> ProfileDefaults(const std::string& user_id,
                                                                    const std::string& form) = 0;
};

// The installed DM client. Objects made by one client share its login and current library.
class Client {
 public:
  virtual ~Client() = default;
  virtual std::unique_ptr<Session> CreateSession() = 0;
  virtual std::unique_ptr<Application> CreateApplication() = 0;
  virtual std::unique_ptr<SqlObject> CreateSqlObject() = 0;
  // The library on which a statement or a DM operation (saving a folder, adding an item)
  // gave up since the last call because another program held a write lock on it; "" when
  // none did. Forgets it.
  virtual std::string TakeBusyLibrary() = 0;
  // While on, what this client writes to a library (its operations and its SQL objects'
  // statements) is held in one transaction per library until CommitHeld, so that a row of
  // work costs a commit rather than dozens; each DM operation stays all or nothing. Turning
  // it off commits what is held. A client that cannot hold writes commits each at once.
  virtual void HoldCommits(bool /*on*/) {}
  // Makes what is held durable, `last_library`'s last (the other libraries' writes are
  // durable before it). False when a library's held writes could not be made durable: they
  // are undone.
  virtual bool CommitHeld(const std::string& /*last_library*/) { return true; }
};

}  // namespace sproutsmith::dmapi
