#include "app/VantrelApplication.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "gui/FailureReport.h"
#include "widgets/Fonts.h"

namespace vantrel {

VantrelApplication::VantrelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

// The general error handler: whatever an event's handling throws is shown, and the event
// counts as not handled.
bool VantrelApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  runGuarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

void loadGermanTranslations(QCoreApplication& app) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* name : {"qtbase_de", "qt_de"}) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QString::fromLatin1(name), folder)) {
      app.installTranslator(translator);
    } else {
      delete translator;
    }
  }
}

// The name of the installed program: the user's data folder (~/.local/share/vantrel-formulare)
// and the desktop's matching of windows to the .desktop file follow it. No display name: the
// platform would append it to every window title, and each window's title reads exactly as the
// window sets it.
void setUpApplication(QApplication& app) {
  app.setApplicationName(QStringLiteral("vantrel-formulare"));
  app.setDesktopFileName(QStringLiteral("vantrel-formulare"));
  loadGermanTranslations(app);
  installFontSubstitutes();
}

}  // namespace vantrel
