#pragma once
// Plain values that DM operations hand back. A DM operation reports failure through these,
// never by throwing: code 0 is success, anything else comes with a text for the log.

#include "platform/os/status.h"

namespace sproutsmith::dmapi {

// Saving a profile or a folder: on success the document's number.
struct SaveResult {
  Status status;
  long long document_number = 0;
};

// Adding an item to a folder: how many trustees the item received from the folder.
struct AddItemResult {
  Status status;
  long trustees = 0;
};

// Error numbers of the stand-in (what a DM server would report as its own error numbers).
enum DmErrorCode : long {
  kErrNotSaved = 1001,      // the object has no document number yet
  kErrNoSuchColumn = 1002,  // profile column unknown to the form
  kErrValueTooLong = 1003,
  kErrNotNumeric = 1004,
  kErrUnknownLookup = 1005,  // a lookup value that the lookup table does not hold
  kErrNoSuchDocument = 1006,
  kErrNoSuchForm = 1007,
  kErrRequired = 1008,       // a required value (the document name) is missing
  kErrDuplicateName = 1009,  // unique document names are enforced by the library
  kErrNoSuchLibrary = 1010,
  kErrNotAFolder = 1011,
  kErrAlreadyInFolder = 1012,
  kErrReadOnly = 1013,
  kErrDatabase = 1014,  // the library database refused a write
  kErrUnknownCommand = 1015,
  kErrNotAttached = 1016,  // SQL object without a library or login token
};

}  // namespace sproutsmith::dmapi
