#include "gui/Shell.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

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

}  // namespace

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
  QProcess::startDetached(program, QStringList());
}

ShellStartHandler setShellStartHandler(ShellStartHandler handler) {
  auto previous = std::move(currentStartHandler());
  currentStartHandler() = std::move(handler);
  return previous;
}

}  // namespace vantrel
