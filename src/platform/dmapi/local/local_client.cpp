#include <optional>

#include "platform/dmapi/installation.h"
#include "platform/dmapi/local/document_objects.h"
#include "platform/dmapi/local/event_rows.h"
#include "platform/dmapi/local/library_queries.h"
#include "platform/dmapi/local/local_library.h"
#include "platform/dmapi/local/local_sql_object.h"
#include "platform/dmapi/local/server.h"
#include "text/text.h"

namespace sproutsmith::dmapi {

namespace local {
namespace {

class LocalApplication final : public Application {
 public:
  explicit LocalApplication(std::shared_ptr<Server> server) : server_(std::move(server)) {}

  std::shared_ptr<Library> CurrentLibrary() override {
    return MakeLibrary(server_, server_->current());
  }
  std::shared_ptr<LibraryList> Libraries() override { return MakeLibraryList(server_); }
  std::string LoginToken() override { return server_->token(); }
  std::shared_ptr<Library> PointAtLibrary(const std::string& name) override {
    const int index = server_->Find(name);
    if (index < 0) return nullptr;
    server_->set_current(index);
    return MakeLibrary(server_, index);
  }
  void SetLibraryChooser(LibraryChooser chooser) override { chooser_ = std::move(chooser); }
  std::shared_ptr<Library> ChooseLibrary() override {
    if (!chooser_) return nullptr;
    std::vector<std::string> names;
    for (const LibraryConfig& lib : server_->config().libraries) names.push_back(lib.name);
    const std::string choice = text::Trim(chooser_(names));
    const int index = choice.empty() ? -1 : server_->Find(choice);
    return index < 0 ? nullptr : MakeLibrary(server_, index);
  }
  int RunCommand(const std::string& command) override {
    if (!text::EqualsNoCase(text::Trim(command), kRefreshAllViews)) {
      return static_cast<int>(kErrUnknownCommand);
    }
    const int library = server_->current();
    sql::Database* db = server_->Open(library, nullptr);
    if (db == nullptr) return static_cast<int>(kErrNoSuchLibrary);
    // Nothing to refresh here; the row lets a test see that the client was asked.
    const Status recorded =
        RecordEvent(*db, &server_->next_event_id(library), kRefreshAllViews,
                    server_->config().user_id, server_->Timestamp());
    return recorded.ok() ? 0 : static_cast<int>(kErrDatabase);
  }

 private:
  std::shared_ptr<Server> server_;
  LibraryChooser chooser_;
};

class LocalUser final : public User {
 public:
  explicit LocalUser(UserRow row) : row_(std::move(row)) {}
  std::string Name() const override {
    return text::Trim(row_.full_name).empty() ? row_.user_id : row_.full_name;
  }

 private:
  UserRow row_;
};

class LocalSession final : public Session {
 public:
  explicit LocalSession(std::shared_ptr<Server> server) : server_(std::move(server)) {}

  std::string ClientName() const override { return "Sproutsmith DM stand-in"; }
  bool LogOn() override {
    server_->ForgetReferenceRows();
    const int library = server_->current();
    sql::Database* db = server_->Open(library, nullptr);
    return db != nullptr &&
           server_->reference_rows(library).FindUser(*db, server_->config().user_id).has_value();
  }
  void Close() override {}

  std::unique_ptr<FolderObject> NewFolder() override {
    std::shared_ptr<Document> doc = Document::NewFolder(server_, server_->current(), nullptr);
    return doc ? MakeFolderObject(std::move(doc)) : nullptr;
  }
  std::unique_ptr<ProfileObject> OpenProfile(long long document_number,
                                             const std::string& library) override {
    std::shared_ptr<Document> doc = Open(document_number, library);
    return doc ? MakeProfileObject(std::move(doc)) : nullptr;
  }
  std::unique_ptr<FolderObject> OpenFolder(long long document_number,
                                           const std::string& library) override {
    std::shared_ptr<Document> doc = Open(document_number, library);
    if (!doc || !doc->is_folder() || !doc->HasFolderRow()) return nullptr;
    return MakeFolderObject(std::move(doc));
  }
  std::unique_ptr<User> FindUser(const std::string& user_id) override {
    const int library = server_->current();
    sql::Database* db = server_->Open(library, nullptr);
    if (db == nullptr) return nullptr;
    std::optional<UserRow> row = server_->reference_rows(library).FindUser(*db, user_id);
    return row ? std::make_unique<LocalUser>(std::move(*row)) : nullptr;
  }
  std::optional<std::vector<ColumnDefault>> ProfileDefaults(const std::string& user_id,
                                                            const std::string& form) override {
    sql::Database* db = server_->Open(server_->current(), nullptr);
    if (db == nullptr) return std::nullopt;
    bool ok = false;
    std::vector<ColumnDefault> defaults = local::ProfileDefaults(*db, user_id, form, &ok);
    if (!ok) return std::nullopt;
    return defaults;
  }

 private:
  std::shared_ptr<Document> Open(long long document_number, const std::string& library) {
    if (document_number <= 0) return nullptr;
    const int index = text::Trim(library).empty() ? server_->current() : server_->Find(library);
    if (index < 0) return nullptr;
    return Document::Open(server_, index, document_number, nullptr);
  }

  std::shared_ptr<Server> server_;
};

class LocalClient final : public Client {
 public:
  explicit LocalClient(std::shared_ptr<Server> server) : server_(std::move(server)) {}
  std::unique_ptr<Session> CreateSession() override {
    return std::make_unique<LocalSession>(server_);
  }
  std::unique_ptr<Application> CreateApplication() override {
    return std::make_unique<LocalApplication>(server_);
  }
  std::unique_ptr<SqlObject> CreateSqlObject() override { return MakeSqlObject(server_); }
  std::string TakeBusyLibrary() override { return server_->TakeBusyLibrary(); }
  void HoldCommits(bool on) override { server_->HoldCommits(on); }
  bool CommitHeld(const std::string& last_library) override {
    return server_->CommitHeld(last_library);
  }

 private:
  std::shared_ptr<Server> server_;
};

}  // namespace
}  // namespace local

std::unique_ptr<Client> OpenInstallation(InstallationConfig config, const os::Clock* clock,
                                         DatabaseOpener opener) {
  return std::make_unique<local::LocalClient>(
      std::make_shared<local::Server>(std::move(config), clock, std::move(opener)));
}

std::unique_ptr<Client> OpenInstallation(const std::string& config_path, std::string* error,
                                         const os::Clock* clock, DatabaseOpener opener) {
  InstallationConfig config;
  if (Status s = LoadInstallationConfig(config_path, &config); !s.ok()) {
    if (error != nullptr) *error = s.text;
    return nullptr;
  }
  return OpenInstallation(std::move(config), clock, std::move(opener));
}

}  // namespace sproutsmith::dmapi
