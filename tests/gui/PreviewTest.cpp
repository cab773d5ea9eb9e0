#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/FieldListModel.h"
#include "page/FormPage.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"

namespace vantrel::test {

namespace {

constexpr int kLoadTimeoutMs = 30000;

QString pagePath(const MainFormFixture& fixture) {
  return fixture.filePath(QStringLiteral("formular.htm"));
}

void fillSurvey(TMainForm& form) {
  fieldListOf(form)->appendField(FormField{"Groesse", "Textfeld",
                                           "Gr\xF6\xDF"
                                           "e in cm",
                                           "", "5", "5", "0", "Nein", "Nein"});
  named<QLineEdit>(&form, "emailEd")->setText(QStringLiteral("umfrage@brixtel.example"));
}

// The embedded browser, which exists only once the preview was asked for.
QWebEngineView* previewBrowser(const TMainForm& form) {
  return form.findChild<QWebEngineView*>(QStringLiteral("WebBrowser1"));
}

QString scriptText(QWebEngineView* view, const QString& script) {
  QString text;
  bool done = false;
  view->page()->runJavaScript(script, [&](const QVariant& result) {
    text = result.toString();
    done = true;
  });
  QDeadlineTimer deadline(kLoadTimeoutMs);
  while (!done && !deadline.hasExpired()) QTest::qWait(20);
  return text;
}

QString bodyText(QWebEngineView* view) {
  return scriptText(view, QStringLiteral("document.body ? document.body.innerText : ''"));
}

}  // namespace

void TestPreview::nothingIsShownBeforeThePreviewIsAskedFor() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  named<QPushButton>(&form, "BackButton")->click();
  named<QPushButton>(&form, "FwdButton")->click();
  named<QPushButton>(&form, "ReloadButton")->click();
  QVERIFY(messages.shown.isEmpty());
  QVERIFY(previewBrowser(form) == nullptr);
  QVERIFY(!QFile::exists(pagePath(fixture)));
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(2);  // another tab writes nothing
  QVERIFY(!QFile::exists(pagePath(fixture)));
}

void TestPreview::selectingThePreviewRewritesAndShowsThePage() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fillSurvey(form);
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(1);
  const std::string expected =
      generateFormPage(fieldListOf(form)->fields(), "umfrage@brixtel.example", FormMailAddress());
  QCOMPARE(readAll(pagePath(fixture)), QByteArray::fromStdString(expected));
  QVERIFY(previewBrowser(form) != nullptr);
  QTRY_COMPARE_WITH_TIMEOUT(previewBrowser(form)->url(), QUrl::fromLocalFile(pagePath(fixture)),
                            kLoadTimeoutMs);
  QTRY_VERIFY_WITH_TIMEOUT(bodyText(previewBrowser(form)).contains(QStringLiteral("Größe in cm*")),
                           kLoadTimeoutMs);

  // Back with no history before this page does nothing and says nothing.
  named<QPushButton>(&form, "BackButton")->click();
  QVERIFY(messages.shown.isEmpty());

  // Selecting the tab again rewrites the page even when nothing changed.
  QFile::remove(pagePath(fixture));
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(0);
  QVERIFY(!QFile::exists(pagePath(fixture)));
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(1);
  QCOMPARE(readAll(pagePath(fixture)), QByteArray::fromStdString(expected));
}

void TestPreview::homeButtonRegeneratesAndReloadDoesNot() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fillSurvey(form);
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(1);
  QTRY_VERIFY_WITH_TIMEOUT(bodyText(previewBrowser(form)).contains(QStringLiteral("Größe")),
                           kLoadTimeoutMs);

  // A new project while the preview shows: the old page stays until "Startseite".
  fieldListOf(form)->setFields(FieldList());
  fieldListOf(form)->appendField(
      FormField{"Farbe", "Textfeld", "Lieblingsfarbe", "", "5", "5", "0", "Ja", "Nein"});
  named<QPushButton>(&form, "ReloadButton")->click();
  QTest::qWait(500);
  QVERIFY(bodyText(previewBrowser(form)).contains(QStringLiteral("Größe")));
  QVERIFY(readAll(pagePath(fixture)).contains("Groesse"));

  named<QPushButton>(&form, "HomeBtn")->click();
  QVERIFY(readAll(pagePath(fixture)).contains("Farbe"));
  QTRY_VERIFY_WITH_TIMEOUT(
      bodyText(previewBrowser(form)).contains(QStringLiteral("Lieblingsfarbe")), kLoadTimeoutMs);
  QVERIFY(messages.shown.isEmpty());
}

void TestPreview::pageThatCannotBeWrittenIsReportedAndNotShown() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fillSurvey(form);
  // A folder in the page's place cannot be replaced by a file.
  QVERIFY(QDir(fixture.folderPath()).mkpath(QStringLiteral("formular.htm/inhalt")));
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(1);
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text,
           QStringLiteral("Die Datei formular.htm konnte nicht geschrieben werden!"));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Fehler"));
  QCOMPARE(messages.shown[0].flags, MB_OK | MB_ICONERROR);
  QVERIFY(previewBrowser(form) == nullptr);
  QVERIFY(QFileInfo(pagePath(fixture)).isDir());
  named<QPushButton>(&form, "HomeBtn")->click();
  QCOMPARE(messages.shown.size(), 2);
}

// F5 does what "Neu laden" does: the browser reads the page again, the page is not rewritten.
void TestPreview::f5ReloadsWhatThePreviewShows() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowActive(fixture.form.get()));
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fillSurvey(form);
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(1);
  QTRY_VERIFY_WITH_TIMEOUT(bodyText(previewBrowser(form)).contains(QStringLiteral("Größe")),
                           kLoadTimeoutMs);

  QFile page(pagePath(fixture));
  QVERIFY(page.open(QIODevice::WriteOnly));
  page.write("<html><body>Neu gelesen</body></html>");
  page.close();
  named<QPushButton>(&form, "HomeBtn")->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
  QTRY_VERIFY_WITH_TIMEOUT(bodyText(previewBrowser(form)).contains(QStringLiteral("Neu gelesen")),
                           kLoadTimeoutMs);
  QCOMPARE(readAll(pagePath(fixture)), QByteArray("<html><body>Neu gelesen</body></html>"));
  QVERIFY(messages.shown.isEmpty());
}

// The page sits in the Tab order where it is on the screen: after the browser's buttons, before
// the bottom bar. The engine replaces its drawing widget as pages load, so this is checked on a
// page loaded after the first one too.
void TestPreview::tabGoesThroughThePageBetweenItsButtonsAndTheBottomBar() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowActive(fixture.form.get()));
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fillSurvey(form);
  auto* tabs = named<QTabWidget>(&form, "PageControl2");
  tabs->setCurrentIndex(1);
  QTRY_VERIFY_WITH_TIMEOUT(bodyText(previewBrowser(form)).contains(QStringLiteral("Größe")),
                           kLoadTimeoutMs);
  tabs->setCurrentIndex(0);
  tabs->setCurrentIndex(1);
  QTRY_VERIFY_WITH_TIMEOUT(bodyText(previewBrowser(form)).contains(QStringLiteral("Größe")),
                           kLoadTimeoutMs);
  QWebEngineView* view = previewBrowser(form);
  const auto inPage = [view] {
    QWidget* focused = QApplication::focusWidget();
    return focused && (focused == view || view->isAncestorOf(focused));
  };
  const auto focusedName = [] {
    QWidget* focused = QApplication::focusWidget();
    return focused ? focused->objectName() : QString();
  };

  named<QPushButton>(&form, "ReloadButton")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTRY_VERIFY_WITH_TIMEOUT(inPage(), kLoadTimeoutMs);
  QTRY_COMPARE_WITH_TIMEOUT(scriptText(view, QStringLiteral("document.activeElement.name || ''")),
                            QStringLiteral("Groesse"), kLoadTimeoutMs);

  // Through the page's own controls and out of it at its end, to the bottom bar.
  for (int step = 0; step < 10 && inPage(); ++step) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::qWait(100);
  }
  QCOMPARE(focusedName(), QStringLiteral("wwwBtn"));
  // And back into it from the bottom bar.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  QTRY_VERIFY_WITH_TIMEOUT(inPage(), kLoadTimeoutMs);
  QVERIFY(messages.shown.isEmpty());
}

}  // namespace vantrel::test
