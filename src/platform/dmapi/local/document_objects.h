#pragma once
// The folder and profile objects over a shared Document.

#include <memory>

#include "platform/dmapi/documents.h"
#include "platform/dmapi/local/document.h"

namespace sproutsmith::dmapi::local {

std::unique_ptr<ProfileObject> MakeProfileObject(std::shared_ptr<Document> document);
std::unique_ptr<FolderObject> MakeFolderObject(std::shared_ptr<Document> document);

}  // namespace sproutsmith::dmapi::local
