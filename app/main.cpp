// Start-up: application, main window, then the field editor, then the message loop.

#include <iostream>

#include "app/CommandLine.h"
#include "app/MainUnit.h"
#include "app/ProgressBus.h"
#include "app/VantrelApplication.h"
#include "app/WindowPlacement.h"
#include "gui/EditFieldsFUnit.h"

int main(int argc, char** argv) {
  if (const auto exitCode = vantrel::answerInfoOptions(argc, argv, std::cout)) return *exitCode;
  // The browser engine is not prepared here: the preview loads it when first shown
  // (app/PreviewTab.cpp), so the window comes up without it and without OpenGL.
  vantrel::VantrelApplication app(argc, argv);
  vantrel::setUpApplication(app);
  const vantrel::StartArguments start = vantrel::startArgumentsOf(app.arguments().mid(1));
  if (!start.error.isEmpty()) {
    std::cerr << "vantrel-formulare: " << start.error.toStdString() << "\n";
    return 2;
  }

  const QString programFile = QCoreApplication::applicationFilePath();
  vantrel::TMainForm mainForm(vantrel::workingFoldersFor(programFile),
                              vantrel::settingsFileFor(programFile));
  vantrel::TEditFieldsForm editFieldsForm(&mainForm);
  mainForm.setFieldEditor(&editFieldsForm);
  vantrel::ProgressBus progressBus(&mainForm);
  progressBus.registerOnSessionBus();

  mainForm.show();
  // A project that cannot be opened has been reported; the tool then starts untitled.
  if (!start.projectFile.isEmpty()) mainForm.openProjectAtStart(start.projectFile);
  return app.exec();
}
