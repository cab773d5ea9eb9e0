// The tool's start without the browser engine: a program built like the tool (it links the main
// window, not the engine, and prepares nothing before its application object) shows its window
// with neither the engine nor an OpenGL context, and both come when the preview is first shown.
// A program of its own, since the other window tests prepare the engine at their start.

#include <QFile>
#include <QLineEdit>
#include <QOpenGLContext>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>

#include "app/MainUnit.h"
#include "app/VantrelApplication.h"
#include "app/WorkingFolders.h"
#include "gui/EditFieldsFUnit.h"
#include "widgets/browser/FormPageView.h"

namespace vantrel::test {

namespace {

// Whether the engine's library is mapped into this process.
bool engineLoaded() {
  QFile maps(QStringLiteral("/proc/self/maps"));
  if (!maps.open(QIODevice::ReadOnly)) return true;  // unknown counts against the test
  return maps.readAll().contains("libQt6WebEngineCore");
}

}  // namespace

class TestEngineOnDemand : public QObject {
  Q_OBJECT

 private slots:
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
