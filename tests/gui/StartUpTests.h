#pragma once
// The tool's command line and the folders it works in; main() in GuiTestMain.cpp runs them.

#include <QObject>

namespace vantrel::test {

class TestStartUp : public QObject {
  Q_OBJECT
 private slots:
  void infoOptionsAnswerWithoutAWindow();
  void startArgumentsNameOneProjectOrAreRefused();
  void projectNamedAtStartOpensLikeOeffnen();
  void installedToolWorksInTheUsersFoldersOnly();
  void copyBesideItsSupportFilesKeepsDialogsInItsFolder();
  void unwritableDataFolderIsNamedInGerman();
  void windowsCarryTheProgramIconAndTheEditorHasNoMinMax();
};

}  // namespace vantrel::test
