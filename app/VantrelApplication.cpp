#include "app/VantrelApplication.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>

#include "gui/MessageBox.h"

namespace vantrel {

VantrelApplication::VantrelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void showException(const std::exception& error) {
  messageBox(QString::fromUtf8(error.what()), kApplicationTitle, MB_OK | MB_ICONERROR);
}

bool VantrelApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    showException(error);
  } catch (...) {
    messageBox(QStringLiteral("Unbekannter Fehler"), kApplicationTitle, MB_OK | MB_ICONERROR);
  }
  return false;
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

}  // namespace vantrel
