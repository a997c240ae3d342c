#pragma once
// The window of the tracking-table viewer: the rows of QUIL_SPROUTSMITH of the chosen
// library, sortable by each column (a second click on the same column reverses), several
// rows selectable, Remove from the pop-up menu, its button or the Delete key; Refresh (F5)
// lists the rows again and Close (Esc) closes. The row count shows beside the buttons.

#include <QDialog>

#include "tools/tracking_viewer.h"

class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace sproutsmith::gui {

class TrackingViewerDialog : public QDialog {
  Q_OBJECT

 public:
  // `viewer` is open; the dialog lists its rows and leaves closing it to the caller.
  TrackingViewerDialog(tools::TrackingViewer& viewer, QWidget* parent = nullptr);

  void SortByColumn(int column);
  void RemoveSelected();
  void Reload();
  // Reads the rows again (F5).
  void Refresh();
  QTreeWidget* list() { return list_; }
  QMenu* popup() { return popup_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  tools::TrackingViewer& viewer_;
  QTreeWidget* list_;
  QMenu* popup_;
  QAction* remove_;
  QLabel* count_ = nullptr;
  QPushButton* remove_button_ = nullptr;
  int sort_column_ = -1;
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
};

}  // namespace sproutsmith::gui
