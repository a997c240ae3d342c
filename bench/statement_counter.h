#pragma once
// Counts what the DM server stand-in asks of a library's database, told apart from the
// engine's own SQL: the pass-through object runs the engine's text without parameters,
// while every statement of the stand-in's own operations binds its values. Begin and Commit
// count as statements (each is one on both back ends).

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/dmapi/installation.h"
#include "platform/sql/database.h"

namespace bench {

struct StatementCounts {
  long standin = 0;        // the stand-in's statements, Begin and Commit included
  long standin_reads = 0;  // of which SELECTs
  long repeated_reads = 0; // of which exact repeats (same text and values) since Reset
  long pass_through = 0;   // the engine's statements
  std::map<std::string, long> texts;  // the stand-in's statements by text
  std::set<std::string> reads_seen;

  void Reset() { *this = StatementCounts{}; }
  // The `n` most frequent texts of the stand-in, each with its count per `per` units.
  void PrintTop(int n, double per) const {
    std::vector<std::pair<long, std::string>> sorted;
    for (const auto& [text, count] : texts) sorted.emplace_back(count, text);
    std::sort(sorted.rbegin(), sorted.rend());
    for (int i = 0; i < n && i < static_cast<int>(sorted.size()); ++i) {
      std::printf("    %6.2f  %.110s\n", sorted[i].first / per, sorted[i].second.c_str());
    }
  }
};

class CountingDatabase final : public sproutsmith::sql::Database {
 public:
  CountingDatabase(std::unique_ptr<sproutsmith::sql::Database> inner,
                   std::shared_ptr<StatementCounts> counts)
      : inner_(std::move(inner)), counts_(std::move(counts)) {}

  sproutsmith::sql::Backend backend() const override { return inner_->backend(); }
  sproutsmith::sql::ExecResult Execute(std::string_view sql) override {
    ++counts_->pass_through;
    return inner_->Execute(sql);
  }
  sproutsmith::sql::ExecResult Execute(
      std::string_view sql, const std::vector<sproutsmith::sql::Value>& params) override {
    Own(std::string(sql));
    if (sql.rfind("SELECT", 0) == 0) {
      std::string key(sql);
      for (const sproutsmith::sql::Value& v : params) key += "\x1f" + v.text;
      if (!counts_->reads_seen.insert(key).second) ++counts_->repeated_reads;
    }
    return inner_->Execute(sql, params);
  }
  sproutsmith::sql::ExecResult ExecuteScript(std::string_view script) override {
    ++counts_->pass_through;
    return inner_->ExecuteScript(script);
  }
  bool Begin() override {
    Own("BEGIN");
    return inner_->Begin();
  }
  bool Commit() override {
    Own("COMMIT");
    return inner_->Commit();
  }
  void Rollback() override {
    Own("ROLLBACK");
    inner_->Rollback();
  }
  std::string Location() const override { return inner_->Location(); }
  bool TakeBusy() override { return inner_->TakeBusy(); }

 private:
  void Own(const std::string& text) {
    ++counts_->standin;
    if (text.rfind("SELECT", 0) == 0) ++counts_->standin_reads;
    ++counts_->texts[text];
  }

  std::unique_ptr<sproutsmith::sql::Database> inner_;
  std::shared_ptr<StatementCounts> counts_;
};

// The default opener, each database wrapped to count into `counts`.
inline sproutsmith::dmapi::DatabaseOpener CountingOpener(std::shared_ptr<StatementCounts> counts) {
  return [counts](const sproutsmith::dmapi::LibraryConfig& library,
                  std::string* error) -> std::unique_ptr<sproutsmith::sql::Database> {
    std::unique_ptr<sproutsmith::sql::Database> db =
        sproutsmith::dmapi::OpenLibraryDatabase(library, error);
    if (!db) return nullptr;
    return std::make_unique<CountingDatabase>(std::move(db), counts);
  };
}

}  // namespace bench
