#include "app/ProgressBus.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include "app/MainUnit.h"

namespace vantrel {

ProgressBus::ProgressBus(QObject* mainWindow) : QObject(mainWindow), mainWindow_(mainWindow) {}

bool ProgressBus::registerOnSessionBus() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  if (!bus.registerObject(QString::fromLatin1(kProgressPath), this,
                          QDBusConnection::ExportScriptableSlots)) {
    return false;
  }
  // Another running copy may own the name; the object stays reachable by its unique name.
  bus.registerService(QString::fromLatin1(kProgressService));
  return true;
}

void ProgressBus::WMUser(int wParam, int /*lParam*/) {
  if (mainWindow_) QCoreApplication::postEvent(mainWindow_, new ProgressEvent(wParam));
}

}  // namespace vantrel
