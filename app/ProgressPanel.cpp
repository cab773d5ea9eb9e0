#include "app/ProgressPanel.h"

#include <QPainter>

namespace vantrel {

ProgressPanel::ProgressPanel(DrawPanel drawPanel, PaintMore paintMore, QWidget* parent)
    : QWidget(parent), drawPanel_(std::move(drawPanel)), paintMore_(std::move(paintMore)) {
  setObjectName(QStringLiteral("ProgressPanel"));
}

void ProgressPanel::repaintAll() {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  repaint();
}

void ProgressPanel::paintMore() {
  // An opaque widget is not cleared before it paints: what is there stays.
  extending_ = true;
  setAttribute(Qt::WA_OpaquePaintEvent, true);
  repaint();
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  extending_ = false;
}

void ProgressPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (extending_) {
    paintMore_(painter);
  } else {
    drawPanel_(painter, rect());
  }
}

}  // namespace vantrel
