#pragma once
// Keeps a QTreeWidget with check boxes in step with the library/rule tree model TVRules: the
// model is the truth, the widget shows it and writes the operator's marks back. A library
// whose rules were never loaded shows an expander and loads them when it is opened.

#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "app/main_window_model.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace sproutsmith::gui {

class CheckTreeBinding : public QObject {
  Q_OBJECT

 public:
  // `expand` loads a library node's rules (may be empty: nothing to load with).
  // `edit_rule` is asked for F5 on a rule node with the library and rule names.
  CheckTreeBinding(QTreeWidget* tree, std::vector<app::LibraryNode>& nodes,
                   std::function<void(app::LibraryNode&)> expand,
                   std::function<void(const std::string&, const std::string&)> edit_rule);

  void Sync();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Expanded(QTreeWidgetItem* item);
  void Changed(QTreeWidgetItem* item);

  QTreeWidget* tree_;
  std::vector<app::LibraryNode>& nodes_;
  std::function<void(app::LibraryNode&)> expand_;
  std::function<void(const std::string&, const std::string&)> edit_rule_;
  bool syncing_ = false;
};

// The same for a flat list of check nodes (the pause days TVPause).
class CheckListBinding : public QObject {
  Q_OBJECT

 public:
  CheckListBinding(QTreeWidget* list, std::vector<app::CheckNode>& nodes);
  void Sync();

 private:
  QTreeWidget* list_;
  std::vector<app::CheckNode>& nodes_;
  bool syncing_ = false;
};

}  // namespace sproutsmith::gui
