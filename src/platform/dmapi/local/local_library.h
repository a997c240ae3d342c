#pragma once
// Library objects and the user's library collection over the stand-in's server.

#include <memory>

#include "platform/dmapi/library.h"
#include "platform/dmapi/local/server.h"

namespace sproutsmith::dmapi::local {

std::shared_ptr<Library> MakeLibrary(std::shared_ptr<Server> server, int index);
std::shared_ptr<LibraryList> MakeLibraryList(std::shared_ptr<Server> server);

}  // namespace sproutsmith::dmapi::local
