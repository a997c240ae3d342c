#pragma once
// A Database that passes every call to another one and can make a chosen call fail, so
// tests can prove that a failure at any point of a DM operation leaves the library whole.
//
// Execute, ExecuteScript, Begin and Commit are counted (Rollback is not: it is how a
// failure is cleaned up, and it has no failure value to inject). An armed call is not run
// at all: Execute/ExecuteScript answer error code 1 with
// "[Sproutsmith][Fault] injected failure of call N", Begin/Commit answer false.

#include <memory>
#include <string>
#include <vector>

#include "platform/sql/database.h"

namespace sproutsmith::sql {

// The writes of several databases counted together, as one process makes them. From the
// `at`th write on, every call of every database sharing it fails, as when the process dies
// at that write and nothing after it reaches a library; with `only_that`, that write alone
// fails, as a refused statement does. `at` 0 only counts.
class CrashPoint {
 public:
  // `only_that`: the cut write alone fails and the process goes on. `counted`: only calls of
  // that name (such as "EndHeld", the commits) are counted and cut; "" counts every write.
  explicit CrashPoint(long at, bool only_that = false, std::string counted = "")
      : at_(at), only_that_(only_that), counted_(std::move(counted)) {}
  // Counts one call; true when it must fail.
  bool Stops(bool write, const std::string& what) {
    if (crashed_ && !only_that_) return true;
    if (!write || (!counted_.empty() && what != counted_)) return false;
    ++writes_;
    const bool hit = at_ > 0 && writes_ == at_;
    crashed_ = crashed_ || hit;
    return hit;
  }
  long writes() const { return writes_; }
  bool crashed() const { return crashed_; }

 private:
  long at_;
  bool only_that_;
  std::string counted_;
  long writes_ = 0;
  bool crashed_ = false;
};

class FaultInjectingDatabase final : public Database {
 public:
  static constexpr char kFaultPrefix[] = "[Sproutsmith][Fault] ";

  explicit FaultInjectingDatabase(std::unique_ptr<Database> inner);

  // Restarts the count and fails its `n`th call (1-based); with `and_every_later` every
  // call after it fails too, as a database that went away would. n <= 0 disarms.
  void FailCall(long n, bool and_every_later = false);
  // Every statement whose text holds `fragment` (any letter case) fails too, uncounted, as a
  // server fails a statement it refuses; "" stops it.
  void FailStatementsContaining(std::string fragment) { refused_ = std::move(fragment); }
  // Restarts the count and lets every call through.
  void Disarm() { FailCall(0); }
  // Also fails whatever `crash` stops (shared with the other databases of one process).
  void ShareCrashPoint(std::shared_ptr<CrashPoint> crash) { crash_ = std::move(crash); }

  // Calls counted since the last FailCall/Disarm.
  long calls() const { return calls_; }
  // What each counted call was, in order ("Begin", "Commit", "Execute: <sql>", ...), with
  // "FAILED " before the injected ones: a failing test prints it.
  const std::vector<std::string>& call_log() const { return call_log_; }
  // The count of the last Commit that went through (0 when none): calls after it happen
  // once the operation's rows are already written.
  long last_commit() const { return last_commit_; }
  long failures() const { return failures_; }

  Backend backend() const override { return inner_->backend(); }
  ExecResult Execute(std::string_view sql) override;
  ExecResult Execute(std::string_view sql, const std::vector<Value>& params) override;
  ExecResult ExecuteScript(std::string_view script) override;
  bool Begin() override;
  bool Commit() override;
  void Rollback() override { inner_->Rollback(); }
  void HoldCommits(bool on) override { inner_->HoldCommits(on); }
  // Counted like a commit; a failed one undoes what is held, as a lost commit would.
  bool EndHeld(bool commit) override;
  std::string Location() const override { return inner_->Location(); }
  bool TakeBusy() override { return inner_->TakeBusy(); }

 private:
  // Counts one call; true when it is to fail. `write`: it may change the database.
  bool Fails(const std::string& what, bool write = true);
  bool Refuses(std::string_view sql) const;
  ExecResult Injected() const;

  std::unique_ptr<Database> inner_;
  long fail_at_ = 0;
  bool fail_later_ = false;
  long calls_ = 0;
  long last_commit_ = 0;
  long failures_ = 0;
  std::vector<std::string> call_log_;
  std::string refused_;
  std::shared_ptr<CrashPoint> crash_;
};

}  // namespace sproutsmith::sql
