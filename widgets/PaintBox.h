#pragma once
// A plain area whose owner paints it, like a paint box of the window layout.

#include <QPainter>
#include <QWidget>
#include <functional>

namespace vantrel {

class PaintBox : public QWidget {
  Q_OBJECT

 public:
  using PaintHandler = std::function<void(QPainter&)>;

  explicit PaintBox(PaintHandler onPaint, QWidget* parent = nullptr)
      : QWidget(parent), onPaint_(std::move(onPaint)) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (onPaint_) onPaint_(painter);
  }

 private:
  PaintHandler onPaint_;
};

}  // namespace vantrel
