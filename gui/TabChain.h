#pragma once
// The order in which Tab walks a window's controls, given as one list.

#include <QList>

class QWidget;

namespace vantrel {

// Tab moves from each widget of `order` to the next; Shift+Tab goes back the same way.
void setTabChain(const QList<QWidget*>& order);

}  // namespace vantrel
