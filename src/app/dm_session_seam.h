#pragma once
// The DM seam over the real DM session: the installation's client, the connected library,
// the rule store (reloaded on every connection), the running-node rows, the template
// compiler (with its caches, kept for the program run), the library/rule tree and the
// processing cycle that Go runs.

#include <memory>
#include <string>
#include <vector>

#include "app/dm_seam.h"
#include "app/library_tree.h"
#include "app/processing_cycle.h"
#include "dm/connection.h"
#include "folders/folder_builder.h"
#include "folders/row_processor.h"
#include "log/context.h"
#include "platform/dmapi/installation.h"
#include "platform/dmapi/session.h"
#include "rules/rule_store.h"
#include "rules/running_nodes.h"
#include "template/compiler.h"

namespace sproutsmith::app {

class DmSessionSeam final : public DmSeam {
 public:
  // `client` may be null when the installation could not be opened; `problem` then says why
  // and StartFusion fails with it in the log.
  DmSessionSeam(Context& context, std::unique_ptr<dmapi::Client> client, std::string problem,
                std::string computer_name);

  // Builds the tree and the cycle over the engine's window.
  void AttachHost(const SeamHost& host) override;
  bool StartFusion() override;
  std::vector<std::string> LibraryNames() override;
  std::string UserId() override;
  std::string CurrentLibraryName() override;
  std::string RunScalar(const std::string& sql) override;
  void ActiveStatus(int mode, const std::string& rule) override;
  void ReleaseObjects() override;
  bool Go() override;

  dm::Connection* connection() { return connection_.get(); }
  rules::RuleStore* rules() { return rules_.get(); }
  rules::RunningNodes* nodes() { return nodes_.get(); }
  templ::TemplateCompiler* compiler() { return compiler_.get(); }
  // Null until a host is attached, or without an installation.
  LibraryTree* tree() { return tree_.get(); }
  ProcessingCycle* cycle() { return cycle_.get(); }

 private:
  Context& context_;
  std::unique_ptr<dmapi::Client> client_;
  std::string problem_;
  std::unique_ptr<dm::Connection> connection_;
  std::unique_ptr<rules::RuleStore> rules_;
  std::unique_ptr<rules::RunningNodes> nodes_;
  std::unique_ptr<templ::TemplateCompiler> compiler_;
  std::unique_ptr<folders::FolderBuilder> builder_;
  std::unique_ptr<LibraryTree> tree_;
  std::unique_ptr<ProcessingCycle> cycle_;
};

// The installation the program runs against: the file named by SPROUTSMITH_DM in `env`, else
// the per-user one (else /etc/sproutsmith/dm.conf). When neither variable nor file exists and
// `may_make_demo`, the demo installation is created in the per-user folder first and
// `created_demo` names that folder; an unattended run passes false, since a scheduled run
// that quietly builds folders in a demo is a failure nobody sees. An empty `opener` opens
// the libraries as the program does.
struct InstallationChoice {
  std::unique_ptr<dmapi::Client> client;
  std::string problem;       // why there is no client
  std::string created_demo;  // folder of a demo made just now
};
InstallationChoice OpenDmInstallation(const os::Clock& clock, const os::Environment& env,
                                      bool may_make_demo, dmapi::DatabaseOpener opener = {});

}  // namespace sproutsmith::app
