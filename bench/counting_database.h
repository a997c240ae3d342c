#pragma once
// A Database that counts what reaches the back end, for the benches: statements (each a
// round trip on a server), and commits, explicit or implied by a write outside any
// transaction.

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dmapi/installation.h"
#include "platform/sql/database.h"
#include "text/text.h"

namespace sproutsmith::bench {

struct Counts {
  long long statements = 0;
  long long commits = 0;
  // With `timed`, the time spent in the back end by statement text (its first 120 characters).
  struct Timing {
    long long calls = 0;
    double seconds = 0;
  };
  bool timed = false;
  std::map<std::string, Timing> timings;
};

class CountingDatabase final : public sql::Database {
 public:
  CountingDatabase(std::unique_ptr<sql::Database> inner, std::shared_ptr<Counts> counts)
      : inner_(std::move(inner)), counts_(std::move(counts)) {}

  sql::Backend backend() const override { return inner_->backend(); }
  sql::ExecResult Execute(std::string_view sql) override {
    Count(sql);
    return Timed(sql, [&] { return inner_->Execute(sql); });
  }
  sql::ExecResult Execute(std::string_view sql, const std::vector<sql::Value>& params) override {
    Count(sql);
    return Timed(sql, [&] { return inner_->Execute(sql, params); });
  }
  sql::ExecResult ExecuteScript(std::string_view script) override {
    ++counts_->statements;
    return inner_->ExecuteScript(script);
  }
  bool Begin() override {
    ++counts_->statements;
    const bool ok = inner_->Begin();
    if (ok) ++depth_;
    return ok;
  }
  bool Commit() override {
    ++counts_->statements;
    const bool ok = inner_->Commit();
    if (ok && depth_ > 0 && --depth_ == 0 && !held_) ++counts_->commits;
    return ok;
  }
  void Rollback() override {
    ++counts_->statements;
    if (depth_ > 0) --depth_;
    inner_->Rollback();
  }
  std::string Location() const override { return inner_->Location(); }
  bool TakeBusy() override { return inner_->TakeBusy(); }
  void HoldCommits(bool on) override {
    if (!on && held_writes_) ++counts_->commits;
    held_ = on;
    held_writes_ = false;
    inner_->HoldCommits(on);
  }
  bool EndHeld(bool commit) override {
    const bool ok = inner_->EndHeld(commit);
    if (ok && commit && held_writes_) ++counts_->commits;
    held_writes_ = false;
    return ok;
  }

 private:
  template <typename Run>
  sql::ExecResult Timed(std::string_view sql, Run run) {
    if (!counts_->timed) return run();
    const auto start = std::chrono::steady_clock::now();
    sql::ExecResult r = run();
    Counts::Timing& t = counts_->timings[std::string(sql.substr(0, 120))];
    ++t.calls;
    t.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
  }
  void Count(std::string_view sql) {
    ++counts_->statements;
    const std::string head = text::UCase(text::Left(text::Trim(sql), 6));
    if (head == "SELECT" || head == "PRAGMA") return;
    if (held_) {
      held_writes_ = true;
    } else if (depth_ == 0) {
      ++counts_->commits;
    }
  }

  std::unique_ptr<sql::Database> inner_;
  std::shared_ptr<Counts> counts_;
  int depth_ = 0;
  bool held_ = false;
  bool held_writes_ = false;
};

// Opens each library of an installation behind a CountingDatabase adding to `counts`.
inline dmapi::DatabaseOpener CountingOpener(std::shared_ptr<Counts> counts) {
  return [counts](const dmapi::LibraryConfig& library,
                  std::string* error) -> std::unique_ptr<sql::Database> {
    std::unique_ptr<sql::Database> db = dmapi::OpenLibraryDatabase(library, error);
    if (!db) return nullptr;
    return std::make_unique<CountingDatabase>(std::move(db), counts);
  };
}

}  // namespace sproutsmith::bench
