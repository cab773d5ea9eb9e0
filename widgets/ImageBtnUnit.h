#pragma once
// TImageBtn: a button drawn entirely by a picture that shows a second picture while held.
// Tab reaches it and Space or Enter presses it; a click does not take the focus.

#include <QPixmap>
#include <QWidget>

namespace vantrel {

class TImageBtn : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QPixmap Picture READ Picture WRITE setPicture)
  Q_PROPERTY(QPixmap Picture2 READ Picture2 WRITE setPicture2)

 public:
  explicit TImageBtn(QWidget* owner = nullptr);

  // The picture on display: the normal one, or Picture2 while the button is pressed.
  QPixmap Picture() const { return picture_; }
  void setPicture(const QPixmap& picture);
  QPixmap Picture2() const { return picture2_; }
  void setPicture2(const QPixmap& picture) { picture2_ = picture; }

  bool isShowingPressed() const { return swapped_; }

  QSize sizeHint() const override;

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void showPressed();
  void showNormal();
  void click();

  QPixmap picture_;
  QPixmap picture2_;
  QPixmap saved_;
  bool swapped_ = false;
  bool held_ = false;
  bool leftHeld_ = false;
  bool spaceHeld_ = false;
};

}  // namespace vantrel
