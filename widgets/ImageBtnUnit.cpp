#include "widgets/ImageBtnUnit.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace vantrel {

TImageBtn::TImageBtn(QWidget* owner) : QWidget(owner) {
  setAttribute(Qt::WA_NoSystemBackground, false);
  // Tab reaches it; a click leaves the focus where it is.
  setFocusPolicy(Qt::TabFocus);
  setCursor(Qt::PointingHandCursor);
}

void TImageBtn::setPicture(const QPixmap& picture) {
  picture_ = picture;
  // Automatic sizing: the control takes the picture's size.
  if (!picture_.isNull()) setFixedSize(picture_.deviceIndependentSize().toSize());
  update();
}

QSize TImageBtn::sizeHint() const {
  return picture_.isNull() ? QSize(101, 30) : picture_.deviceIndependentSize().toSize();
}

void TImageBtn::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(2, 2, -2, -2);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

// The saved picture is written only on the way into the pressed state, so the normal
// picture can never be lost to the pressed one.
void TImageBtn::showPressed() {
  if (swapped_) return;
  swapped_ = true;
  saved_ = picture_;
  picture_ = picture2_;
  update();
}

void TImageBtn::showNormal() {
  if (!swapped_) return;
  picture_ = saved_;
  swapped_ = false;
  update();
}

void TImageBtn::click() {
  showNormal();
  emit clicked();
}

void TImageBtn::mousePressEvent(QMouseEvent* event) {
  showPressed();
  held_ = true;
  if (event->button() == Qt::LeftButton) leftHeld_ = true;
  QWidget::mousePressEvent(event);
}

void TImageBtn::mouseReleaseEvent(QMouseEvent* event) {
  const bool leftClick = event->button() == Qt::LeftButton && leftHeld_ &&
                         rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) leftHeld_ = false;
  if (leftClick) click();
  showNormal();
  held_ = false;
  QWidget::mouseReleaseEvent(event);
}

void TImageBtn::mouseMoveEvent(QMouseEvent* event) {
  if (held_) {
    const QPoint p = event->position().toPoint();
    const bool outside = p.x() < 0 || p.x() >= width() || p.y() < 0 || p.y() >= height();
    if (outside) {
      showNormal();
    } else {
      showPressed();
    }
  }
  QWidget::mouseMoveEvent(event);
}

// Space works as on a push button: pressed while held, a click on release. Enter clicks at once.
void TImageBtn::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (plain && event->key() == Qt::Key_Space) {
    if (!event->isAutoRepeat()) {
      spaceHeld_ = true;
      showPressed();
    }
    event->accept();
    return;
  }
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    event->accept();
    click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TImageBtn::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && spaceHeld_) {
    spaceHeld_ = false;
    event->accept();
    click();
    return;
  }
  QWidget::keyReleaseEvent(event);
}

// Leaving with Space still held presses nothing.
void TImageBtn::focusOutEvent(QFocusEvent* event) {
  if (spaceHeld_) {
    spaceHeld_ = false;
    showNormal();
  }
  QWidget::focusOutEvent(event);
}

}  // namespace vantrel
