#pragma once
// Numbers from a library's key counter (STANDIN_KEYS), as one client hands them out.
//
// SYSTEM_IDs (of profiles, versions, folder items and the rows the engine inserts through
// AllocateKey) come from ranges: one UPDATE of the counter reserves kRangeSize numbers, which
// are then handed out from memory. The UPDATE is atomic, so no two clients of a library
// (processes on one SQLite file, computers on one PostgreSQL database) ever reserve the same
// number; numbers a client leaves unused are skipped, and gaps are harmless.
//
// Document numbers never come from a range. The engine notes the library's highest DOCNUMBER
// before it makes a folder and finds the folder again after a crash as the one above that
// mark. A number taken from the counter itself is above every number any client was handed
// before, so it keeps that promise; a number from a range this client reserved earlier can
// lie below one another client has used since, and would break it. So DOCNUMBERs are taken
// one at a time (NextKey, in the save's own transaction), from the same counter.
//
// REQUIRES: a range is reserved outside any transaction, so that its UPDATE is committed
// before its first number is used: a reservation rolled back with a caller's transaction
// would leave this client handing out numbers the counter hands out again. Should writes
// outside the stand-in's own transactions ever be grouped and undone, whatever undoes them
// must drop the range (a new KeyRanges) along with them.

#include <string>

#include "platform/sql/database.h"

namespace sproutsmith::dmapi::local {

class KeyRanges {
 public:
  static constexpr long long kRangeSize = 100;

  // The next number of counter `key_name`: the SYSTEMKEY counter's from the client's range
  // (reserving the next range when it is used up), any other counter's one by one. 0 with
  // *error when the counter cannot be moved on.
  long long Next(sql::Database& db, const std::string& key_name, std::string* error);

 private:
  long long next_ = 1;  // next_ > last_: nothing reserved
  long long last_ = 0;
};

}  // namespace sproutsmith::dmapi::local
