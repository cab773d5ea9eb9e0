#include "app/FieldListView.h"

namespace vantrel {

// The view's own handling comes first: it stops the pending in-place edit and remembers the
// double click, so the release that follows starts none either.
void FieldListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeView::mouseDoubleClickEvent(event);
  emit editRequested();
}

}  // namespace vantrel
