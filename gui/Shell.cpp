#include "gui/Shell.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "gui/MessageBox.h"

namespace vantrel {
namespace {

ShellOpenHandler& currentHandler() {
  static ShellOpenHandler handler;
  return handler;
}

ShellStartHandler& currentStartHandler() {
  static ShellStartHandler handler;
  return handler;
}

bool isWindowsProgram(const QString& program) {
  QFile file(program);
  return file.open(QIODevice::ReadOnly) && file.read(2) == "MZ";
}

}  // namespace

QString wineProgram() {
  for (const QString& name : {QStringLiteral("wine"), QStringLiteral("wine64")}) {
    const QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty()) return found;
  }
  return QString();
}

void shellOpen(const QString& address) {
  const auto& handler = currentHandler();
  if (handler) {
    handler(address);
    return;
  }
  QDesktopServices::openUrl(QUrl(address));
}

ShellOpenHandler setShellOpenHandler(ShellOpenHandler handler) {
  auto previous = std::move(currentHandler());
  currentHandler() = std::move(handler);
  return previous;
}

void shellStart(const QString& program) {
  const auto& handler = currentStartHandler();
  if (handler) {
    handler(program);
    return;
  }
  if (!isWindowsProgram(program)) {
    QProcess::startDetached(program, QStringList());
    return;
  }
  const QString wine = wineProgram();
  if (wine.isEmpty()) {
    messageBox(QStringLiteral("Das Windows-Programm wurde als %1 geschrieben. Unter Linux startet "
                              "es mit wine, das hier nicht installiert ist.")
                   .arg(program),
               QStringLiteral("Programm starten"), MB_ICONINFORMATION);
    return;
  }
  QProcess::startDetached(wine, QStringList{program});
}

ShellStartHandler setShellStartHandler(ShellStartHandler handler) {
  auto previous = std::move(currentStartHandler());
  currentStartHandler() = std::move(handler);
  return previous;
}

}  // namespace vantrel
