#include "platform/sql/fault_injecting_database.h"

#include "text/text.h"

namespace sproutsmith::sql {

FaultInjectingDatabase::FaultInjectingDatabase(std::unique_ptr<Database> inner)
    : inner_(std::move(inner)) {}

void FaultInjectingDatabase::FailCall(long n, bool and_every_later) {
  fail_at_ = n > 0 ? n : 0;
  fail_later_ = fail_at_ > 0 && and_every_later;
  calls_ = 0;
  last_commit_ = 0;
  failures_ = 0;
  call_log_.clear();
}

namespace {

// A statement that only reads: it cannot be the write a process dies at.
bool Reads(std::string_view sql) {
  const std::string head = text::UCase(text::Left(text::Trim(sql), 6));
  return head == "SELECT" || head == "PRAGMA";
}

// The statement with its bound values written in, so a call reads as the engine wrote it.
std::string WithValues(std::string_view sql, const std::vector<Value>& params) {
  std::string out;
  size_t next = 0;
  bool quoted = false;
  for (const char c : sql) {
    if (c == '\'') quoted = !quoted;
    if (c != '?' || quoted || next >= params.size()) {
      out += c;
      continue;
    }
    const Value& v = params[next++];
    if (v.IsNull()) {
      out += "NULL";
    } else if (v.type == Value::Type::kText) {
      out += "'" + text::Replace(v.text, "'", "''") + "'";
    } else {
      out += v.text;
    }
  }
  return out;
}

}  // namespace

bool FaultInjectingDatabase::Fails(const std::string& what, bool write) {
  ++calls_;
  const bool crashed = crash_ != nullptr && crash_->Stops(write, what);
  const bool fail =
      crashed || (fail_at_ > 0 && (calls_ == fail_at_ || (fail_later_ && calls_ > fail_at_)));
  if (fail) ++failures_;
  call_log_.push_back(fail ? "FAILED " + what : what);
  return fail;
}

ExecResult FaultInjectingDatabase::Injected() const {
  ExecResult r;
  r.status.code = 1;
  r.error_number = 1;
  r.status.text = std::string(kFaultPrefix) + "injected failure of call " + std::to_string(calls_);
  return r;
}

bool FaultInjectingDatabase::Refuses(std::string_view sql) const {
  return !refused_.empty() && text::InStrNoCase(std::string(sql), refused_) > 0;
}

ExecResult FaultInjectingDatabase::Execute(std::string_view sql) {
  if (Refuses(sql)) return Injected();
  if (Fails("Execute: " + std::string(sql), !Reads(sql))) return Injected();
  return inner_->Execute(sql);
}

ExecResult FaultInjectingDatabase::Execute(std::string_view sql, const std::vector<Value>& params) {
  if (Refuses(sql)) return Injected();
  if (Fails("Execute: " + WithValues(sql, params), !Reads(sql))) return Injected();
  return inner_->Execute(sql, params);
}

ExecResult FaultInjectingDatabase::ExecuteScript(std::string_view script) {
  if (Fails("ExecuteScript: " + std::string(script))) return Injected();
  return inner_->ExecuteScript(script);
}

bool FaultInjectingDatabase::Begin() {
  if (Fails("Begin")) return false;
  return inner_->Begin();
}

bool FaultInjectingDatabase::Commit() {
  if (Fails("Commit")) return false;
  const bool ok = inner_->Commit();
  if (ok) last_commit_ = calls_;
  return ok;
}

bool FaultInjectingDatabase::EndHeld(bool commit) {
  if (Fails("EndHeld")) {
    inner_->EndHeld(false);
    return false;
  }
  return inner_->EndHeld(commit);
}

}  // namespace sproutsmith::sql
