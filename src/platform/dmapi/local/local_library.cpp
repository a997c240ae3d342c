#include "platform/dmapi/local/local_library.h"

#include "platform/dmapi/local/library_queries.h"

namespace sproutsmith::dmapi::local {

namespace {

class LocalLibrary final : public Library {
 public:
  LocalLibrary(std::shared_ptr<Server> server, int index)
      : server_(std::move(server)), index_(index) {}

  std::string Name() const override { return config().name; }
  std::string Description() const override { return config().description; }
  std::string UserId() const override {
    sql::Database* db = server_->Open(index_, nullptr);
    if (db == nullptr) return "";
    const std::optional<UserRow> user =
        server_->reference_rows(index_).FindUser(*db, server_->config().user_id);
    return user ? user->user_id : "";
  }
  std::string Problem() const override {
    std::string error;
    if (server_->Open(index_, &error) == nullptr) return error;
    if (UserId().empty()) {
      return "the user " + server_->config().user_id + " is not in its PEOPLE table";
    }
    return "";
  }
  std::string PrimaryGroupId() const override {
    sql::Database* db = server_->Open(index_, nullptr);
    return db ? local::PrimaryGroupId(*db, server_->config().user_id) : "";
  }
  bool HasRight(const std::string& right_name) const override {
    sql::Database* db = server_->Open(index_, nullptr);
    return db && local::HasRight(*db, server_->config().user_id, right_name);
  }
  std::string Parameter(const std::string& name) const override {
    sql::Database* db = server_->Open(index_, nullptr);
    return db ? local::Parameter(*db, name) : "";
  }

 private:
  const LibraryConfig& config() const { return server_->library(index_); }

  std::shared_ptr<Server> server_;
  int index_;
};

class LocalLibraryList final : public LibraryList {
 public:
  explicit LocalLibraryList(std::shared_ptr<Server> server) : server_(std::move(server)) {}

  int Count() const override { return server_->LibraryCount(); }
  std::shared_ptr<Library> Item(int index) const override {
    if (index < 1 || index > Count()) return nullptr;
    return MakeLibrary(server_, index - 1);
  }
  std::string Name(int index) const override {
    if (index < 1 || index > Count()) return "";
    return server_->library(index - 1).name;
  }
  bool SearchFlag(int index) const override {
    return index >= 1 && index <= Count() && server_->search_flag(index - 1);
  }
  void SetSearchFlag(int index, bool on) override {
    if (index >= 1 && index <= Count()) server_->set_search_flag(index - 1, on);
  }

 private:
  std::shared_ptr<Server> server_;
};

}  // namespace

std::shared_ptr<Library> MakeLibrary(std::shared_ptr<Server> server, int index) {
  return std::make_shared<LocalLibrary>(std::move(server), index);
}

std::shared_ptr<LibraryList> MakeLibraryList(std::shared_ptr<Server> server) {
  return std::make_shared<LocalLibraryList>(std::move(server));
}

}  // namespace sproutsmith::dmapi::local
