// Starting the DM session, connecting libraries and recreating lost DM objects.

#include "dm/connection.h"

#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::dm {

using runtime::MessageStyle;
using text::Format;
using text::Number;
using text::UCase;

namespace {
constexpr long kCannotCreateObject = 429;  // the client could not make a DM object
}

Connection::Connection(Context& context, dmapi::Client& client)
    : context_(context), client_(client) {}

Connection::~Connection() = default;

void Connection::ShowAndLog(const std::string& message, MessageStyle style) {
  log().AddLog(message);
  context_.ShowMessage(message, style);
}

std::string Connection::LibraryName() const { return library_ ? library_->Name() : ""; }
std::string Connection::UserId() const { return library_ ? library_->UserId() : ""; }

std::vector<std::string> Connection::LibraryNames() const {
  std::vector<std::string> names;
  if (!libraries_) return names;
  for (int i = 1; i <= libraries_->Count(); ++i) names.push_back(libraries_->Name(i));
  return names;
}

std::string Connection::ListedName(std::string_view name) const {
  if (!libraries_) return "";
  const std::string wanted = text::Trim(name);
  for (int i = 1; i <= libraries_->Count(); ++i) {
    if (text::EqualsNoCase(libraries_->Name(i), wanted)) return libraries_->Name(i);
  }
  return "";
}

bool Connection::StartFusion() {
  return log::Trap(log(), "StartFusion", false, [&] { return StartFusionBody(); });
}

bool Connection::StartFusionBody() {
  auto& ui = context_.ui;
  const std::string product = context_.identity.product_name;
  ui.SetBusy(true);
  // The session's own log-on; the DM roles answer a failure with a value, and any failure
  // here sends the start through the application's login instead.
  const auto logged_on = [&] {
    session_ = client_.CreateSession();
    if (!session_) return false;
    log().SetStatus("Starting DM Application Object " + session_->ClientName());
    application_ = client_.CreateApplication();
    log().Separator();
    auto current = application_ ? application_->CurrentLibrary() : nullptr;
    log().SetStatus("Logging on to DM Session library " + (current ? current->Name() : ""));
    if (!session_->LogOn()) return false;
    log().Separator();
    return true;
  };
  if (logged_on()) {
    if (!application_) {
      ShowAndLog("Error: Unable to set FUSION object - cannot start " + product,
                 MessageStyle::kCritical);
      return false;
    }
  } else {
    // The browser object of the real client has no part to play in the stand-in.
    log().SetStatus("Starting DM Browser Object");
    log().Separator();
    log().SetStatus("Creating Fusion Application Object");
    application_ = client_.CreateApplication();
    if (!application_) {
      ShowAndLog("Error: Unable to set FUSION object - cannot start " + product,
                 MessageStyle::kCritical);
      return false;
    }
    log().SetStatus("Logging in to the Fusion Server");
    token_ = application_->LoginToken();
    log().Separator();
    if (token_.empty()) {
      ShowAndLog("Error: Unable to set Fusion Security Token - cannot start " + product,
                 MessageStyle::kCritical);
      return false;
    }
  }
  ui.SetBusy(true);
  log().SetStatus("Setting Fusion Libraries Object");
  libraries_ = application_->Libraries();
  log().Separator();
  if (!libraries_) {
    ShowAndLog("Error: Unable to set LIBS object - cannot start " + product,
               MessageStyle::kCritical);
    return false;
  }
  log().SetStatus("Identifying CurrentLibrary Object");
  auto current = application_->CurrentLibrary();
  if (!current) {
    ShowAndLog("Error: Unable to identify CurrentLibrary object - cannot start " + product,
               MessageStyle::kCritical);
    return false;
  }
  const std::string name = current->Name();
  log().SetStatus("Connecting to current library " + name);
  log().Separator();
  if (!ConnectLibrary(name)) return false;
  log().SetStatus("Fusion started with connection to " + name);
  log().Separator();
  ui.SetBusy(false);
  return true;
}

bool Connection::ConnectLibrary(std::string_view name) {
  const std::string n(name);
  // A switch made from inside another one (program end after a failed check) keeps its own.
  std::optional<Remembered> outer = std::move(remembered_);
  remembered_.reset();
  const bool connected =
      log::Trap(log(), "ConnectLibrary", false, [&] { return ConnectLibraryBody(n); });
  if (!connected) RestoreConnection();
  remembered_ = std::move(outer);
  return connected;
}

void Connection::RememberConnection() {
  remembered_.emplace();
  remembered_->facts = facts_;
  remembered_->state = state_;
  remembered_->library = library_;
  if (cache_) remembered_->cache = *cache_;
  remembered_->menu = context_.options.MNLibList;
}

// Callers go on working in the library that was connected: its statements must keep their
// owner and objects, and nothing half-learnt about the other library may count as known.
void Connection::RestoreConnection() {
  if (!remembered_) return;
  Remembered& r = *remembered_;
  facts_ = r.facts;
  state_ = r.state;
  library_ = r.library;
  if (r.cache) {
    *cache_ = *r.cache;
  } else {
    cache_.reset();
  }
  context_.options.MNLibList = r.menu;
  if (r.sql_replaced) sql_ = std::move(r.sql);
  try {
    if (r.pointed && library_ && application_) application_->PointAtLibrary(library_->Name());
    // The hook may have left the other library's rules half loaded.
    if (r.loaded && library_ && on_connected_) on_connected_();
  } catch (...) {
    // Unreachable client objects: the next statement reports it through CheckFusion.
  }
}

bool Connection::ConnectLibraryBody(const std::string& requested) {
  if (!CheckFusion("ConnectLibrary", Repair::kApplication)) return false;
  const std::string name = UCase(text::Trim(requested));
  if (name.empty()) {
    log().SetStatus("Warning: Library name is blank - cannot change connection");
    log().Separator();
    return false;
  }
  if (library_ && UCase(library_->Name()) == name) return true;
  RememberConnection();

  if (!cache_) cache_ = std::make_unique<LibraryCache>(LibraryNames());
  CachedLibrary* cached = cache_->Find(name);
  if (!cached) {
    log().SetStatus("Warning: Unable to define library " + name + " in requisite Library Array");
    log().Separator();
    return false;
  }

  // The owner belongs to the library: only an owner learnt for it is cached. When none is
  // known yet, the detection below runs with the owner unknown.
  if (cached->owner) {
    facts_.LibraryOwner = *cached->owner;
  } else if (CheckSQLSettings(name) && owner_learnt_) {
    cached->owner = facts_.LibraryOwner;
  } else {
    facts_.LibraryOwner.clear();
  }

  log().AddLogAndSeparator("Connecting to library " + name);
  std::shared_ptr<dmapi::Library> found = FindListedLibrary(name);
  if (!found) return false;
  // A library the login cannot use (unreachable, user unknown) is never made the connected one.
  if (found->UserId().empty()) {
    log().SetStatus("Error: Library UserName not identified");
    // The line above cannot say which file or server failed, nor why: the next one does.
    if (const std::string why = found->Problem(); !why.empty()) {
      log().AddLog("Error: Library " + name + " cannot be used: " + why);
    }
    log().Separator();
    return false;
  }
  library_ = found;
  facts_.LibraryConnected = false;
  if (!AttachSqlObject(name)) return false;

  DetectEngine(*cached, name);

  remembered_->pointed = true;
  auto pointed = application_->PointAtLibrary(name);
  if (!pointed || UCase(pointed->Name()) != name) {
    log().SetStatus("Error: Unable to set library object to " + name + " - library object set to " +
                    (pointed ? pointed->Name() : "nothing"));
    log().Separator();
    return false;
  }
  library_ = pointed;

  PrepareLibrary(*cached);

  state_.HasFolderLastUpdate = cached->has_folder_last_update;
  remembered_->loaded = true;
  if (on_connected_) on_connected_();
  context_.ui.Yield();
  facts_.LibraryConnected = true;
  log().AddLogAndSeparator("Connected to " + facts_.EngineName + " Library Object " + name + ".");
  return true;
}

std::shared_ptr<dmapi::Library> Connection::FindListedLibrary(const std::string& name) {
  for (int i = 1; i <= libraries_->Count(); ++i) {
    if (UCase(libraries_->Name(i)) != name) continue;
    log().AddLog("Setting Lib object to " + name);
    std::shared_ptr<dmapi::Library> found = libraries_->Item(i);
    log().Separator();
    if (found) return found;
    break;
  }
  log().Separator();
  log().SetStatus("Error: Unable to set LIB object - cannot continue");
  log().Separator();
  const std::string message =
      "Error: The LIBS object is not set - this indicates a problem with how " +
      context_.identity.product_name + " accesses the Fusion API on your computer";
  log().SetStatus(message);
  context_.ShowMessage(message, MessageStyle::kCritical);
  return nullptr;
}

bool Connection::AttachSqlObject(const std::string& name) {
  log().AddLog("Setting PCDClient.PCDSQL Object");
  remembered_->sql = std::move(sql_);
  remembered_->sql_replaced = true;
  sql_ = client_.CreateSqlObject();
  log().Separator();
  if (!sql_) {
    log().SetStatus("Error: Unable to set SQL object - cannot start " +
                    context_.identity.product_name);
    log::ReportTrapped(log(), "ConnectLibrary", kCannotCreateObject, "PCDClient.PCDSQL",
                       "Unable to create the SQL object");
    return false;
  }
  log().AddLog("Setting pSQL Security Token");
  sql_->AttachToken(application_->LoginToken());
  log().Separator();
  log().AddLog("Setting pSQL library to " + name);
  sql_->AttachLibrary(name);
  log().Separator();
  return true;
}

void Connection::DetectEngine(CachedLibrary& cached, const std::string& name) {
  // The owner prefix is left out while the owner is unknown.
  const std::string prefix = facts_.LibraryOwner.empty() ? "" : "[OWNER].";
  int engine = sql_->EngineCode();
  if (engine == 0) {
    if (!cached.engine) {
      cached.engine = static_cast<int>(ReadFirstRow("SELECT DATABASE_ENGINE FROM " + prefix +
                                                    "REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" +
                                                    SqlQuoteName(name) + "'")
                                           .Number(1));
    }
    engine = *cached.engine;
  }
  facts_.DatabaseEngine = engine;
  // Only a SQL Server library learns these below; another must not keep the last one's,
  // since they decide how its statements are written (TRY_CAST).
  facts_.DatabaseVersion.clear();
  facts_.CompatibilityLevel.clear();
  facts_.ServerVersionText.clear();
  if (!cached.owner) LearnOwner(cached, name, prefix);
  // A library that names no owner anywhere keeps the DM default for its statements.
  if (facts_.LibraryOwner.empty()) facts_.LibraryOwner = "DOCSADM";

  if (facts_.IsOracle()) {
    facts_.OuterJoinEquals = " (+) = ";
    facts_.ConcatOperator = " || ";
    facts_.EngineName = "Oracle";
    facts_.NextColumn = "\"NEXT\"";
    return;
  }
  // Statements for an engine the client cannot tell are written in the Microsoft flavour,
  // so they get its operators too; only the server questions are skipped.
  facts_.OuterJoinEquals = " = ";
  facts_.ConcatOperator = " + ";
  facts_.NextColumn = "[NEXT]";
  if (engine == 0) {
    facts_.EngineName = "*Unknown*";
    return;
  }
  LearnServer(cached, name);
}

void Connection::LearnOwner(CachedLibrary& cached, const std::string& name,
                            const std::string& prefix) {
  log().AddLogAndSeparator("Identifying database owner using SQL");
  const std::string owner = text::Trim(
      ReadFirstRow(facts_.IsOracle() && facts_.LibraryOwner.empty()
                       ? "SELECT OWNER FROM USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'"
                       : "SELECT OWNER FROM " + prefix + "REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" +
                             SqlQuoteName(name) + "'")
          .Text(1));
  if (!owner.empty()) {
    facts_.LibraryOwner = owner;
    cached.owner = owner;
  }
  log().AddLogAndSeparator("SQL Database_Engine value is " + Number(facts_.DatabaseEngine));
  log().AddLogAndSeparator("SQL Database Owner is " + facts_.LibraryOwner);
}

void Connection::LearnServer(CachedLibrary& cached, const std::string& name) {
  if (!cached.version_banner) {
    std::string banner = ReadFirstRow("SELECT @@VERSION").Text(1);
    const size_t lineBreak = banner.find_first_of("\r\n");
    if (lineBreak != std::string::npos) banner = banner.substr(0, lineBreak);
    cached.version_banner = banner;
    log().AddLogAndSeparator(banner);
  }
  const std::string head = text::Trim(cached.version_banner->substr(
      0, std::min(cached.version_banner->find('('), cached.version_banner->size())));
  facts_.ServerVersionText = head;
  const auto parts = text::Split(head, " - ");
  const double major = text::Val(parts[0]);
  if (!cached.dateformat_set) {
    RunStatement("set dateformat mdy");
    cached.dateformat_set = true;
  }
  if (facts_.DatabaseEngine == 6) {
    facts_.EngineName = "Sybase";
  } else {
    facts_.EngineName = major > 0 ? "MSSQL " + Format(major, "#0") : "MSSQL";
  }
  if (!cached.database_version) {
    cached.database_version = ReadFirstRow("select serverproperty('ProductVersion')").Text(1);
    log().AddLogAndSeparator("Database Version is " + *cached.database_version);
  }
  facts_.DatabaseVersion = *cached.database_version;
  if (!cached.compatibility_level) {
    const std::string database =
        ReadFirstRow("SELECT DATABASE_NAME FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" +
                     SqlQuoteName(name) + "'")
            .Text(1);
    cached.compatibility_level =
        ReadFirstRow("SELECT compatibility_level FROM sys.databases WHERE name = '" +
                     SqlQuoteName(database) + "'")
            .Text(1);
    log().AddLogAndSeparator("Database Compatibility Level is " + *cached.compatibility_level);
  }
  facts_.CompatibilityLevel = *cached.compatibility_level;
}

bool Connection::CheckFusion(std::string_view caller, Repair repair, OnFailure on_failure) {
  const std::string c(caller);
  return log::Trap(log(), "CheckFusion", false,
                   [&] { return CheckFusionBody(c, repair, on_failure); });
}

bool Connection::LibraryObjectSet(std::string_view caller, NoLibrary tell) {
  constexpr char kNotSet[] = "Library object not set - cannot continue";
  if (tell == NoLibrary::kShow) {
    if (library_) return true;
    context_.ShowMessage(kNotSet, MessageStyle::kCritical);
    return false;
  }
  if (!CheckFusion(caller)) return false;
  if (library_) return true;
  const std::string message = std::string("Error: ") + kNotSet;
  log().AddLogAndSeparator(message);
  if (tell == NoLibrary::kLogAndShow) context_.ShowMessage(message, MessageStyle::kCritical);
  return false;
}

bool Connection::MayManageFolders(bool root_folders, std::string* primary_group) const {
  if (!library_) return false;
  const std::string group = library_->PrimaryGroupId();
  if (primary_group != nullptr) *primary_group = group;
  if (text::EqualsNoCase(group, dmapi::kSupervisorsGroup)) return true;
  return (!root_folders || library_->HasRight(dmapi::kRightManageRootFolders)) &&
         library_->HasRight(dmapi::kRightCreateFolder);
}

bool Connection::CheckFusionBody(const std::string& caller, Repair repair, OnFailure on_failure) {
  const std::string product = context_.identity.product_name;
  bool ok = true;
  auto fail = [&](const std::string& status) {
    log().SetStatus(status);
    ok = false;
  };
  if (repair == Repair::kApplication && !application_) {
    log().SetStatus("CheckFusion is Re-Creating Fusion Application Object");
    application_ = client_.CreateApplication();
    log().Separator();
    if (!application_) {
      ShowAndLog("Error: Unable to set FUSION object for " + caller, MessageStyle::kCritical);
      ok = false;
    } else {
      log().SetStatus("Logging in to the DM Server for " + caller);
      token_ = application_->LoginToken();
      log().Separator();
    }
  }
  if (ok) {
    if (!application_) {
      fail("Error: Fusion object is not set for " + caller);
    } else if (application_->LoginToken().empty()) {
      fail("Error: Fusion object security token is blank for " + caller);
    } else {
      if (!libraries_) {
        log().SetStatus("Resetting Libs Object for " + caller);
        libraries_ = application_->Libraries();
      }
      if (!libraries_) {
        fail("Error: Libs object is not set for " + caller);
      } else if (libraries_->Count() == 0) {
        fail("Error: Libs object returns no libraries for " + caller);
      }
    }
  }
  if (ok && repair == Repair::kSqlObject && !sql_) {
    log().AddLog("CheckFusion is Re-Setting PCDClient.PCDSQL Object");
    sql_ = client_.CreateSqlObject();
    log().Separator();
    if (!sql_) {
      log().AddLog("Error: Unable to set SQL object for " + caller);
      ok = false;
    } else {
      log().AddLog("Setting pSQL DST for " + caller);
      sql_->AttachToken(application_->LoginToken());
      log().AddLog("Setting pSQL library to " + LibraryName() + " for " + caller);
      if (library_) sql_->AttachLibrary(LibraryName());
      log().Separator();
    }
  }
  if (ok) return true;
  if (on_failure == OnFailure::kAskToExit) {
    const auto now = context_.clock.Now();
    const std::string message = "Error: CheckFusion failed on " + caller + " on " +
                                Format(now, "LONG DATE") + " at " + Format(now, "hh:mm:ss ampm");
    log().Separator();
    log().AddLogAndSeparator(message);
    const auto answer = context_.ShowMessage(
        message + "\r\n\r\nDo you want to exit " + product + " now?", MessageStyle::kYesNo);
    if (answer == runtime::Answer::kYes && program_end_) program_end_();
  }
  return false;
}

void Connection::ReleaseObjects() {
  libraries_.reset();
  library_.reset();
  sql_.reset();
  application_.reset();
  if (session_) {
    session_->Close();
    session_.reset();
  }
  facts_.LibraryConnected = false;
}

}  // namespace sproutsmith::dm
