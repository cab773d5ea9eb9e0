#include "widgets/ImageBtnUnit.h"

#include <QMouseEvent>
#include <QPainter>

namespace vantrel {

TImageBtn::TImageBtn(QWidget* owner) : QWidget(owner) {
  setAttribute(Qt::WA_NoSystemBackground, false);
  setFocusPolicy(Qt::NoFocus);
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

}  // namespace vantrel
