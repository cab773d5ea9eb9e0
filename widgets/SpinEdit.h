#pragma once
// The spin edit of the main window and the field editor.
//
// It takes only digits, "+" and "-" (any other key beeps). What is typed is read as typed,
// also outside the limits, until the focus moves from the box to another control of its
// window; then, and whenever the program sets a value, the value is brought into the limits.
// The window losing the focus as a whole confirms nothing. A text that is not a number reads
// as the lower limit.

#include <QAbstractSpinBox>
#include <optional>

namespace vantrel {

class SpinEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  explicit SpinEdit(QWidget* parent = nullptr);
  // A box with its limits, step and start value, as the windows lay them out.
  SpinEdit(int minValue, int maxValue, int step, int startValue, QWidget* parent);

  int minValue() const { return min_; }
  int maxValue() const { return max_; }
  int increment() const { return increment_; }
  void setLimits(int minValue, int maxValue);
  void setIncrement(int step) { increment_ = step; }

  // The value as typed, or the lower limit while the text is not a number.
  int value() const;
  // Brings the value into the limits and shows it.
  void setValue(int value);

  // The text as it stands, confirmed or not.
  QString text() const;
  // Shows the text as it is given, like typing it: the limits apply when the focus leaves.
  void setText(const QString& text);

  void stepBy(int steps) override;
  QSize sizeHint() const override;

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  StepEnabled stepEnabled() const override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void confirmText();
  int clamped(long long value) const;

  int min_ = 0;
  int max_ = 100;
  int increment_ = 1;
};

// The number a spin edit's text stands for, or nothing when it is not one.
std::optional<long long> spinEditNumber(const QString& text);

}  // namespace vantrel
