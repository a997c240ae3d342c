#pragma once
// A started DM session over a real installation (SQLite library files in a temporary folder),
// for the tests of the engine's folder operations. Folders are made through the DM API roles
// of the stand-in, as the engine itself makes them; the library files are read and written
// behind the engine's back with plain SQL.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dm/connection.h"
#include "log/log.h"
#include "platform/dmapi/installation.h"
#include "platform/dmapi/session.h"
#include "support/dm_installation.h"

namespace sproutsmith::testing {

class EngineSession : public ::testing::Test {
 protected:
  using Rows = std::vector<std::vector<std::string>>;

  // Provisions the libraries (the first is the current one) and starts the DM session.
  // `attach` hooks what must see every connection (a rule store) before the session starts.
  void Start(const std::vector<LibrarySpec>& libraries, const std::string& user = "DMADMIN",
             const std::function<void(dm::Connection&)>& attach = {}) {
    install_.Create(libraries, user);
    client_ = install_.OpenClient();
    ASSERT_TRUE(client_);
    connection_ = std::make_unique<dm::Connection>(install_.context, *client_);
    if (attach) attach(*connection_);
    ASSERT_TRUE(connection_->StartFusion()) << Dump();
  }

  dm::Connection& connection() { return *connection_; }
  Context& context() { return install_.context; }

  // A saved folder named `name` in `library`, linked under `parent` (0: not linked) of
  // `parent_library` (default: the same library). Leaves the connected library as it was.
  long long MakeFolder(const std::string& library, const std::string& name, long long parent = 0,
                       const std::string& parent_library = "") {
    const std::string remembered = connection_->LibraryName();
    EXPECT_TRUE(connection_->ConnectLibrary(library));
    std::unique_ptr<dmapi::FolderObject> folder = connection_->session()->NewFolder();
    EXPECT_NE(folder, nullptr);
    if (!folder) return 0;
    folder->SetName(name);
    folder->SetDescription(name);
    const dmapi::SaveResult saved = folder->Save("", 3);
    EXPECT_TRUE(saved.status.ok()) << saved.status.text;
    if (parent != 0) {
      const std::string home = parent_library.empty() ? library : parent_library;
      std::unique_ptr<dmapi::FolderObject> up = connection_->session()->OpenFolder(parent, home);
      EXPECT_NE(up, nullptr);
      if (up) {
        const dmapi::AddItemResult added = up->AddItem(library, saved.document_number);
        EXPECT_TRUE(added.status.ok()) << added.status.text;
      }
    }
    connection_->ConnectLibrary(remembered);
    return saved.document_number;
  }

  // Plain SQL on a library file, behind the engine's back.
  Rows Query(const std::string& library, const std::string& sql) {
    return install_.Query(library, sql);
  }
  std::string Scalar(const std::string& library, const std::string& sql) {
    return install_.Scalar(library, sql);
  }
  void Exec(const std::string& library, const std::string& sql) { install_.Exec(library, sql); }

  // The log: lines holding `fragment`, the first such line's index (-1 when none), all of it.
  int Count(const std::string& fragment) const { return install_.CountLogLines(fragment); }
  int LineOf(const std::string& fragment) const { return install_.LogLineOf(fragment); }
  std::string Dump() const { return install_.LogText(); }
  std::vector<std::string> Lines() const { return install_.LogLines(); }
  // The log since the last Mark() (all of it before one): its lines, and how many of them (or
  // of those after an earlier mark) hold `fragment`.
  size_t Mark() { return mark_ = install_.LogMark(); }
  std::vector<std::string> LinesSince() const { return install_.LogLinesSince(mark_); }
  int Since(const std::string& fragment) const { return Since(mark_, fragment); }
  int Since(size_t mark, const std::string& fragment) const {
    return install_.CountLogLinesSince(mark, fragment);
  }
  // An "Error: " or "Warning: " line as the log writes it: the time stamp follows the prefix.
  std::string Stamped(const std::string& prefix, const std::string& rest) const {
    return prefix + log::Log::TimeStamp(install_.clock.Now()) + " " + rest;
  }

  // A new process over the same installation and per-user settings (the first one when
  // nothing was started yet); `opener` as for DmInstallation::OpenClient. StartFusion's answer.
  bool Restart(dmapi::DatabaseOpener opener = {}) {
    if (connection_) connection_->ReleaseObjects();
    connection_.reset();
    client_ = install_.OpenClient(std::move(opener));
    if (!client_) return false;
    connection_ = std::make_unique<dm::Connection>(install_.context, *client_);
    return connection_->StartFusion();
  }

  DmInstallation install_;
  std::unique_ptr<dmapi::Client> client_;
  std::unique_ptr<dm::Connection> connection_;
  size_t mark_ = 0;
};

}  // namespace sproutsmith::testing
