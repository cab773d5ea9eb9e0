// The tool's start without the browser engine and without "Auswertung": a program built like the
// tool (it links the main window, neither the engine nor the answers window, and prepares nothing
// before its application object) shows its window with no engine, no OpenGL context and none of
// the answers window's libraries; the engine comes when the preview is first shown, the answers
// window with its libraries when its button is first pressed. A program of its own, since the
// other window tests prepare the engine and link the answers window.

#include <QFile>
#include <QLineEdit>
#include <QOpenGLContext>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <array>
#include <memory>

#include "app/MainUnit.h"
#include "app/VantrelApplication.h"
#include "app/WorkingFolders.h"
#include "gui/EditFieldsFUnit.h"
#include "widgets/browser/FormPageView.h"

namespace vantrel::test {

namespace {

// Whether a library is mapped into this process.
bool loaded(const char* library) {
  QFile maps(QStringLiteral("/proc/self/maps"));
  if (!maps.open(QIODevice::ReadOnly)) return true;  // unknown counts against the test
  return maps.readAll().contains(library);
}

bool engineLoaded() { return loaded("libQt6WebEngineCore"); }

// What only "Auswertung" needs: its charts, its PDF report, the mailbox reader's connection and
// cache, the workbook writer.
constexpr std::array kAnswersWindowLibraries = {"libQt6Charts", "libQt6PrintSupport", "libcurl",
                                                "libsqlite3", "libxlsxwriter"};

}  // namespace

class TestEngineOnDemand : public QObject {
  Q_OBJECT

 private slots:
  // First: the engine brings some of the same libraries with it.
  void theAnswersWindowComesWithItsButton() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    TMainForm form(workingFoldersIn(folder.path() + QLatin1Char('/')), QString());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (const char* library : kAnswersWindowLibraries) QVERIFY2(!loaded(library), library);

    form.findChild<QPushButton*>(QStringLiteral("AnswersBtn"))->click();
    auto* answers = form.findChild<QWidget*>(QStringLiteral("AnswersForm"));
    QVERIFY(answers != nullptr);
    QVERIFY(answers->isVisible());
    QCOMPARE(answers->windowTitle(), QStringLiteral("Auswertung"));
    for (const char* library : kAnswersWindowLibraries) QVERIFY2(loaded(library), library);
    QVERIFY(answers->findChild<QPushButton*>(QStringLiteral("OpenMailboxBtn")) != nullptr);
  }

  void theEngineComesWithTheFirstPreview() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.path() + QLatin1Char('/');
    TMainForm form(workingFoldersIn(path), QString());
    TEditFieldsForm editor(&form);
    form.setFieldEditor(&editor);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!engineLoaded());
    QVERIFY(QOpenGLContext::globalShareContext() == nullptr);

    form.findChild<QLineEdit*>(QStringLiteral("emailEd"))
        ->setText(QStringLiteral("umfrage@brixtel.example"));
    form.findChild<QTabWidget*>(QStringLiteral("PageControl2"))->setCurrentIndex(1);
    QWidget* view = form.findChild<QWidget*>(QStringLiteral("WebBrowser1"));
    QVERIFY(view != nullptr);
    QVERIFY(engineLoaded());
    QVERIFY(QOpenGLContext::globalShareContext() != nullptr);
    QSignalSpy loaded(view, SIGNAL(loadFinished(bool)));
    QVERIFY(loaded.isValid());
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 60000);
    QCOMPARE(loaded.first().first().toBool(), true);
    QCOMPARE(view->property("url").toUrl(),
             QUrl::fromLocalFile(path + QStringLiteral("formular.htm")));
  }

  void aMissingPluginIsNamedNotFatal() {
    QWidget parent;
    const browser::LoadedFormPageView loaded =
        browser::makeFormPageView("/nonexistent/vantrel-form-page-view.so", &parent);
    QVERIFY(loaded.view == nullptr);
    QVERIFY(!loaded.error.isEmpty());
    QVERIFY(parent.children().isEmpty());
  }
};

}  // namespace vantrel::test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QStandardPaths::setTestModeEnabled(true);
  vantrel::VantrelApplication app(argc, argv);
  vantrel::test::TestEngineOnDemand test;
  return QTest::qExec(&test, argc, argv);
}

#include "EngineOnDemandTest.moc"
