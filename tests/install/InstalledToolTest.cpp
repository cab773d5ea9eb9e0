// The tool as a package installs it, run by install_check.py: the programs and support files
// under a read-only prefix (VANTREL_INSTALLED_PREFIX), HOME and the XDG folders in a scratch
// place. The window is made as the program's start makes it, from the installed program's path;
// preview, "Go!" and "Icon laden..." must work and write only into the user's folders.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "app/MainUnit.h"
#include "app/VantrelApplication.h"
#include "app/WindowPlacement.h"
#include "app/WorkingFolders.h"
#include "gui/EditFieldsFUnit.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/MainFormFixture.h"
#include "widgets/browser/BrowserEngine.h"

namespace vantrel::test {

class TestInstalledTool : public QObject {
  Q_OBJECT
 private slots:
  void previewBuildAndIconWriteOnlyIntoTheUsersFolders();

 private:
  static QString installed(const char* relative) {
    return QFile::decodeName(qgetenv("VANTREL_INSTALLED_PREFIX")) + u'/' +
           QString::fromLatin1(relative);
  }
};

void TestInstalledTool::previewBuildAndIconWriteOnlyIntoTheUsersFolders() {
  const QString program = installed("bin/vantrel-formulare");
  QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
  const QString home = QDir::homePath();
  const QString data =
      QFile::decodeName(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/vantrel-formulare/");

  const WorkingFolders folders = workingFoldersFor(program);
  QCOMPARE(folders.data, data);
  QCOMPARE(folders.documents, home + u'/');
  QVERIFY(!QFileInfo::exists(data));  // made on demand

  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  TMainForm form(folders, settingsFileFor(program));
  form.setFieldEditor(new TEditFieldsForm(&form));
  form.show();
  QVERIFY(QFile::exists(data + QStringLiteral("theicon.bmp")));
  const QByteArray standardIcon = readAll(data + QStringLiteral("theicon.bmp"));

  // "Icon laden..." starts in the home folder and keeps the icon in the data folder.
  dialogs.answers = {QStringLiteral(VANTREL_TEST_DATA_DIR "/icon/true-colour.bmp")};
  named<QPushButton>(&form, "OpenIconBtn")->click();
  QCOMPARE(dialogs.requests.size(), 1);
  QCOMPARE(dialogs.requests[0].folder, home + u'/');
  QVERIFY(messages.shown.isEmpty());
  const QByteArray chosenIcon = readAll(data + QStringLiteral("theicon.bmp"));
  QCOMPARE(chosenIcon.size(), standardIcon.size());
  QVERIFY(chosenIcon != standardIcon);

  named<QLineEdit>(&form, "emailEd")->setText(QStringLiteral("umfrage@brixtel.example"));
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(1);
  QVERIFY(messages.shown.isEmpty());
  QVERIFY(readAll(data + QStringLiteral("formular.htm")).contains("umfrage@brixtel.example"));

  // "Go!" with the default output: the installed prototype, the output in the home folder.
  const QString output = named<QLineEdit>(&form, "EXENameEdit")->text();
  QCOMPARE(output, home + QStringLiteral("/ziel.exe"));
  form.setFormMailAddress(QStringLiteral("https://umfragen.example.org/cgi-bin/sendmailform.cgi"));
  pressGo(form);
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text, QStringLiteral("EXE-Datei wurde erfolgreich erstellt!"));
  QVERIFY(QFileInfo(output).size() >
          QFileInfo(installed(VANTREL_SUPPORT_INSTALL_DIR "/ProtoExe.dat")).size() / 2);
}

}  // namespace vantrel::test

int main(int argc, char** argv) {
  vantrel::browser::prepareBrowserEngine();
  vantrel::VantrelApplication app(argc, argv);
  // As the program names itself: its data folder follows the name.
  app.setApplicationName(QStringLiteral("vantrel-formulare"));
  vantrel::loadGermanTranslations(app);
  vantrel::test::TestInstalledTool test;
  return QTest::qExec(&test, argc, argv);
}

#include "InstalledToolTest.moc"
