#include "controls/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace vantrel {
namespace {

ShellOpenHandler& currentHandler() {
  static ShellOpenHandler handler;
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

}  // namespace vantrel
