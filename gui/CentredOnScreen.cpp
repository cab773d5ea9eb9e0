#include "gui/CentredOnScreen.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace vantrel {

void centreOnScreen(QWidget& window) {
  const QWidget* owner = window.parentWidget();
  const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame(QPoint(0, 0), window.frameGeometry().size());
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

}  // namespace vantrel
