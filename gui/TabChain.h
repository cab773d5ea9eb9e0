#pragma once
// The order in which Tab walks a window's controls, given as one list.

#include <QList>

class QAbstractButton;
class QWidget;

namespace vantrel {

// Tab moves from each widget of `order` to the next; Shift+Tab goes back the same way.
void setTabChain(const QList<QWidget*>& order);

// Keeps `inserted` between `before` and `after` in the Tab order. A widget that hands its focus to
// a child it replaces now and then (the browser engine's view does as pages load) would
// otherwise drop to the end of the chain each time; its focus proxy is placed anew whenever
// its children change.
void keepInTabChain(QWidget* inserted, QWidget* before, QWidget* after);

// Makes the buttons one choice: checking one unchecks the others, and no other buttons of the
// same parent or its children take part (on their own, Qt's exclusive buttons reach into the
// children of their parent). Tab stops only at the checked one, also when the program checks
// another; the arrow keys move between them. Without one checked, Tab stops at each.
void makeOneChoice(const QList<QAbstractButton*>& choices);

}  // namespace vantrel
