#include "app/FieldListView.h"

#include <QKeyEvent>

namespace vantrel {

// The view's own handling comes first: it stops the pending in-place edit and remembers the
// double click, so the release that follows starts none either.
void FieldListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeView::mouseDoubleClickEvent(event);
  emit editRequested();
}

void FieldListView::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      state() != EditingState) {
    event->accept();
    emit editRequested();
    return;
  }
  QTreeView::keyPressEvent(event);
}

}  // namespace vantrel
