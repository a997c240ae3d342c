// The checks and repairs every library gets when it is connected, learnt once per run.

#include "dm/connection.h"
#include "dm/sql_text.h"
#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::dm {

using runtime::MessageStyle;
using text::Number;
using text::UCase;

bool Connection::CheckSQLSettings(std::string_view target) {
  const std::string t(target);
  return log::Trap(log(), "CheckSQLSettings", false, [&] { return CheckSQLSettingsBody(t); });
}

bool Connection::CheckSQLSettingsBody(const std::string& target) {
  owner_learnt_ = false;
  if (facts_.LibraryOwner.empty()) facts_.LibraryOwner = "DOCSADM";
  if (!CheckFusion("CheckSQLSettings")) return false;
  // Before the first connection there is no library to ask about the target; the target's
  // own REMOTE_LIBRARIES row is read when it is attached.
  if (!library_) return true;
  const std::string connected = LibraryName();
  if (UCase(connected) == UCase(target)) return true;
  log().AddLogAndSeparator("Checking SQL connection settings in " + connected + " to " + target);
  bool found = false;
  const bool answered = RunQuery(
      "SELECT LIBRARY_NAME, SQL_PASSWORD, LIB_LOGIN_UNAME, OWNER FROM [OWNER].REMOTE_LIBRARIES "
      "WHERE LIBRARY_NAME IN ('" +
          SqlQuote(connected) + "', '" + SqlQuote(target) + "')",
      [&] {
        if (UCase(text::Trim(Column(1))) != UCase(target)) return true;
        found = true;
        const std::string owner = text::Trim(Column(4));
        if (!owner.empty()) {
          facts_.LibraryOwner = owner;
          owner_learnt_ = true;
        }
        return false;
      });
  if (!answered) {
    log().AddLogAndSeparator("Error: Unable to obtain results from SQL statement in library " +
                             connected);
    return false;
  }
  if (!found) {
    log().AddLogAndSeparator(
        "Error: The library you are attempting to connect to (" + target +
        ") is not properly configured in the REMOTE_LIBRARIES table in your current "
        "library (" +
        connected + ")");
  }
  return true;
}

void Connection::PrepareLibrary(CachedLibrary& cached) {
  const std::string library = LibraryName();
  for (auto& entry : context_.options.MNLibList) entry.checked = entry.caption == library;
  if (!cached.prepared) {
    PrepareLibraryQueries(cached);
    cached.prepared = true;
  }
  ApplyCached(cached);
}

void Connection::ApplyCached(const CachedLibrary& c) {
  state_.HasQuilSettings = c.has_quil_settings;
  state_.HasNeedsFoldering = c.has_needs_foldering;
  state_.HasNeedsSecuring = c.has_needs_securing;
  state_.HasQuilSproutsmith = c.has_quil_sproutsmith;
  state_.HasQuilSubscription = c.has_quil_subscription;
  state_.HasQuilProxy = c.has_quil_proxy;
  state_.HasSecReason = c.has_sec_reason;
  state_.HasSecurityLink = c.has_security_link;
  state_.HasWorkspaceForm = c.has_workspace_form;
  state_.HasFolderLastUpdate = c.has_folder_last_update;
  state_.DatabaseName = c.own_database_name;
  state_.ServerLocation = c.server_location;
  state_.settings = c.settings;
  state_.ValidationTables = c.validation_tables;
}

void Connection::PrepareLibraryQueries(CachedLibrary& c) {
  WarnUniqueNames(c);
  ReadOwnDatabase(c);

  const std::string library = LibraryName();
  c.has_quil_settings = TableExists("QUIL_SETTINGS");
  c.has_needs_foldering = TableExists("NEEDS_FOLDERING");
  c.has_needs_securing = TableExists("NEEDS_SECURING");
  c.has_quil_sproutsmith = TableExists("QUIL_SPROUTSMITH");
  if (!c.has_quil_sproutsmith) {
    log().AddLogAndSeparator("QUIL_SPROUTSMITH table does not exist in library " + library);
  }
  c.has_quil_subscription = TableExists("QUIL_SUBSCRIPTION");
  c.has_quil_proxy = TableExists("QUIL_PROXY");
  if (c.has_quil_settings) ReadSettings(c);

  c.has_sec_reason = TableExists("SEC_REASON");
  if (c.has_sec_reason) AddSecurityReason();

  c.has_lookup_security = TableExists("LOOKUP_SECURITY");
  if (c.has_lookup_security) {
    RunQuery(
        "SELECT TABLE_NAME, SYSTEM_ID FROM [OWNER].DOCSTABLE WHERE VALIDATION_TABLE = 'Y' "
        "ORDER BY TABLE_NAME",
        [&] {
          c.validation_tables.emplace_back(Column(1), static_cast<long long>(ColumnNumber(2)));
          return true;
        });
  }

  c.has_security_link = ReadFirstRow(
                            "SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND "
                            "COLNAME = 'SECURITY_LINK'")
                            .Number(1) > 0;
  c.has_workspace_form =
      ReadFirstRow(
          "SELECT COUNT(*) FROM [OWNER].FORMS WHERE FORM_NAME = 'WORKSPACE_PROF' AND FORM_TYPE = "
          "'P'")
          .Number(1) > 0;

  AddFolderLastUpdate(c);
}

// Unique document names: warned of once each time the parameter is found switched on.
void Connection::WarnUniqueNames(CachedLibrary& c) {
  const std::string library = LibraryName();
  const std::string product = context_.identity.product_name;
  const std::string parameter = library_->Parameter("DOCSParms.UniqueDocNames");
  const bool unique = text::Val(parameter) != 0 || UCase(text::Trim(parameter)) == "TRUE";
  c.unique_names = unique ? "-1" : "0";
  if (unique && text::Val(context_.settings.Get(product, library, "UniqueNameWarning", "0")) == 0) {
    const std::string message =
        "Warning: The library setting Unique Document Names is enabled. This will require you to "
        "have unique folder names in order to use Arborline in library " +
        library + ".";
    log().AddLogAndSeparator(message);
    if (context_.options.CheckDisplayErrors != 0) {
      runtime::ShowMessage(context_.ui, context_.state, "WARNING!", message,
                           MessageStyle::kExclamation);
    }
  }
  context_.settings.Save(product, library, "UniqueNameWarning", c.unique_names);
}

// The library's own database and server, and on SQL Server its QUOTED_IDENTIFIER option.
void Connection::ReadOwnDatabase(CachedLibrary& c) {
  const FirstRow own = ReadFirstRow(
      "SELECT LIBRARY_NAME, DATABASE_NAME, DATABASE_ENGINE, SERVER_LOCATION FROM "
      "[OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = 0");
  c.own_database_name = own.Text(2);
  c.server_location = own.Text(4);
  if (facts_.IsOracle()) return;

  const std::string library = LibraryName();
  const std::string product = context_.identity.product_name;
  const std::string database = c.own_database_name;
  c.quoted_identifier =
      ReadFirstRow("SELECT IS_QUOTED_IDENTIFIER_ON FROM SYS.DATABASES DB WHERE DB.NAME = '" +
                   SqlQuote(database) + "'")
                  .Number(1) == 1
          ? "ON"
          : "OFF";
  log().AddLogAndSeparator("Quoted Identifier for database " + database + " is " +
                           c.quoted_identifier);
  if (c.quoted_identifier == "OFF") {
    log().AddLog("Warning: The SQL option 'QUOTED_IDENTIFIER' is set to 'OFF' in the database " +
                 database + " for library " + library + "!\r\n\r\n" +
                 "This option must be turned ON by a user that is connected to the SQL database "
                 "as SA\r\n" +
                 "in order to be able to manipulate folders in " + product +
                 " and the add-on modules.\r\n\r\n" + "The syntax for this option (for library " +
                 library + ") is:\r\nALTER DATABASE " + database + " SET QUOTED_IDENTIFIER ON");
  }
}

void Connection::ReadSettings(CachedLibrary& c) {
  RunQuery(
      "SELECT SUB_KEY, CHAR_VAL, INT_VAL FROM [OWNER].QUIL_SETTINGS WHERE MASTER_KEY = "
      "'ARBORLINE' AND SECTION_KEY = 'SETTINGS'",
      [&] {
        const std::string key = UCase(text::Trim(Column(1)));
        if (key == "PROFILE_EXCLUDE_COLUMN") {
          c.settings.ProfileExcludeColumn = text::Trim(Column(2));
        }
        if (key == "DEFAULT_WORKSPACE") c.settings.DefaultWorkspace = text::Trim(Column(2));
        if (key == "EMAIL_SERVER") c.settings.EmailServer = text::Trim(Column(2));
        if (key == "CONTINUEONMOVE") c.settings.ContinueOnMove = ColumnNumber(3);
        if (key == "TOPLEVELWARNING") {
          c.settings.TopLevelWarning = static_cast<long>(ColumnNumber(3));
        }
        if (key == "MAXITEMSTOSORT") c.settings.MaxItemsToSort = static_cast<long>(ColumnNumber(3));
        return true;
      });
}

// The security reason 98 that trustee rows written by this system name.
void Connection::AddSecurityReason() {
  const FirstRow count = ReadFirstRow("SELECT COUNT(*) FROM [OWNER].SEC_REASON WHERE CODE = 98");
  if (!count.succeeded || count.Number(1) != 0 || read_only_) return;
  const long long key = sql_->AllocateKey("SYSTEMKEY");
  if (key > 0) {
    RunStatement(
        "INSERT INTO [OWNER].SEC_REASON (CODE, DESCRIPTION, SYSTEM_ID) VALUES(98,'ARBORLINE'," +
        Number(key) + ")");
  } else {
    log().AddLogAndSeparator(
        "Error: Unable to retrieve System_ID for inserting new row - cannot continue.");
  }
}

bool Connection::FolderHasLastUpdate() {
  return RunStatement("SELECT COUNT(*) FROM [OWNER].FOLDER WHERE LAST_UPDATE IS NULL AND 1 = 0");
}

void Connection::AddFolderLastUpdate(CachedLibrary& c) {
  const std::string library = LibraryName();
  const FirstRow listed = ReadFirstRow(
      "SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = "
      "'LAST_UPDATE'");
  if (!listed.succeeded) return;
  // A dictionary row without its column (left by a failed repair) is repaired again.
  if (listed.Number(1) > 0 && FolderHasLastUpdate()) {
    c.has_folder_last_update = true;
    return;
  }
  if (read_only_) return;
  log().AddLogAndSeparator("Adding LAST_UPDATE column to FOLDER table in library " + library);
  // Oracle has no DATETIME type.
  RunStatement(facts_.IsOracle() ? "ALTER TABLE [OWNER].FOLDER ADD LAST_UPDATE DATE NULL"
                                 : "ALTER TABLE [OWNER].FOLDER ADD LAST_UPDATE DATETIME NULL");
  // The column may have been there already without its dictionary row; a dictionary row
  // for a column that is not there would make every later stamp fail.
  if (!FolderHasLastUpdate()) {
    log().AddLogAndSeparator(
        "Warning: Unable to add the LAST_UPDATE column to the FOLDER table in library " + library);
    return;
  }
  c.has_folder_last_update = true;
  log().AddLogAndSeparator("Updating DOCSCOLUMN column LAST_UPDATE for FOLDER table in library " +
                           library);
  RunStatement(
      "DELETE FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'");
  const long long key = sql_->AllocateKey("SYSTEMKEY");
  if (key <= 0) {
    log().AddLogAndSeparator(
        "Error: Unable to retrieve System_ID for inserting new row - cannot continue.");
    return;
  }
  RunStatement(
      "INSERT INTO [OWNER].DOCSCOLUMN (SYSTEM_ID, TBNAME, FTBNAME, FCOLNAME, CREATOR, "
      "PROTECTED, VISIBLEINLIST, USER_MODIFIABLE, USER_ADDED, REQUIRED, ALLUPPER, ALLOWNULLS, "
      "OBJECTTYPE, CMSKEY, KEYGROUP, COLNAME, PROMPT, CMSTYPE, COL_LENGTH) VALUES (" +
      Number(key) +
      ", 'FOLDER',  '', '', '[OWNER]', 'N', 'Y', 'Y', 'Y', 'N', 'N', 'Y', "
      "'EDIT', 'N', '', 'LAST_UPDATE', 'LAST_UPDATE',8, 0)");
  RunStatement("UPDATE [OWNER].FOLDER SET LAST_UPDATE = GETUTCDATE() WHERE PATH LIKE 'ARBORLINE%'");
}

}  // namespace sproutsmith::dm
