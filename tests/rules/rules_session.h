#pragma once
// A started DM session over a real installation with the rule store hooked into every
// connection; the library files are read and written behind its back with plain SQL.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dm/connection.h"
#include "rules/rule_store.h"
#include "support/dm_installation.h"

namespace sproutsmith::rules {

class RulesSession : public ::testing::Test {
 protected:
  void Start(const std::vector<testing::LibrarySpec>& libraries) {
    install_.Create(libraries);
    client_ = install_.OpenClient();
    ASSERT_TRUE(client_);
    connection_ = std::make_unique<dm::Connection>(install_.context, *client_);
    store_ = std::make_unique<RuleStore>(install_.context, *connection_);
    store_->Attach();
    ASSERT_TRUE(connection_->StartFusion()) << Dump();
  }

  // Plain SQL on a library file, behind the system's back.
  void Exec(const std::string& library, const std::string& sql) { install_.Exec(library, sql); }
  std::string Scalar(const std::string& library, const std::string& sql) {
    return install_.Scalar(library, sql);
  }
  std::vector<std::vector<std::string>> Query(const std::string& library, const std::string& sql) {
    return install_.Query(library, sql);
  }

  int Count(const std::string& fragment) const { return install_.CountLogLines(fragment); }
  std::string Dump() const {
    std::string s;
    for (const auto& l : install_.LogLines()) s += l + "\n";
    return s;
  }
  // Index of the first log line holding `fragment` (-1 when none).
  int LineOf(const std::string& fragment) const {
    const auto lines = install_.LogLines();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find(fragment) != std::string::npos) return static_cast<int>(i);
    }
    return -1;
  }

  testing::DmInstallation install_;
  std::unique_ptr<dmapi::Client> client_;
  std::unique_ptr<dm::Connection> connection_;
  std::unique_ptr<RuleStore> store_;
};

}  // namespace sproutsmith::rules
