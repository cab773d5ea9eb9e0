#pragma once
// The status bar's second panel, which the main window paints as a progress bar.

#include <QWidget>
#include <functional>

namespace vantrel {

class ProgressPanel : public QWidget {
  Q_OBJECT

 public:
  using DrawPanel = std::function<void(QPainter&, const QRect&)>;
  using PaintMore = std::function<void(QPainter&)>;

  ProgressPanel(DrawPanel drawPanel, PaintMore paintMore, QWidget* parent = nullptr);

  // Erases the panel and paints it anew.
  void repaintAll();
  // Paints over what the panel shows, without erasing it first, so a growing bar does not
  // flicker.
  void paintMore();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  DrawPanel drawPanel_;
  PaintMore paintMore_;
  bool extending_ = false;
};

}  // namespace vantrel
