#pragma once
// The DM seam over the real DM session: the installation's client, the connected library,
// the rule store (reloaded on every connection) and the running-node rows.

#include <memory>
#include <string>
#include <vector>

#include "app/dm_seam.h"
#include "dm/connection.h"
#include "log/context.h"
#include "platform/dm/session.h"
#include "rules/rule_store.h"
#include "rules/running_nodes.h"

namespace sproutsmith::app {

class DmSessionSeam final : public DmSeam {
 public:
  // `client` may be null when the installation could not be opened; `problem` then says why
  // and StartFusion fails with it in the log.
  DmSessionSeam(Context& context, std::unique_ptr<dmapi::Client> client, std::string problem,
                std::string computer_name);

  bool StartFusion() override;
  std::vector<std::string> LibraryNames() override;
  std::string UserId() override;
  std::string CurrentLibraryName() override;
  std::string RunScalar(const std::string& sql) override;
  void ActiveStatus(int mode, const std::string& rule) override;
  void ReleaseObjects() override;
  void Go() override;

  dm::Connection* connection() { return connection_.get(); }
  rules::RuleStore* rules() { return rules_.get(); }

 private:
  Context& context_;
  std::unique_ptr<dmapi::Client> client_;
  std::string problem_;
  std::unique_ptr<dm::Connection> connection_;
  std::unique_ptr<rules::RuleStore> rules_;
  std::unique_ptr<rules::RunningNodes> nodes_;
};

// The installation the program runs against: the file named by SPROUTSMITH_DM, else the
// per-user one. When neither variable nor file exists, the demo installation is created in
// the per-user folder first and `created_demo` names that folder.
struct InstallationChoice {
  std::unique_ptr<dmapi::Client> client;
  std::string problem;       // why there is no client
  std::string created_demo;  // folder of a demo made just now
};
InstallationChoice OpenDmInstallation(const os::Clock& clock);

}  // namespace sproutsmith::app
