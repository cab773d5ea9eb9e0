#include "gui/TabChain.h"

#include <QAbstractButton>
#include <QWidget>

namespace vantrel {

void setTabChain(const QList<QWidget*>& order) {
  for (qsizetype i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

void stopAtTheCheckedOne(const QList<QAbstractButton*>& group) {
  const auto settle = [group] {
    bool anyChecked = false;
    for (const QAbstractButton* button : group) anyChecked = anyChecked || button->isChecked();
    for (QAbstractButton* button : group) {
      const bool stop = button->isChecked() || !anyChecked;
      button->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
  };
  for (QAbstractButton* button : group) QObject::connect(button, &QAbstractButton::toggled, settle);
  settle();
}

}  // namespace vantrel
