#include "gui/check_tree_binding.h"

#include <QEvent>
#include <QKeyEvent>
#include <QTreeWidget>

#include "app/library_tree.h"

namespace sproutsmith::gui {

namespace {

Qt::CheckState StateOf(bool checked) { return checked ? Qt::Checked : Qt::Unchecked; }

// The item at `index` under `parent` (or at the top), made when missing, with `text` and mark.
QTreeWidgetItem* ItemAt(QTreeWidget* tree, QTreeWidgetItem* parent, int index,
                        const std::string& text, bool checked) {
  const int count = parent ? parent->childCount() : tree->topLevelItemCount();
  QTreeWidgetItem* item = nullptr;
  if (index < count) {
    item = parent ? parent->child(index) : tree->topLevelItem(index);
  } else {
    item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  }
  const QString label = QString::fromStdString(text);
  if (item->text(0) != label) item->setText(0, label);
  if (item->checkState(0) != StateOf(checked)) item->setCheckState(0, StateOf(checked));
  return item;
}

void TrimChildren(QTreeWidget* tree, QTreeWidgetItem* parent, int keep) {
  if (parent) {
    while (parent->childCount() > keep) delete parent->takeChild(parent->childCount() - 1);
  } else {
    while (tree->topLevelItemCount() > keep)
      delete tree->takeTopLevelItem(tree->topLevelItemCount() - 1);
  }
}

}  // namespace

CheckTreeBinding::CheckTreeBinding(
    QTreeWidget* tree, std::vector<app::LibraryNode>& nodes,
    std::function<void(app::LibraryNode&)> expand,
    std::function<void(const std::string&, const std::string&)> edit_rule)
    : QObject(tree),
      tree_(tree),
      nodes_(nodes),
      expand_(std::move(expand)),
      edit_rule_(std::move(edit_rule)) {
  connect(tree_, &QTreeWidget::itemExpanded, this, &CheckTreeBinding::Expanded);
  connect(tree_, &QTreeWidget::itemChanged, this, &CheckTreeBinding::Changed);
  tree_->installEventFilter(this);
}

void CheckTreeBinding::Sync() {
  syncing_ = true;
  for (size_t i = 0; i < nodes_.size(); ++i) {
    const app::LibraryNode& node = nodes_[i];
    QTreeWidgetItem* library = ItemAt(tree_, nullptr, static_cast<int>(i), node.text, node.checked);
    if (app::RulesNotLoaded(node)) {
      // The placeholder stays in the model; the widget shows only that there is more.
      TrimChildren(tree_, library, 0);
      library->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
      continue;
    }
    library->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    for (size_t r = 0; r < node.rules.size(); ++r) {
      ItemAt(tree_, library, static_cast<int>(r), node.rules[r].text, node.rules[r].checked);
    }
    TrimChildren(tree_, library, static_cast<int>(node.rules.size()));
  }
  TrimChildren(tree_, nullptr, static_cast<int>(nodes_.size()));
  syncing_ = false;
}

void CheckTreeBinding::Expanded(QTreeWidgetItem* item) {
  if (syncing_ || item->parent() != nullptr) return;
  const int index = tree_->indexOfTopLevelItem(item);
  if (index < 0 || static_cast<size_t>(index) >= nodes_.size()) return;
  app::LibraryNode& node = nodes_[static_cast<size_t>(index)];
  if (!app::RulesNotLoaded(node) || !expand_) return;
  expand_(node);
  Sync();
  // Nothing to show: no rules, or none loaded (the node can be opened again later).
  if (node.rules.empty() || app::RulesNotLoaded(node)) item->setExpanded(false);
}

void CheckTreeBinding::Changed(QTreeWidgetItem* item) {
  if (syncing_) return;
  const bool checked = item->checkState(0) == Qt::Checked;
  if (QTreeWidgetItem* parent = item->parent()) {
    const int library = tree_->indexOfTopLevelItem(parent);
    const int rule = parent->indexOfChild(item);
    if (library < 0 || static_cast<size_t>(library) >= nodes_.size()) return;
    auto& rules = nodes_[static_cast<size_t>(library)].rules;
    if (rule >= 0 && static_cast<size_t>(rule) < rules.size())
      rules[static_cast<size_t>(rule)].checked = checked;
    return;
  }
  const int library = tree_->indexOfTopLevelItem(item);
  if (library >= 0 && static_cast<size_t>(library) < nodes_.size()) {
    nodes_[static_cast<size_t>(library)].checked = checked;
  }
}

bool CheckTreeBinding::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tree_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_F5) {
    QTreeWidgetItem* item = tree_->currentItem();
    if (item && item->parent() && edit_rule_) {
      edit_rule_(item->parent()->text(0).toStdString(), item->text(0).toStdString());
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

CheckListBinding::CheckListBinding(QTreeWidget* list, std::vector<app::CheckNode>& nodes)
    : QObject(list), list_(list), nodes_(nodes) {
  connect(list_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
    if (syncing_) return;
    const int index = list_->indexOfTopLevelItem(item);
    if (index >= 0 && static_cast<size_t>(index) < nodes_.size()) {
      nodes_[static_cast<size_t>(index)].checked = item->checkState(0) == Qt::Checked;
    }
  });
}

void CheckListBinding::Sync() {
  syncing_ = true;
  for (size_t i = 0; i < nodes_.size(); ++i) {
    ItemAt(list_, nullptr, static_cast<int>(i), nodes_[i].text, nodes_[i].checked);
  }
  TrimChildren(list_, nullptr, static_cast<int>(nodes_.size()));
  syncing_ = false;
}

}  // namespace sproutsmith::gui
