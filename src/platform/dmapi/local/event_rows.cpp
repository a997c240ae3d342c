#include "platform/dmapi/local/event_rows.h"

#include "platform/dmapi/local/library_queries.h"
#include "platform/dmapi/results.h"

namespace sproutsmith::dmapi::local {

using sql::Value;

Status RecordEvent(sql::Database& db, std::optional<long long>* next_id, const std::string& name,
                   const std::string& detail, const std::string& time) {
  // Each lost race means another client wrote a row; a few in a row end the attempt.
  constexpr int kTries = 5;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (!*next_id) {
      std::optional<long long> highest;
      if (!ReadId(db, "SELECT MAX(EVENT_ID) FROM STANDIN_EVENTS", {}, &highest)) {
        return Status::Error(kErrDatabase, "STANDIN_EVENTS cannot be read");
      }
      *next_id = highest.value_or(0) + 1;
    }
    const sql::ExecResult r = db.Execute(
        "INSERT INTO STANDIN_EVENTS (EVENT_ID, EVENT_NAME, DETAIL, EVENT_TIME) VALUES (?, ?, ?, "
        "?) ON CONFLICT (EVENT_ID) DO NOTHING",
        {Value::Integer(**next_id), Value::Text(name), Value::Text(detail), Value::Text(time)});
    if (!r.ok()) {
      next_id->reset();
      return Status::Error(kErrDatabase, r.status.text);
    }
    if (r.rows_affected == 1) {
      ++**next_id;
      return Status::Ok();
    }
    next_id->reset();
  }
  return Status::Error(kErrDatabase, "Other clients kept taking the next STANDIN_EVENTS row");
}

}  // namespace sproutsmith::dmapi::local
