#pragma once
// The application object. Its notify() is the general error handler: an exception that
// reaches the event loop is shown in a message box, and the program carries on.

#include <QApplication>

#include "gui/FailureReport.h"

namespace vantrel {

class VantrelApplication : public QApplication {
 public:
  VantrelApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Qt's own texts (dialog buttons, file dialogs, context menus) in German, whatever the
// system's language.
void loadGermanTranslations(QCoreApplication& app);

}  // namespace vantrel
