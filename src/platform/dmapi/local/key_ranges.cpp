#include "platform/dmapi/local/key_ranges.h"

#include "platform/dmapi/local/library_queries.h"
#include "platform/schema/library_schema.h"
#include "text/text.h"

namespace sproutsmith::dmapi::local {

long long KeyRanges::Next(sql::Database& db, const std::string& key_name, std::string* error) {
  if (!text::EqualsNoCase(key_name, schema::kSystemKey)) return NextKey(db, key_name, error);
  if (next_ > last_) {
    const long long last = ReserveKeys(db, schema::kSystemKey, kRangeSize, error);
    if (last == 0) return 0;
    next_ = last - kRangeSize + 1;
    last_ = last;
  }
  return next_++;
}

}  // namespace sproutsmith::dmapi::local
