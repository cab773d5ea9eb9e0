#include "app/FieldListView.h"

#include <QKeyEvent>

namespace vantrel {

void FieldListView::setModel(QAbstractItemModel* model) {
  QTreeView::setModel(model);
  if (!model) return;
  // A removed or replaced row leaves the selection without always saying so.
  connect(model, &QAbstractItemModel::rowsRemoved, this, &FieldListView::settleSelection);
  connect(model, &QAbstractItemModel::modelReset, this, &FieldListView::settleSelection);
  settleSelection();
}

// The view's own handling comes first: it stops the pending in-place edit and remembers the
// double click, so the release that follows starts none either.
void FieldListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeView::mouseDoubleClickEvent(event);
  emit editRequested();
}

void FieldListView::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (plain && state() != EditingState) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      event->accept();
      emit editRequested();
      return;
    }
    if (event->key() == Qt::Key_Delete) {
      event->accept();
      emit deleteRequested();
      return;
    }
  }
  QTreeView::keyPressEvent(event);
}

// Gaining the focus makes the first row current without selecting it; the first arrow key
// selects it instead.
void FieldListView::focusInEvent(QFocusEvent* event) {
  QTreeView::focusInEvent(event);
  settleSelection();
}

void FieldListView::selectionChanged(const QItemSelection& selected,
                                     const QItemSelection& deselected) {
  QTreeView::selectionChanged(selected, deselected);
  settleSelection();
}

void FieldListView::settleSelection() {
  if (!selectionModel()) return;
  const bool rowSelected = selectionModel()->hasSelection();
  if (!rowSelected && currentIndex().isValid()) {
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
  emit selectionPresenceChanged(rowSelected);
}

}  // namespace vantrel
