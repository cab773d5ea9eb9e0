#include "gui/TabChain.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QChildEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace vantrel {
namespace {

// The widget that really takes the focus: the end of the focus proxy chain.
QWidget* focusTaker(QWidget* widget) {
  while (widget->focusProxy()) widget = widget->focusProxy();
  return widget;
}

class TabChainKeeper final : public QObject {
 public:
  TabChainKeeper(QWidget* inserted, QWidget* before, QWidget* after)
      : QObject(inserted), inserted_(inserted), before_(before), after_(after) {
    inserted->installEventFilter(this);
    place();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    // The proxy is set only after the new child was added: place it once the event is handled.
    if (watched == inserted_ &&
        (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved)) {
      QTimer::singleShot(0, this, &TabChainKeeper::place);
    }
    return false;
  }

 private:
  void place() {
    if (!inserted_ || !before_ || !after_) return;
    QWidget* taker = focusTaker(inserted_);
    setTabChain({before_, taker, after_});
  }

  QPointer<QWidget> inserted_;
  QPointer<QWidget> before_;
  QPointer<QWidget> after_;
};

}  // namespace

void setTabChain(const QList<QWidget*>& order) {
  for (qsizetype i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

void keepInTabChain(QWidget* inserted, QWidget* before, QWidget* after) {
  new TabChainKeeper(inserted, before, after);
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
