#include "gui/CentredOnScreen.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace vantrel {

namespace {

// The window's frame with its centre at `centre`, moved back into `area` where it sticks out
// (its top left corner first, so a title bar too large for the area stays reachable).
QRect frameCentredAt(const QWidget& window, const QPoint& centre, const QRect& area) {
  QRect frame(QPoint(0, 0), window.frameGeometry().size());
  frame.moveCenter(centre);
  if (frame.right() > area.right()) frame.moveRight(area.right());
  if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
  if (frame.left() < area.left()) frame.moveLeft(area.left());
  if (frame.top() < area.top()) frame.moveTop(area.top());
  return frame;
}

}  // namespace

void centreOnScreen(QWidget& window) {
  const QWidget* owner = window.parentWidget();
  const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  window.move(frameCentredAt(window, area.center(), area).topLeft());
}

void centreOver(QWidget& window, const QWidget& owner) {
  const QScreen* screen = owner.screen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  window.move(frameCentredAt(window, owner.frameGeometry().center(), area).topLeft());
}

}  // namespace vantrel
