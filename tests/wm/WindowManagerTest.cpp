// The windows under a real window manager (run-under-openbox.sh starts Xvfb and openbox): the
// titles the desktop shows. What the desktop sees is read from the X server, not from Qt.

#include <QApplication>
#include <QDialog>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "app/MainUnit.h"
#include "app/VantrelApplication.h"
#include "gui/AboutBoxUnit.h"
#include "gui/EditFieldsFUnit.h"
#include "gui/MessageBox.h"
#include "tests/support/TempFolder.h"
#include "tests/support/qt/TempFolderPaths.h"
#include "tests/wm/XWindowFacts.h"
#include "widgets/browser/BrowserEngine.h"

namespace vantrel::test {
namespace {

QString programFileIn(const QString& folder) {
  return folder + QStringLiteral("/vantrel-formulare");
}

// The title the desktop shows for the modal window that `open` brings up; the window is then
// dismissed without an answer.
QString titleOfModal(const std::function<void()>& open) {
  QString title;
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!modal || !modal->isVisible()) return;
    poll.stop();
    title = settledXWindowFacts(*modal).title;
    modal->reject();
  });
  poll.start();
  open();
  return title;
}

}  // namespace

class TestUnderWindowManager : public QObject {
  Q_OBJECT
 private slots:
  void titlesReadExactlyAsTheWindowsSetThem();
};

void TestUnderWindowManager::titlesReadExactlyAsTheWindowsSetThem() {
  TempFolder folder;
  TMainForm form(programFileIn(pathIn(folder)), QString());
  TEditFieldsForm editor(&form);
  form.setFieldEditor(&editor);
  form.show();
  QCOMPARE(settledXWindowFacts(form).title,
           QStringLiteral("Brixtel Vantrel Formulare 1.0 - [Unbenannt.vtq]"));

  editor.show();
  QCOMPARE(settledXWindowFacts(editor).title, QStringLiteral("Formularfeld bearbeiten"));
  editor.hide();

  TAboutBox about(&form);
  about.show();
  QCOMPARE(settledXWindowFacts(about).title, QStringLiteral("Info"));
  about.hide();

  // Real message boxes: the questions of the tool bar and of closing, and an error box
  // with the default title.
  QCOMPARE(titleOfModal([&] { form.findChild<QToolButton*>(QStringLiteral("OpenBtn"))->click(); }),
           QStringLiteral("Datei/Öffnen"));
  QCOMPARE(titleOfModal([&] { form.close(); }), QStringLiteral("Programm beenden"));
  QVERIFY(form.isVisible());
  QCOMPARE(titleOfModal(
               [] { messageBox(QStringLiteral("Etwas ging schief."), QString(), MB_ICONERROR); }),
           QStringLiteral("Fehler"));
  QCOMPARE(titleOfModal([] {
             messageBox(QStringLiteral("Read beyond end of file."),
                        QStringLiteral("Vantrel Formulare 1.0"), MB_ICONERROR);
           }),
           QStringLiteral("Vantrel Formulare 1.0"));
  form.hide();
}

}  // namespace vantrel::test

int main(int argc, char** argv) {
  QStandardPaths::setTestModeEnabled(true);
  vantrel::browser::prepareBrowserEngine();
  vantrel::VantrelApplication app(argc, argv);
  vantrel::setUpApplication(app);
  vantrel::test::TestUnderWindowManager test;
  return QTest::qExec(&test, argc, argv);
}

#include "WindowManagerTest.moc"
