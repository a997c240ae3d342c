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
  std::string Location() const override { return inner_->Location(); }
  bool TakeBusy() override { return inner_->TakeBusy(); }

 private:
  // Counts one call; true when it is to fail.
  bool Fails(const std::string& what);
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
};

}  // namespace sproutsmith::sql
