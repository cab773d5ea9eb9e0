#include "widgets/SpinEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <limits>

namespace vantrel {
namespace {

bool isSpinCharacter(QChar c) { return c.isDigit() && c.unicode() < 128; }

// The focus goes to a window other than the box's own: its window was deactivated (a dialog
// opened over it or it closed), or a popup took over for a moment.
bool focusLeavesTheWindow(const QFocusEvent& event, const QWidget& box) {
  if (event.reason() == Qt::ActiveWindowFocusReason || event.reason() == Qt::PopupFocusReason) {
    return true;
  }
  const QWidget* next = QApplication::focusWidget();
  return next && next->window() != box.window();
}

bool onlySpinCharacters(const QString& text) {
  return std::all_of(text.begin(), text.end(),
                     [](QChar c) { return isSpinCharacter(c) || c == u'+' || c == u'-'; });
}

}  // namespace

std::optional<long long> spinEditNumber(const QString& text) {
  bool ok = false;
  const qlonglong number = text.toLongLong(&ok, 10);
  if (!ok || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return number;
}

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setAccelerated(false);
  setKeyboardTracking(true);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  lineEdit()->setText(QStringLiteral("0"));
}

SpinEdit::SpinEdit(int minValue, int maxValue, int step, int startValue, QWidget* parent)
    : SpinEdit(parent) {
  setLimits(minValue, maxValue);
  setIncrement(step);
  setValue(startValue);
}

void SpinEdit::setLimits(int minValue, int maxValue) {
  min_ = minValue;
  max_ = std::max(minValue, maxValue);
}

int SpinEdit::value() const {
  const auto number = spinEditNumber(text());
  return number ? static_cast<int>(*number) : min_;
}

int SpinEdit::clamped(long long value) const {
  return static_cast<int>(std::clamp<long long>(value, min_, max_));
}

void SpinEdit::setValue(int value) { lineEdit()->setText(QString::number(clamped(value))); }

QString SpinEdit::text() const { return lineEdit()->text(); }

void SpinEdit::setText(const QString& text) { lineEdit()->setText(text); }

void SpinEdit::stepBy(int steps) {
  setValue(static_cast<int>(
      clamped(static_cast<long long>(value()) + static_cast<long long>(steps) * increment_)));
  selectAll();
}

QSize SpinEdit::sizeHint() const {
  QSize size = QAbstractSpinBox::sizeHint();
  size.setWidth(
      std::max(size.width(), fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 24));
  return size;
}

QValidator::State SpinEdit::validate(QString& input, int& /*pos*/) const {
  return onlySpinCharacters(input) ? QValidator::Acceptable : QValidator::Invalid;
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
  return StepUpEnabled | StepDownEnabled;
}

void SpinEdit::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  const bool printable = !typed.isEmpty() && typed.at(0).isPrint() &&
                         !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  if (printable && !onlySpinCharacters(typed)) {
    QApplication::beep();
    event->accept();
    return;
  }
  QAbstractSpinBox::keyPressEvent(event);
}

// Only a move to another control of the same window confirms what was typed. When the window
// itself loses the focus, the text stays as typed: the commands that read it then (the dialog's
// result, a save through the file dialog) see what the user typed.
void SpinEdit::focusOutEvent(QFocusEvent* event) {
  if (!focusLeavesTheWindow(*event, *this)) confirmText();
  QAbstractSpinBox::focusOutEvent(event);
}

// Leaving the box confirms what was typed: the box then shows the value it stands for,
// within the limits.
void SpinEdit::confirmText() {
  const QString canonical = QString::number(clamped(value()));
  if (text() != canonical) lineEdit()->setText(canonical);
}

}  // namespace vantrel
