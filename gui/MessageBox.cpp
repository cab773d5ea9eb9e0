#include "gui/MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <algorithm>

namespace vantrel {
namespace {

constexpr qreal kTitleFontPoints = 9;
// The window's icon and the buttons to minimise, maximise and close it.
constexpr int kTitleBarButtons = 4;

QMessageBox::Icon iconOf(int flags) {
  switch (flags & 0xF0) {
    case MB_ICONERROR:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONWARNING:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

struct ButtonChoice {
  QMessageBox::StandardButton button;
  int answer;
};

QList<ButtonChoice> buttonsOf(int flags) {
  switch (flags & 0x0F) {
    case MB_OKCANCEL:
      return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNOCANCEL:
      return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
      return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    default:
      return {{QMessageBox::Ok, IDOK}};
  }
}

// Closing the box without a button counts as Cancel where there is one, else as the only
// answer the box offers.
int answerForEscape(const QList<ButtonChoice>& choices) {
  for (const auto& choice : choices) {
    if (choice.answer == IDCANCEL) return IDCANCEL;
  }
  return choices.size() == 1 ? choices.front().answer : IDNO;
}

// The title bar shows the title in the window manager's font, commonly a bold one a little
// larger than the box's, beside the window's icon and its buttons, each about two lines high.
int widthForTitle(const QMessageBox& box, const QString& title) {
  QFont font = box.font();
  font.setBold(true);
  font.setPointSizeF(std::max(font.pointSizeF(), kTitleFontPoints));
  const QFontMetrics metrics(font);
  return metrics.horizontalAdvance(title) + kTitleBarButtons * 2 * metrics.height();
}

// A message box sizes itself from its text and buttons alone; a row of the given width below
// them keeps it from being narrower than that.
void keepAtLeastAsWideAs(QMessageBox& box, int width) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                grid->rowCount(), 0, 1, grid->columnCount());
}

int showRealMessageBox(const QString& text, const QString& title, int flags) {
  QMessageBox box(QApplication::activeWindow());
  const QString shownTitle = title.isEmpty() ? kDefaultMessageBoxTitle : title;
  box.setWindowTitle(shownTitle);
  box.setText(text);
  box.setIcon(iconOf(flags));
  if (flags & MB_TASKMODAL) box.setWindowModality(Qt::ApplicationModal);
  const auto choices = buttonsOf(flags);
  QMessageBox::StandardButtons buttons;
  for (const auto& choice : choices) buttons |= choice.button;
  box.setStandardButtons(buttons);
  box.setDefaultButton(choices.front().button);
  keepAtLeastAsWideAs(box, widthForTitle(box, shownTitle));
  const int result = box.exec();
  for (const auto& choice : choices) {
    if (result == choice.button) return choice.answer;
  }
  return answerForEscape(choices);
}

MessageBoxHandler& currentHandler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

int messageBox(const QString& text, const QString& title, int flags) {
  const auto& handler = currentHandler();
  if (handler) return handler(text, title, flags);
  return showRealMessageBox(text, title, flags);
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
  auto previous = std::move(currentHandler());
  currentHandler() = std::move(handler);
  return previous;
}

}  // namespace vantrel
