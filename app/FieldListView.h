#pragma once
// ListView1: the report view of the field list. A double click anywhere in it, or Enter,
// asks for the selected row to be edited; Delete asks for it to be deleted. The double click
// also cancels the in-place renaming that its first click on a selected name would otherwise
// start once the double-click time is over.
//
// Without a selected row the view keeps no current row either, so it draws no band that looks
// like a selection where the commands would find none.

#include <QTreeView>

namespace vantrel {

class FieldListView : public QTreeView {
  Q_OBJECT

 public:
  using QTreeView::QTreeView;

  void setModel(QAbstractItemModel* model) override;

 signals:
  void editRequested();
  void deleteRequested();
  // A row was selected or the selection went: the commands that need one may have changed.
  void selectionPresenceChanged(bool rowSelected);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

 private:
  void settleSelection();
};

}  // namespace vantrel
