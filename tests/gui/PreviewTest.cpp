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
  return fixture.folder.filePath(QStringLiteral("formular.htm"));
}

void fillSurvey(TMainForm& form) {
  form.fieldList()->appendField(
      FormField{"Groesse", "Textfeld", "Gr\xF6\xDF" "e in cm", "", "5", "5", "0", "Nein", "Nein"});
  form.emailEd->setText(QStringLiteral("umfrage@brixtel.example"));
}

QString bodyText(QWebEngineView* view) {
  QString text;
  bool done = false;
  view->page()->runJavaScript(QStringLiteral("document.body ? document.body.innerText : ''"),
                              [&](const QVariant& result) {
                                text = result.toString();
                                done = true;
                              });
  QDeadlineTimer deadline(kLoadTimeoutMs);
  while (!done && !deadline.hasExpired()) QTest::qWait(20);
  return text;
}

}  // namespace

void TestPreview::nothingIsShownBeforeThePreviewIsAskedFor() {
  MainFormFixture fixture;
  MessageRecorder messages;
  TMainForm& form = *fixture.form;
  form.BackButton->click();
  form.FwdButton->click();
  form.ReloadButton->click();
  QVERIFY(messages.shown.isEmpty());
  QVERIFY(form.WebBrowser1 == nullptr);
  QVERIFY(!QFile::exists(pagePath(fixture)));
  form.PageControl2->setCurrentIndex(2);  // another tab writes nothing
  QVERIFY(!QFile::exists(pagePath(fixture)));
}

void TestPreview::selectingThePreviewRewritesAndShowsThePage() {
  MainFormFixture fixture;
  MessageRecorder messages;
  TMainForm& form = *fixture.form;
  fillSurvey(form);
  form.PageControl2->setCurrentIndex(1);
  const std::string expected = generateFormPage(form.fieldList()->fields(), "umfrage@brixtel.example",
                                                formMailAction());
  QCOMPARE(readAll(pagePath(fixture)), QByteArray::fromStdString(expected));
  QVERIFY(form.WebBrowser1 != nullptr);
  QTRY_COMPARE_WITH_TIMEOUT(form.WebBrowser1->url(), QUrl::fromLocalFile(pagePath(fixture)), kLoadTimeoutMs);
  QTRY_VERIFY_WITH_TIMEOUT(bodyText(form.WebBrowser1).contains(QStringLiteral("Größe in cm*")), kLoadTimeoutMs);

  // Back with no history before this page does nothing and says nothing.
  form.BackButton->click();
  QVERIFY(messages.shown.isEmpty());

  // Selecting the tab again rewrites the page even when nothing changed.
  QFile::remove(pagePath(fixture));
  form.PageControl2->setCurrentIndex(0);
  QVERIFY(!QFile::exists(pagePath(fixture)));
  form.PageControl2->setCurrentIndex(1);
  QCOMPARE(readAll(pagePath(fixture)), QByteArray::fromStdString(expected));
}

void TestPreview::homeButtonRegeneratesAndReloadDoesNot() {
  MainFormFixture fixture;
  MessageRecorder messages;
  TMainForm& form = *fixture.form;
  fillSurvey(form);
  form.PageControl2->setCurrentIndex(1);
  QTRY_VERIFY_WITH_TIMEOUT(bodyText(form.WebBrowser1).contains(QStringLiteral("Größe")), kLoadTimeoutMs);

  // A new project while the preview shows: the old page stays until "Startseite".
  form.fieldList()->setFields(FieldList());
  form.fieldList()->appendField(
      FormField{"Farbe", "Textfeld", "Lieblingsfarbe", "", "5", "5", "0", "Ja", "Nein"});
  form.ReloadButton->click();
  QTest::qWait(500);
  QVERIFY(bodyText(form.WebBrowser1).contains(QStringLiteral("Größe")));
  QVERIFY(readAll(pagePath(fixture)).contains("Groesse"));

  form.HomeBtn->click();
  QVERIFY(readAll(pagePath(fixture)).contains("Farbe"));
  QTRY_VERIFY_WITH_TIMEOUT(bodyText(form.WebBrowser1).contains(QStringLiteral("Lieblingsfarbe")), kLoadTimeoutMs);
  QVERIFY(messages.shown.isEmpty());
}

void TestPreview::pageThatCannotBeWrittenIsReportedAndNotShown() {
  MainFormFixture fixture;
  MessageRecorder messages;
  TMainForm& form = *fixture.form;
  fillSurvey(form);
  // A folder in the page's place cannot be replaced by a file.
  QVERIFY(QDir(fixture.folder.path()).mkpath(QStringLiteral("formular.htm/inhalt")));
  form.PageControl2->setCurrentIndex(1);
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text, QStringLiteral("Die Datei formular.htm konnte nicht geschrieben werden!"));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Fehler"));
  QCOMPARE(messages.shown[0].flags, MB_OK | MB_ICONERROR);
  QVERIFY(form.WebBrowser1 == nullptr);
  QVERIFY(QFileInfo(pagePath(fixture)).isDir());
  form.HomeBtn->click();
  QCOMPARE(messages.shown.size(), 2);
}

}  // namespace vantrel::test
