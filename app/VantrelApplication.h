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

// What the program sets on its application object before it opens a window: its name,
// Qt's texts in German and the fonts the windows are laid out for. The tests that run the
// windows under a window manager start the same way.
void setUpApplication(QApplication& app);

}  // namespace vantrel
