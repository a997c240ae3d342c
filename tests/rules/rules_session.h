#pragma once
// A started DM session over a real installation with the rule store hooked into every
// connection; the library files are read and written behind its back with plain SQL.

#include <memory>
#include <string>
#include <vector>

#include "rules/rule_store.h"
#include "support/engine_session.h"

namespace sproutsmith::rules {

class RulesSession : public testing::EngineSession {
 protected:
  void Start(const std::vector<testing::LibrarySpec>& libraries) {
    testing::EngineSession::Start(libraries, "DMADMIN", [this](dm::Connection& connection) {
      store_ = std::make_unique<RuleStore>(install_.context, connection);
      store_->Attach();
    });
  }

  std::unique_ptr<RuleStore> store_;
};

}  // namespace sproutsmith::rules
