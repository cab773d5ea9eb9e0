#include "gui/TabChain.h"

#include <QWidget>

namespace vantrel {

void setTabChain(const QList<QWidget*>& order) {
  for (qsizetype i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

}  // namespace vantrel
