#pragma once
// ListView1: the report view of the field list. A double click anywhere in it, or Enter,
// asks for the selected row to be edited. The double click also cancels the in-place renaming
// that its first click on a selected name would otherwise start once the double-click time is
// over.

#include <QTreeView>

namespace vantrel {

class FieldListView : public QTreeView {
  Q_OBJECT

 public:
  using QTreeView::QTreeView;

 signals:
  void editRequested();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vantrel
