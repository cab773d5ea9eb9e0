#include "gui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace vantrel {
namespace {

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

int showRealMessageBox(const QString& text, const QString& title, int flags) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(title.isEmpty() ? kDefaultMessageBoxTitle : title);
  box.setText(text);
  box.setIcon(iconOf(flags));
  if (flags & MB_TASKMODAL) box.setWindowModality(Qt::ApplicationModal);
  const auto choices = buttonsOf(flags);
  QMessageBox::StandardButtons buttons;
  for (const auto& choice : choices) buttons |= choice.button;
  box.setStandardButtons(buttons);
  box.setDefaultButton(choices.front().button);
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
