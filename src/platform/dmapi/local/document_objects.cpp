#include "platform/dmapi/local/document_objects.h"

#include "text/text.h"

namespace sproutsmith::dmapi::local {

namespace {

class LocalProfile final : public ProfileObject {
 public:
  explicit LocalProfile(std::shared_ptr<Document> doc) : doc_(std::move(doc)) {}

  int ColumnCount() const override { return static_cast<int>(doc_->columns().size()); }
  ProfileColumn Column(int index) const override {
    if (index < 1 || index > ColumnCount()) return {};
    const Document::Column& c = doc_->columns()[index - 1];
    return {c.def.name, c.shown, c.def.data_type, c.def.attr1, c.def.attr2};
  }
  std::string Value(const std::string& column) const override {
    const int i = doc_->Find(column);
    return i < 0 ? std::string() : doc_->columns()[i].shown;
  }
  Status SetValue(const std::string& column, const std::string& value) override {
    return doc_->SetValue(column, value);
  }
  Status SetNull(const std::string& column) override { return doc_->SetNull(column); }
  SaveResult Save() override { return doc_->Save(""); }
  long long DocumentNumber() const override { return doc_->document_number(); }
  std::vector<long long> ParentFolders() const override { return doc_->ParentFolders(); }
  std::optional<long> RightsValue(const std::string& name) const override {
    if (!text::EqualsNoCase(text::Trim(name), kDefaultRightsValue)) return std::nullopt;
    return doc_->DefaultRights();
  }
  std::optional<EffectiveRights> RightsFor(const std::string& user_id) const override {
    return doc_->RightsFor(user_id);
  }
  void Finish() override {}

 private:
  std::shared_ptr<Document> doc_;
};

class LocalFolder final : public FolderObject {
 public:
  explicit LocalFolder(std::shared_ptr<Document> doc) : doc_(std::move(doc)) {}

  std::string Name() const override { return doc_->name(); }
  void SetName(const std::string& name) override { doc_->set_name(name); }
  std::string Description() const override { return doc_->description(); }
  void SetDescription(const std::string& description) override {
    doc_->set_description(description);
  }
  SaveResult Save(const std::string& form, int /*error_mode*/) override { return doc_->Save(form); }
  long long DocumentNumber() const override { return doc_->document_number(); }
  Status MarkPublic() override { return doc_->MarkPublic(); }
  AddItemResult AddItem(const std::string& item_library, long long document_number) override {
    return doc_->AddItem(item_library, document_number);
  }
  std::unique_ptr<ProfileObject> Profile() override { return MakeProfileObject(doc_); }

 private:
  std::shared_ptr<Document> doc_;
};

}  // namespace

std::unique_ptr<ProfileObject> MakeProfileObject(std::shared_ptr<Document> document) {
  return std::make_unique<LocalProfile>(std::move(document));
}

std::unique_ptr<FolderObject> MakeFolderObject(std::shared_ptr<Document> document) {
  return std::make_unique<LocalFolder>(std::move(document));
}

}  // namespace sproutsmith::dmapi::local
