#include "app/library_tree.h"

#include "app/saved_options.h"
#include "log/error_trap.h"
#include "text/text.h"

namespace sproutsmith::app {

using runtime::MessageStyle;
using text::Number;
using text::UCase;

void ToggleLibraries(MainWindowModel& window) {
  for (LibraryNode& library : window.TVRules) {
    library.checked = !library.checked;
    for (CheckNode& rule : library.rules) rule.checked = !rule.checked;
  }
}

bool RulesNotLoaded(const LibraryNode& node) {
  return !node.rules.empty() && node.rules.front().text == kRulePlaceholder;
}

LibraryTree::LibraryTree(Context& context, dm::Connection& connection, rules::RuleStore& rules,
                         MainWindowModel& window)
    : context_(context), connection_(connection), rules_(rules), window_(window) {}

void LibraryTree::RestoreStatus(const std::string& text) {
  context_.options.LabelStatus = text;
  context_.ui.StatusChanged(text);
}

bool LibraryTree::ExpandLibraryNode(LibraryNode& node) {
  if (!RulesNotLoaded(node)) return false;
  const std::string status = context_.options.LabelStatus;
  const std::string remembered = connection_.LibraryName();
  context_.ui.SetBusy(true);
  node.rules.erase(node.rules.begin());
  context_.ui.Yield();
  log::TrapVoid(context_.log, "TVRules_Expand", [&] { ExpandBody(node); });
  if (!remembered.empty() && !text::EqualsNoCase(connection_.LibraryName(), remembered)) {
    connection_.ConnectLibrary(remembered);
  }
  RestoreStatus(status);
  context_.ui.SetBusy(false);
  return true;
}

void LibraryTree::ExpandBody(LibraryNode& node) {
  log::Log& log = context_.log;
  const std::string& library = node.text;
  if (!text::EqualsNoCase(library, connection_.LibraryName()) &&
      !connection_.ConnectLibrary(library)) {
    node.checked = false;
    return;
  }
  if (!connection_.library_state().HasQuilSettings) {
    log.AddLogAndSeparator("Warning: Quil_Settings table not found in library " + library);
    node.checked = false;
    return;
  }
  if (RightsRefused(library)) {
    node.checked = false;
    return;
  }
  if (rules_.Count() > 0) {
    log.SetStatus("Setting " + Number(rules_.Count()) + " rule(s) for Node " + library);
    log.Separator();
    AddRuleNodes(node);
  } else {
    log.AddLogAndSeparator("No rules found in library " + library);
  }
}

bool LibraryTree::RightsRefused(const std::string& library) {
  if (connection_.library() == nullptr) return true;
  if (connection_.MayManageFolders()) return false;
  const std::string message = "Error: " + connection_.UserId() +
                              " does not have rights to manage folders in library " + library;
  // Also logged: an unattended run shows no box, and the log is all its operator reads.
  context_.log.AddLogAndSeparator(message);
  context_.ShowMessage(message, MessageStyle::kExclamation);
  return true;
}

void LibraryTree::AddRuleNodes(LibraryNode& node) {
  const std::string& product = context_.identity.product_name;
  for (int i = 1; i <= rules_.Count(); ++i) {
    const rules::RuleRecord& rule = rules_.Rule(i);
    const std::string& name = rule.Name();
    if (UCase(name).find("*DELETED*") != std::string::npos) continue;
    if (UCase(rule[rules::RuleKey::kPurpose]).find("MAINTENANCE") != std::string::npos) continue;
    const std::string mark = context_.settings.Get(product, kRules, RuleKey(node.text, name), "-1");
    node.rules.push_back({name, CheckValue(mark) != 0});
  }
}

void LibraryTree::ClickLibraryMenuEntry(const std::string& caption) {
  if (text::EqualsNoCase(caption, connection_.LibraryName())) return;
  const std::string status = context_.options.LabelStatus;
  context_.log.SetStatus("Switching to library " + caption);
  context_.ui.SetBusy(true);
  connection_.ConnectLibrary(caption);
  RestoreStatus(status);
  context_.ui.SetBusy(false);
}

bool LibraryTree::SelectLibrary() {
  context_.log.SetStatus("Selecting library to process");
  dmapi::Application* application = connection_.application();
  std::shared_ptr<dmapi::Library> chosen;
  if (application != nullptr) {
    runtime::Ui& ui = context_.ui;
    application->SetLibraryChooser(
        [&ui](const std::vector<std::string>& names) { return ui.ChooseLibrary(names); });
    chosen = application->ChooseLibrary();
  }
  if (!chosen) {
    context_.ShowMessage("Selection canceled", MessageStyle::kInformation);
    return false;
  }
  const std::string name = chosen->Name();
  if (!connection_.ConnectLibrary(name)) {
    context_.ShowMessage("Error: Unable to connect to library " + name, MessageStyle::kCritical);
    return false;
  }
  return true;
}

}  // namespace sproutsmith::app
