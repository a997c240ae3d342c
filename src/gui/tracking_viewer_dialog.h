#pragma once
// The window of the tracking-table viewer: the rows of QUIL_SPROUTSMITH of the chosen
// library, sortable by each column (a second click on the same column reverses), several
// rows selectable, Remove from the pop-up menu or the Delete key, F5 lists the rows again.

#include <QDialog>

#include "tools/tracking_viewer.h"

class QTreeWidget;
class QMenu;

namespace sproutsmith::gui {

class TrackingViewerDialog : public QDialog {
  Q_OBJECT

 public:
  // `viewer` is open; the dialog lists its rows and leaves closing it to the caller.
  TrackingViewerDialog(tools::TrackingViewer& viewer, QWidget* parent = nullptr);

  void SortByColumn(int column);
  void RemoveSelected();
  void Reload();
  QTreeWidget* list() { return list_; }
  QMenu* popup() { return popup_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  tools::TrackingViewer& viewer_;
  QTreeWidget* list_;
  QMenu* popup_;
  QAction* remove_;
  int sort_column_ = -1;
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
};

}  // namespace sproutsmith::gui
