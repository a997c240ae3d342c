#include "gui/tracking_viewer_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace sproutsmith::gui {

namespace {

constexpr int kSidColumn = 2;

// SIDs are numbers: 9 comes before 10.
class TrackingItem : public QTreeWidgetItem {
 public:
  explicit TrackingItem(const tools::TrackingRow& row)
      : QTreeWidgetItem({QString::fromStdString(row.rule), QString::fromStdString(row.table),
                         QString::fromStdString(row.sid)}) {}
  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    if (column == kSidColumn) {
      bool a_ok = false, b_ok = false;
      const qlonglong a = text(column).toLongLong(&a_ok);
      const qlonglong b = other.text(column).toLongLong(&b_ok);
      if (a_ok && b_ok) return a < b;
    }
    return text(column) < other.text(column);
  }
};

}  // namespace

TrackingViewerDialog::TrackingViewerDialog(tools::TrackingViewer& viewer, QWidget* parent)
    : QDialog(parent), viewer_(viewer), list_(new QTreeWidget(this)), popup_(new QMenu(this)) {
  setObjectName("Arborline_Summary");
  list_->setObjectName("ListResults");
  list_->setHeaderLabels({"Rule", "Table", "SID"});
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  // Rows stay in the table's order until a header is clicked; the dialog sorts them itself.
  // (Switching the view's sorting off would also make the header deaf to clicks.)
  list_->setSortingEnabled(false);
  list_->header()->setSectionsClickable(true);
  connect(list_->header(), &QHeaderView::sectionClicked, this, &TrackingViewerDialog::SortByColumn);

  remove_ = popup_->addAction("Remove", this, &TrackingViewerDialog::RemoveSelected);
  remove_->setObjectName("MNRemove");
  popup_->addAction("&Select All", list_, &QTreeWidget::selectAll)->setObjectName("MNSelectAll");
  popup_->addAction("&De-Select All", list_, &QTreeWidget::clearSelection)
      ->setObjectName("MNDeselectAll");
  connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    remove_->setEnabled(!list_->selectedItems().isEmpty());
    popup_->popup(list_->viewport()->mapToGlobal(at));
  });

  count_ = new QLabel(this);
  count_->setObjectName("LabelCount");
  auto button = [this](const char* name, const QString& text, const QString& key) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setToolTip(key);
    b->setAutoDefault(false);
    return b;
  };
  QPushButton* refresh = button("ButtonRefresh", "&Refresh", "F5");
  remove_button_ = button("ButtonRemove", "Re&move", "Delete");
  QPushButton* close = button("ButtonClose", "&Close", "Esc");
  connect(refresh, &QPushButton::clicked, this, &TrackingViewerDialog::Refresh);
  connect(remove_button_, &QPushButton::clicked, this, &TrackingViewerDialog::RemoveSelected);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemSelectionChanged, this,
          [this] { remove_button_->setEnabled(!list_->selectedItems().isEmpty()); });

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(count_, 1);
  buttons->addWidget(refresh);
  buttons->addWidget(remove_button_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(520, 400);
  Reload();
}

void TrackingViewerDialog::Reload() {
  // As listed: in the table's own order, unsorted until a header is clicked.
  sort_column_ = -1;
  list_->header()->setSortIndicatorShown(false);
  list_->clear();
  QList<QTreeWidgetItem*> items;
  for (const tools::TrackingRow& row : viewer_.rows()) items << new TrackingItem(row);
  list_->addTopLevelItems(items);
  list_->resizeColumnToContents(0);
  list_->resizeColumnToContents(1);
  setWindowTitle(QString::fromStdString(viewer_.caption()));
  count_->setText(QString("%1 row(s)").arg(list_->topLevelItemCount()));
  remove_button_->setEnabled(false);
}

void TrackingViewerDialog::Refresh() {
  viewer_.Refresh();
  Reload();
}

void TrackingViewerDialog::SortByColumn(int column) {
  sort_order_ = column == sort_column_ && sort_order_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                            : Qt::AscendingOrder;
  sort_column_ = column;
  list_->sortItems(column, sort_order_);
  list_->header()->setSortIndicatorShown(true);
  list_->header()->setSortIndicator(column, sort_order_);
}

void TrackingViewerDialog::RemoveSelected() {
  std::vector<tools::TrackingRow> selected;
  for (QTreeWidgetItem* item : list_->selectedItems()) {
    selected.push_back({item->text(0).toStdString(), item->text(1).toStdString(),
                        item->text(kSidColumn).toStdString()});
  }
  if (selected.empty()) return;
  // The viewer lists the rows again after a removal; a declined one changes nothing.
  if (viewer_.Remove(selected)) Reload();
}

void TrackingViewerDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && !(event->modifiers() & Qt::ShiftModifier)) {
    RemoveSelected();
    return;
  }
  if (event->key() == Qt::Key_F5) {
    Refresh();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace sproutsmith::gui
