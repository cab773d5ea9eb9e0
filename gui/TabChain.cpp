#include "gui/TabChain.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QWidget>

namespace vantrel {

void setTabChain(const QList<QWidget*>& order) {
  for (qsizetype i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

void makeOneChoice(const QList<QAbstractButton*>& choices) {
  if (choices.isEmpty()) return;
  auto* group = new QButtonGroup(choices.front());
  group->setExclusive(true);
  for (QAbstractButton* button : choices) group->addButton(button);
  const auto settle = [choices] {
    bool anyChecked = false;
    for (const QAbstractButton* button : choices) anyChecked = anyChecked || button->isChecked();
    for (QAbstractButton* button : choices) {
      const bool stop = button->isChecked() || !anyChecked;
      button->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
  };
  for (QAbstractButton* button : choices)
    QObject::connect(button, &QAbstractButton::toggled, settle);
  settle();
}

}  // namespace vantrel
