#pragma once
// Which DM installation a program runs against, opened.

#include <memory>
#include <string>

#include "platform/dmapi/installation.h"
#include "platform/dmapi/session.h"
#include "platform/os/clock.h"
#include "platform/os/environment.h"

namespace sproutsmith::app {

// The installation: the file named by SPROUTSMITH_DM in `env`, else the per-user one (else
// /etc/sproutsmith/dm.conf). When neither variable nor file exists and `may_make_demo`, the
// demo installation is created in the per-user folder first and `created_demo` names that
// folder (and stderr says so); an unattended run passes false, since a scheduled run that quietly builds folders
// in a demo is a failure nobody sees. An empty `opener` opens the libraries as the program
// does.
struct InstallationChoice {
  std::unique_ptr<dmapi::Client> client;
  std::string problem;       // why there is no client
  std::string created_demo;  // folder of a demo made just now
};
InstallationChoice OpenDmInstallation(const os::Clock& clock, const os::Environment& env,
                                      bool may_make_demo, dmapi::DatabaseOpener opener = {});

}  // namespace sproutsmith::app
