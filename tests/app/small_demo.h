#pragma once
// A copy of a small demo installation (the demo's five rules over a Microsoft-flavour and an
// Oracle-flavour library, three clients of two matters each) and one cycle of every rule as a
// new process runs it, over databases that can stop at a chosen write or refuse statements.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/dm_session_seam.h"
#include "app/saved_options.h"
#include "platform/dmapi/demo_installation.h"
#include "platform/sql/fault_injecting_database.h"
#include "support/dm_installation.h"
#include "support/dm_state.h"
#include "support/fault_opener.h"
#include "support/product_name.h"
#include "support/temp_dir.h"

namespace sproutsmith::app {

// The small demo installation, made once and copied for every run.
inline const std::string& DemoTemplate() {
  static testing::TempDir dir;
  static const std::string folder = [] {
    dmapi::DemoOptions options;
    options.data.clients = 3;
    options.data.matters_per_client = 2;
    options.data.document_types = 3;
    options.data.people = 4;
    options.data.documents_per_matter = 2;
    dmapi::DemoInstallation made;
    const Status status = dmapi::CreateDemoInstallation(dir.File("demo"), options, &made);
    EXPECT_TRUE(status.ok()) << status.text;
    return dir.File("demo");
  }();
  return folder;
}

// A copy of the demo installation; `Cycle` runs one cycle of every rule as a new process
// would, over databases that can stop at a chosen write (`crash`) or refuse every statement
// holding `refused`.
class Demo {
 public:
  Demo() {
    std::filesystem::copy(DemoTemplate(), install_.dir.File("dm"),
                          std::filesystem::copy_options::recursive);
    const Status loaded =
        dmapi::LoadInstallationConfig(install_.dir.File("dm/dm.conf"), &install_.config);
    EXPECT_TRUE(loaded.ok()) << loaded.text;
    install_.options.CheckAddNewDocs = 1;
  }

  // The cycle's outcome, as the run report has it: true when every rule finished.
  // `wrap`, when given, wraps each library's database (to count what reaches it).
  using Wrap = std::function<std::unique_ptr<sql::Database>(std::unique_ptr<sql::Database>)>;
  bool Cycle(std::shared_ptr<sql::CrashPoint> crash = nullptr, const std::string& refused = "",
             Wrap wrap = nullptr) {
    auto opener = testing::FaultInjectingOpener(
        [crash, refused](const std::string&, sql::FaultInjectingDatabase& db) {
          db.ShareCrashPoint(crash);
          db.FailStatementsContaining(refused);
        },
        "",
        [wrap](const dmapi::LibraryConfig& library, std::string* error) {
          std::unique_ptr<sql::Database> db = dmapi::OpenLibraryDatabase(library, error);
          return db && wrap ? wrap(std::move(db)) : std::move(db);
        });
    MainWindowModel window;
    DmSessionSeam seam(install_.context, install_.OpenClient(opener), "", "PC1");
    seam.AttachHost({window, [] {}, [] {}});
    if (!seam.StartFusion()) return false;
    for (const std::string& name : seam.LibraryNames()) {
      window.TVRules.push_back(ReadLibraryNode(install_.settings, testing::kProductName, name));
      seam.tree()->ExpandLibraryNode(window.TVRules.back());
      window.TVRules.back().checked = true;
      for (CheckNode& rule : window.TVRules.back().rules) rule.checked = true;
    }
    seam.cycle()->Go();
    return CycleExitStatus(seam.cycle()->Report()) == 0;
  }

  std::string State() {
    std::string state;
    for (const char* library : {"DEMO", "ARCHIVE"}) {
      std::unique_ptr<sql::Database> db = install_.OpenLibrary(library);
      state += std::string("== ") + library + "\n" + (db ? testing::LibraryState(*db) : "");
    }
    return state;
  }

  testing::DmInstallation& install() { return install_; }
  std::string Config() { return install_.dir.File("dm/dm.conf"); }
  std::string Home(const std::string& name) { return install_.dir.File(name); }

 private:
  testing::DmInstallation install_;
};

}  // namespace sproutsmith::app
