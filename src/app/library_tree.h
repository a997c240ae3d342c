#pragma once
// The library/rule tree TVRules: a library's rule nodes are loaded when its node is first
// expanded (after the settings-table and rights checks), plus the commands that act on the
// tree and on the connected library. Every operation that connects another library connects
// the one that was connected on entry again before it returns.

#include <string>

#include "app/main_window_model.h"
#include "dm/connection.h"
#include "log/context.h"
#include "rules/rule_store.h"

namespace sproutsmith::app {

// MNToggleLibs: inverts the mark of every node, library and rule alike.
void ToggleLibraries(MainWindowModel& window);

// True when the node's rules were never loaded (its only child is the placeholder).
bool RulesNotLoaded(const LibraryNode& node);

class LibraryTree {
 public:
  // All references must outlive the tree. `rules` reloads on every connection.
  LibraryTree(Context& context, dm::Connection& connection, rules::RuleStore& rules,
              MainWindowModel& window);

  // The expansion of a library node. Only a node whose first child is the placeholder is
  // handled (false otherwise: the tree's own business); the placeholder goes for good. A
  // library that cannot be connected, lacks QUIL_SETTINGS or refuses the user's rights is
  // left unchecked and without rule nodes. Rules whose name holds "*DELETED*" or whose
  // purpose holds "MAINTENANCE" never get a node; the others take their marks from the
  // section "Rules" (checked when absent).
  bool ExpandLibraryNode(LibraryNode& node);

  // A click on the library menu entry `caption`: connects that library unless it is the
  // connected one.
  void ClickLibraryMenuEntry(const std::string& caption);

  // The library chooser of the maintenance commands. True with the chosen library
  // connected; false after a cancel ("Selection canceled") or a failed connection (error
  // box), when the connected library is unchanged.
  bool SelectLibrary();

 private:
  void ExpandBody(LibraryNode& node);
  bool RightsRefused(const std::string& library);
  void AddRuleNodes(LibraryNode& node);
  void RestoreStatus(const std::string& text);

  Context& context_;
  dm::Connection& connection_;
  rules::RuleStore& rules_;
  MainWindowModel& window_;
};

}  // namespace sproutsmith::app
