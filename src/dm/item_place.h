#pragma once
// Where an item of a folder tree stands: a document (or folder) in its library, and the
// folder it is, or is to be, linked into in that folder's library.

#include <string>

namespace sproutsmith::dm {

struct ItemPlace {
  long long number = 0;        // the item's document number (0: not known yet)
  std::string library;         // the item's library ("": see each operation)
  long long parent = 0;        // the folder's document number (0: the top of the library)
  std::string parent_library;  // the folder's library ("": see each operation)
};

}  // namespace sproutsmith::dm
