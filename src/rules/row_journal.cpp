// Remembering a rule's selected rows until each is finished.

#include "rules/row_journal.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>

#include "dm/reconnect.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::rules {

using text::Format;
using text::Number;

namespace {

constexpr char kSectionPrefix[] = "PENDING_ROW ";
constexpr char kFormat[] = "R1";
constexpr char kEnd[] = "$";
constexpr size_t kPartLength = 1000;
// Rows remembered by one statement, and the length a statement stops growing at.
constexpr int kRowsPerInsert = 100;
constexpr size_t kInsertLength = 64000;

// Every "%", tab, line break and other control character as "%XX": the text comes back
// exactly, whatever the values hold, and splits at tabs.
std::string Escape(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (const char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '%' || c < 0x20 || c == 0x7f) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out;
}

bool Unescape(const std::string& value, std::string* out) {
  out->clear();
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      *out += value[i];
      continue;
    }
    if (i + 2 >= value.size()) return false;
    unsigned int c = 0;
    if (std::sscanf(value.substr(i + 1, 2).c_str(), "%2X", &c) != 1) return false;
    *out += static_cast<char>(c);
    i += 2;
  }
  return true;
}

std::string IdOf(const std::string& key) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : key) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(hash));
  return buf;
}

// Pieces of at most kPartLength bytes that never split a UTF-8 character.
std::vector<std::string> SplitForColumn(const std::string& text) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = std::min(text.size(), at + kPartLength);
    while (end < text.size() && end > at + 1 &&
           (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
      --end;
    }
    parts.push_back(text.substr(at, end - at));
    at = end;
  }
  return parts;
}

std::string Where(const std::string& rule, const std::string& id) {
  return "MASTER_KEY = 'ARBORLINE' AND SECTION_KEY = '" + std::string(kSectionPrefix) + id +
         "' AND SUB_KEY = '" + dm::SqlQuote(rule) + "'";
}

std::string Progress(int level, long long watermark) {
  return Number(level) + " " + Number(watermark);
}

}  // namespace

std::string EncodeRow(const SourceRow& row) {
  std::string text =
      std::string(kFormat) + "\t" + Escape(row.email) + "\t" + Number(row.headings.size());
  for (size_t c = 0; c < row.headings.size(); ++c) {
    text += "\t" + Escape(row.headings[c]) + "\t" +
            Escape(c < row.values.size() ? row.values[c] : std::string());
  }
  return text + "\t" + kEnd;
}

bool DecodeRow(const std::string& text, SourceRow* row) {
  const std::vector<std::string> fields = text::Split(text, "\t");
  if (fields.size() < 4 || fields[0] != kFormat || fields.back() != kEnd) return false;
  const long long columns = static_cast<long long>(text::Val(fields[2]));
  if (columns < 0 || fields.size() != static_cast<size_t>(4 + 2 * columns)) return false;
  SourceRow decoded;
  if (!Unescape(fields[1], &decoded.email)) return false;
  for (long long c = 0; c < columns; ++c) {
    std::string heading, value;
    if (!Unescape(fields[static_cast<size_t>(3 + 2 * c)], &heading) ||
        !Unescape(fields[static_cast<size_t>(4 + 2 * c)], &value)) {
      return false;
    }
    decoded.headings.push_back(std::move(heading));
    decoded.values.push_back(std::move(value));
  }
  *row = std::move(decoded);
  return true;
}

std::string RowKey(const SourceRow& row) {
  std::string key;
  for (size_t c = 0; c < row.headings.size(); ++c) {
    const std::string& heading = row.headings[c];
    const long position = text::InStr(text::UCase(heading), ".SYSTEM_ID");
    if (position <= 1 || text::Trim(text::Left(heading, position - 1)).empty()) continue;
    const std::string value = c < row.values.size() ? row.values[c] : std::string();
    key += heading + "=" + Format(text::Val(value), "#0") + "\n";
  }
  return key.empty() ? EncodeRow(row) : key;
}

RowJournal::RowJournal(Context& context, dm::Connection& connection)
    : context_(context), connection_(connection) {}

std::string RowJournal::Now() const {
  return connection_.facts().IsOracle() ? "SYSDATE" : "GETDATE()";
}

bool RowJournal::Enter(const std::string& library) {
  if (text::EqualsNoCase(connection_.LibraryName(), library)) return true;
  if (connection_.ConnectLibrary(library)) return true;
  context_.log.AddLogAndSeparator("Error: Unable to connect to library " + library);
  return false;
}

std::optional<std::vector<PendingRow>> RowJournal::Load(const std::string& rule) {
  const std::string f = connection_.facts().IsOracle() ? "SUBSTR" : "SUBSTRING";
  struct Stored {
    long long sequence = 0;
    std::map<long long, std::string> parts;  // by KEY_TYPE; 0 is the level being made
  };
  std::vector<std::string> order;
  std::map<std::string, Stored> stored;
  const size_t prefix = std::string(kSectionPrefix).size();
  const bool read = connection_.RunQuery(
      "SELECT SECTION_KEY, INT_VAL, KEY_TYPE, " + f + "(CHAR_VAL, 1, 254), " + f +
          "(CHAR_VAL, 255, 254), " + f + "(CHAR_VAL, 509, 254), " + f +
          "(CHAR_VAL, 763, 254) FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = "
          "'ARBORLINE' AND SECTION_KEY LIKE '" +
          std::string(kSectionPrefix) + "%' AND SUB_KEY = '" + dm::SqlQuote(rule) +
          "' ORDER BY INT_VAL, SECTION_KEY, KEY_TYPE",
      [&] {
        const std::string section = text::Trim(connection_.Column(1));
        const std::string id = section.size() > prefix ? section.substr(prefix) : std::string();
        if (id.empty()) return true;
        auto [entry, added] = stored.try_emplace(id);
        if (added) order.push_back(id);
        entry->second.sequence = static_cast<long long>(connection_.ColumnNumber(2));
        // A part written twice (two computers remembering the same row of an Oracle library,
        // which has no running-node rows) is read once.
        entry->second.parts.try_emplace(static_cast<long long>(connection_.ColumnNumber(3)),
                                        connection_.Column(4) + connection_.Column(5) +
                                            connection_.Column(6) + connection_.Column(7));
        return true;
      });
  if (!read) return std::nullopt;

  std::vector<PendingRow> rows;
  for (const std::string& id : order) {
    const Stored& s = stored[id];
    std::string encoded, progress;
    for (const auto& [key_type, piece] : s.parts) {
      if (key_type == 0) {
        progress = piece;
      } else {
        encoded += piece;
      }
    }
    PendingRow row;
    row.id = id;
    row.sequence = s.sequence;
    row.resumed = true;
    if (!DecodeRow(encoded, &row.row)) {
      // Cut short while it was remembered: nothing was built for it yet.
      context_.log.AddLogAndSeparator("Warning: Forgetting an unfinished row of rule " + rule +
                                      " that was cut short while it was being remembered");
      connection_.RunStatement("DELETE FROM [OWNER].QUIL_SETTINGS WHERE " + Where(rule, id));
      continue;
    }
    const std::vector<std::string> noted = text::Split(text::Trim(progress), " ");
    if (noted.size() == 2) {
      row.creating_level = static_cast<int>(text::Val(noted[0]));
      row.watermark = static_cast<long long>(text::Val(noted[1]));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

bool RowJournal::Remember(const std::string& rule, const std::vector<const PendingRow*>& rows) {
  // Many rows to a statement: one write for a batch instead of one for each row. Oracle has
  // no list of VALUES; a UNION of selects from DUAL does the same there.
  const bool oracle = connection_.facts().IsOracle();
  const std::string head =
      "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, "
      "DATE_VAL, KEY_TYPE) ";
  std::string body;
  int in_body = 0;
  auto flush = [&] {
    if (in_body == 0) return true;
    const bool ok = connection_.RunStatement(head + (oracle ? "" : "VALUES") + body);
    body.clear();
    in_body = 0;
    return ok;
  };
  for (const PendingRow* row : rows) {
    const std::vector<std::string> parts = SplitForColumn(EncodeRow(row->row));
    for (size_t k = 0; k < parts.size(); ++k) {
      const std::string values = "'ARBORLINE', '" + std::string(kSectionPrefix) + row->id + "', '" +
                                 dm::SqlQuote(rule) + "', '" + dm::SqlLiteral(parts[k]) + "', " +
                                 Number(row->sequence) + ", " + Now() + ", " + Number(k + 1);
      if (oracle) {
        body += (in_body ? " UNION ALL SELECT " : "SELECT ") + values + " FROM DUAL";
      } else {
        body += (in_body ? ", (" : "(") + values + ")";
      }
      ++in_body;
    }
    if ((in_body >= kRowsPerInsert || body.size() >= kInsertLength) && !flush()) return false;
  }
  return flush();
}

std::optional<std::vector<PendingRow>> RowJournal::Prepare(const std::string& library,
                                                           const std::string& rule,
                                                           const ResultTable& result,
                                                           const std::vector<std::string>& emails) {
  return log::Trap(context_.log, "RowJournal", std::optional<std::vector<PendingRow>>{}, [&] {
    std::optional<std::vector<PendingRow>> work;
    dm::Reconnect back(connection_);
    if (!Enter(library)) return work;
    auto refused = [&] {
      context_.log.AddLogAndSeparator("Error: Unable to remember the selected rows of rule " +
                                      rule + " in library " + library +
                                      " - no folder is built for them now");
      return std::optional<std::vector<PendingRow>>{};
    };
    work = Load(rule);
    if (!work) return refused();
    std::map<std::string, size_t> pending;  // by id
    long long next = 1;
    for (size_t i = 0; i < work->size(); ++i) {
      pending.emplace((*work)[i].id, i);
      next = std::max(next, (*work)[i].sequence + 1);
    }
    if (!work->empty()) {
      context_.log.AddLogAndSeparator("Finishing " + Number(work->size()) + " row(s) of rule " +
                                      rule + " that an earlier run selected but did not finish");
    }

    std::map<std::string, int> seen;
    const int columns = result.ColumnCount();
    for (int r = 1; r <= result.RowCount(); ++r) {
      SourceRow source;
      for (int c = 1; c <= columns; ++c) {
        source.headings.push_back(result.Heading(c));
        source.values.push_back(result.Cell(r, c));
      }
      if (r < static_cast<int>(emails.size())) source.email = emails[static_cast<size_t>(r)];
      std::string key = RowKey(source);
      // Rows alike in their records but not in their other values stay apart.
      if (const int n = ++seen[key]; n > 1) key += "#" + Number(n);

      const std::string id = IdOf(key);
      if (auto found = pending.find(id); found != pending.end()) {
        PendingRow& earlier = (*work)[found->second];
        if (earlier.creating_level == 0 && !(earlier.row == source)) {
          // Nothing was made for it yet: today's values are the ones to build.
          earlier.row = std::move(source);
          if (!connection_.RunStatement("DELETE FROM [OWNER].QUIL_SETTINGS WHERE " +
                                        Where(rule, earlier.id)) ||
              !Remember(rule, {&earlier})) {
            return refused();
          }
        }
        continue;
      }
      PendingRow row;
      row.id = id;
      row.sequence = next++;
      row.row = std::move(source);
      pending.emplace(id, work->size());
      work->push_back(std::move(row));
    }
    std::vector<const PendingRow*> fresh;
    for (const PendingRow& row : *work) {
      if (!row.resumed) fresh.push_back(&row);
    }
    if (!Remember(rule, fresh)) return refused();
    return work;
  });
}

bool RowJournal::NoteCreating(const std::string& library, const std::string& rule, PendingRow& row,
                              int level, long long watermark) {
  return log::Trap(context_.log, "RowJournal", false, [&] {
    dm::Reconnect back(connection_);
    if (!Enter(library)) return false;
    const std::string progress = dm::SqlLiteral(Progress(level, watermark));
    bool written = false;
    if (row.creating_level != 0) {
      long long affected = 0;
      written =
          connection_.RunStatement("UPDATE [OWNER].QUIL_SETTINGS SET CHAR_VAL = '" + progress +
                                       "' WHERE " + Where(rule, row.id) + " AND KEY_TYPE = 0",
                                   &affected) &&
          affected > 0;
    }
    if (!written) {
      written = connection_.RunStatement(
          "INSERT INTO [OWNER].QUIL_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, "
          "INT_VAL, DATE_VAL, KEY_TYPE) VALUES('ARBORLINE', '" +
          std::string(kSectionPrefix) + row.id + "', '" + dm::SqlQuote(rule) + "', '" + progress +
          "', " + Number(row.sequence) + ", " + Now() + ", 0)");
    }
    if (!written) {
      context_.log.AddLogAndSeparator("Error: Unable to note in library " + library +
                                      " which folder rule " + rule +
                                      " is about to make - the folder is not made now");
      return false;
    }
    row.creating_level = level;
    row.watermark = watermark;
    return true;
  });
}

bool RowJournal::Forget(const std::string& library, const std::string& rule,
                        const PendingRow& row) {
  return log::Trap(context_.log, "RowJournal", false, [&] {
    dm::Reconnect back(connection_);
    if (!Enter(library)) return false;
    return connection_.RunStatement("DELETE FROM [OWNER].QUIL_SETTINGS WHERE " +
                                    Where(rule, row.id));
  });
}

}  // namespace sproutsmith::rules
