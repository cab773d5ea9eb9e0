#pragma once
// Every message box of the tool goes through messageBox(), with the flag and answer values
// of the Windows message box, so texts, titles and buttons read the same everywhere.
// Tests swap the handler for a recorder that answers without showing anything.

#include <QString>
#include <functional>

namespace vantrel {

enum MessageBoxFlags : int {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
  MB_TASKMODAL = 0x2000,
};

enum MessageBoxAnswer : int {
  IDOK = 1,
  IDCANCEL = 2,
  IDYES = 6,
  IDNO = 7,
};

// An empty title stands for the system's default title.
inline const QString kDefaultMessageBoxTitle = QStringLiteral("Fehler");

using MessageBoxHandler = std::function<int(const QString& text, const QString& title, int flags)>;

int messageBox(const QString& text, const QString& title = QString(), int flags = MB_OK);

// Replaces the handler; returns the one that was in place. An empty handler restores the
// real message box.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

}  // namespace vantrel
