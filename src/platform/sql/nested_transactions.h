#pragma once
// The transaction state both back ends keep: DM operations nest as savepoints, and with
// commits held, one transaction opened before the first write holds everything until
// EndHeld. The back end runs the control statements and says when the server ended a
// transaction on its own.

#include <functional>
#include <string>
#include <utility>

namespace sproutsmith::sql {

class NestedTransactions {
 public:
  // `control` runs one transaction-control statement, false when refused; `begin` is the
  // back end's BEGIN.
  NestedTransactions(std::function<bool(const std::string&)> control, std::string begin)
      : control_(std::move(control)), begin_(std::move(begin)) {}

  // Whether the held transaction must be opened before a write or a Begin.
  bool MustOpenHeld() const { return held_ && !held_open_ && depth_ == 0; }
  // Held writes were lost and not yet reported: nothing may be written until EndHeld.
  bool held_lost() const { return held_lost_; }
  // Notes whether the back end's BEGIN of the held transaction (run by the back end, which
  // reports its own failure) succeeded; returns `begun`.
  bool HeldBegun(bool begun) {
    held_open_ = held_open_ || begun;
    return begun;
  }
  bool held_open() const { return held_open_; }
  int depth() const { return depth_; }

  bool Begin();
  bool Commit();
  void Rollback();
  void HoldCommits(bool on);
  bool EndHeld(bool commit);
  // The server ended what was open (all of it): held writes count as lost.
  void Lost();

 private:
  bool Control(const std::string& sql) { return control_(sql); }

  std::function<bool(const std::string&)> control_;
  std::string begin_;
  int depth_ = 0;           // transactions begun and not ended, savepoints included
  bool held_ = false;       // commits are held
  bool held_open_ = false;  // the held transaction is open
  bool held_lost_ = false;  // it was rolled back by a failure, not yet reported
};

}  // namespace sproutsmith::sql
