// Progress in the status bar: reports posted from outside, painted as a growing bar.

#include <QPainter>

#include "app/MainFormUi.h"
#include "app/ProgressPanel.h"

namespace vantrel {

const QEvent::Type ProgressEvent::kType =
    static_cast<QEvent::Type>(QEvent::registerEventType(QEvent::User + 0x0400));

namespace {

const QColor kProgressColour(0, 0, 128);

// x of the bar's right end: integer arithmetic, truncated toward zero after the product.
int progressEnd(const QRect& panel, int percent) {
  const long long span = static_cast<long long>(panel.width()) * percent / 100;
  return panel.left() + static_cast<int>(span);
}

void drawProgressBar(QPainter& canvas, const QRect& panel, int percent) {
  const int end = progressEnd(panel, percent);
  if (end == panel.left()) return;
  const QRect bar = QRect(QPoint(std::min(panel.left(), end), panel.top()),
                          QPoint(std::max(panel.left(), end) - 1, panel.bottom()));
  canvas.fillRect(bar, kProgressColour);
}

}  // namespace

void TMainForm::WMUser(int wParam) { SetProStatus(wParam); }

void TMainForm::SetProStatus(int value) {
  if (value < ProgressPercent) {
    ProgressPercent = value;
    SBarRepaintAll();
  } else {
    ProgressPercent = value;
    ui_->progressPanel->paintMore();
  }
}

void TMainForm::SBarRepaintAll() { ui_->progressPanel->repaintAll(); }

void TMainForm::StatusBar1DrawPanel(QPainter& canvas, const QRect& rect) {
  drawProgressBar(canvas, rect, ProgressPercent);
  ProgressRect = rect;
}

void TMainForm::SBarPaintMore(QPainter& canvas) {
  drawProgressBar(canvas, ProgressRect, ProgressPercent);
}

}  // namespace vantrel
