// Start-up: application, main window, then the field editor, then the message loop.

#include "app/MainUnit.h"
#include "app/ProgressBus.h"
#include "app/VantrelApplication.h"
#include "app/WindowPlacement.h"
#include "gui/EditFieldsFUnit.h"
#include "widgets/browser/BrowserEngine.h"

int main(int argc, char** argv) {
  // The browser engine reads its settings once, before the application object exists.
  vantrel::browser::prepareBrowserEngine();
  vantrel::VantrelApplication app(argc, argv);
  vantrel::setUpApplication(app);

  const QString programFile = QCoreApplication::applicationFilePath();
  vantrel::TMainForm mainForm(programFile, vantrel::settingsFileFor(programFile));
  vantrel::TEditFieldsForm editFieldsForm(&mainForm);
  mainForm.setFieldEditor(&editFieldsForm);
  vantrel::ProgressBus progressBus(&mainForm);
  progressBus.registerOnSessionBus();

  mainForm.show();
  return app.exec();
}
