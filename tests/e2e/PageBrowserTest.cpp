// The generated page in a real browser engine: it loads, shows its umlauts, and its form
// posts every answer, Windows-1252 encoded, to a receiver standing in for the form-mail host.

#include <QApplication>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWebEngineView>
#include <memory>

#include "page/FormPage.h"
#include "page/PageFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/qt/FormMailReceiver.h"
#include "tests/support/qt/PageBrowser.h"
#include "tests/support/qt/TempFolderPaths.h"

namespace vantrel::e2e {

using test::decodeFormBody;
using test::formMailHost;
using test::FormMailReceiver;
using test::fromPage;
using test::jsString;
using test::kPageLoadTimeoutMs;
using test::PageBrowser;
using test::pathIn;
using test::ReceivedRequest;
using test::TempFolder;

namespace {

qintptr gListeningSocket = -1;
quint16 gPort = 0;

FormField field(std::string name, std::string_view type, std::string caption,
                std::string content = "", std::string optional = "Ja",
                std::string preselected = "Nein") {
  return FormField{std::move(name),
                   std::string(type),
                   std::move(caption),
                   std::move(content),
                   "30",
                   "4",
                   "0",
                   std::move(optional),
                   std::move(preselected)};
}

// Every kind of row, with Windows-1252 umlauts in captions and contents.
FieldList everyKindOfField() {
  FieldList fields;
  fields.append(field("vorname", "Textfeld", "Vorname (J\xFCrgen)", "", "Nein"));
  FormField town = field("ort", "Textfeld", "Wohnort", "K\xF6ln");
  town.MaxChars = "20";
  fields.append(town);
  fields.append(field("bemerkung", "Mehrzeiliges Textfeld",
                      "Bemerkung zur Gr\xF6\xDF"
                      "e",
                      "Vorgabe"));
  const std::string radio(typeTextOf(FieldType::OptionField));
  fields.append(field("groesse", radio,
                      "Gr\xF6\xDF"
                      "e S",
                      "S", "Ja", "Ja"));
  fields.append(field("groesse", radio,
                      "Gr\xF6\xDF"
                      "e XL",
                      "XL \"\xFC"
                      "bergro\xDF\""));
  fields.append(field("agb", "Ankreuzfeld", "AGB gelesen", "ja", "Nein"));
  fields.append(field("news", "Ankreuzfeld", "Newsletter", "t\xE4glich", "Ja", "Ja"));
  fields.append(field("werbung", "Ankreuzfeld", "Werbung", "nein"));
  fields.append(field("linie", "Trennlinie", ""));
  fields.append(field("absatz", "Neuer Absatz", ""));
  fields.append(field("kopf", typeTextOf(FieldType::Heading),
                      "\xDC"
                      "ber uns \x96 Fragebogen"));
  fields.append(field("hinweis", "Normaler Text", "Bitte <b>alle</b> Felder ausf\xFCllen"));
  fields.append(field("geheim", "Unbekannter Typ", "nie zu sehen"));
  return fields;
}

const std::string kRecipient = "m\xFCller@example.org";

}  // namespace

class PageBrowserTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void showsTheUmlautsOfAPageWithoutCharset();
  void postsEveryAnswerToTheFormMailHost();
  void showsALoneUmlautRight();
  void postsToTheUsersOwnAddress();
  void readsNoLocalFileAndLoadsNothingRemote();

 private:
  TempFolder folder_;
  FormMailReceiver receiver_;
  std::unique_ptr<PageBrowser> browser_;
  QString pagePath_;
};

void PageBrowserTest::initTestCase() {
  QVERIFY2(receiver_.adopt(gListeningSocket), "the loopback receiver could not listen");
  const Status written = writeFormPage(folder_.path(), everyKindOfField(), kRecipient);
  QVERIFY2(written, written.reason().c_str());
  pagePath_ =
      pathIn(folder_, QString::fromLatin1(kFormPageFileName.data(),
                                          static_cast<qsizetype>(kFormPageFileName.size())));
  browser_ = std::make_unique<PageBrowser>();
  QVERIFY(browser_->load(QUrl::fromLocalFile(pagePath_)));
}

void PageBrowserTest::showsTheUmlautsOfAPageWithoutCharset() {
  const auto text = browser_->runScript(QStringLiteral("document.body.innerText"));
  QVERIFY(text);
  const QString shown = text->toString();
  for (const char* expected : {"Vorname (J\xFCrgen)*",
                               "Bemerkung zur Gr\xF6\xDF"
                               "e",
                               "\xDC"
                               "ber uns \x96 Fragebogen",
                               "Bitte alle Felder ausf\xFCllen",
                               "Gr\xF6\xDF"
                               "e XL"}) {
    QVERIFY2(shown.contains(fromPage(expected)), qPrintable(shown));
  }
  QVERIFY2(!shown.contains(QStringLiteral("nie zu sehen")), "an unknown type shows nothing");
  const auto encoding = browser_->runScript(QStringLiteral("document.characterSet"));
  QVERIFY(encoding);
  QCOMPARE(encoding->toString(), QStringLiteral("windows-1252"));
  const auto preset =
      browser_->runScript(QStringLiteral("document.getElementsByName('ort')[0].value"));
  QVERIFY(preset);
  QCOMPARE(preset->toString(), fromPage("K\xF6ln"));
}

void PageBrowserTest::postsEveryAnswerToTheFormMailHost() {
  const QString fill =
      QStringLiteral(
          "(function() {"
          "  const byName = (n, i) => document.getElementsByName(n)[i || 0];"
          "  byName('vorname').value = %1;"
          "  byName('ort').value = %2;"
          "  byName('bemerkung').value = %3;"
          "  byName('groesse', 1).click();"
          "  byName('agb').click();"
          "  document.querySelector('input[type=submit][name=B1]').click();"
          "  return true;"
          "})()")
          .arg(jsString(fromPage("J\xFCrgen Gro\xDF")), jsString(fromPage("M\xFCnchen")),
               jsString(fromPage("Zeile 1\n\xC4u\xDF"
                                 "erung \x80")));
  QSignalSpy received(&receiver_, &FormMailReceiver::received);
  QSignalSpy answered(browser_->view(), &QWebEngineView::loadFinished);
  const auto pressed = browser_->runScript(fill);
  QVERIFY(pressed);
  QVERIFY(pressed->toBool());
  if (received.count() == 0 && !received.wait(kPageLoadTimeoutMs)) {
    const auto shown = browser_->runScript(QStringLiteral("document.body.innerText"));
    QFAIL(qPrintable(
        QStringLiteral("nothing reached the form-mail receiver; the browser shows %1: %2")
            .arg(browser_->view()->url().toString(), shown ? shown->toString() : QString())));
  }

  QCOMPARE(receiver_.requests().size(), 1);
  const ReceivedRequest& request = receiver_.requests().constFirst();
  QCOMPARE(request.method, QByteArray("POST"));
  QCOMPARE(request.path, QByteArray("/cgi-bin/sendmailform.cgi"));
  QCOMPARE(request.headers.value("host"), formMailHost().toLatin1());
  QCOMPARE(request.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));

  using Pair = QPair<QByteArray, QByteArray>;
  const QList<Pair> expected = {
      {"vorname", "J\xFCrgen Gro\xDF"},
      {"ort", "M\xFCnchen"},
      {"bemerkung",
       "Zeile 1\r\n\xC4u\xDF"
       "erung \x80"},
      {"groesse",
       "XL \"\xFC"
       "bergro\xDF\""},
      {"agb", "ja"},
      {"news", "t\xE4glich"},
      {"B1", "Abschicken"},
      {"required", "vorname,agb"},
      {"data_order",
       "vorname,ort,bemerkung,groesse,groesse,agb,news,werbung,linie,absatz,kopf,"
       "hinweis,geheim"},
      {"submit_to", "m\xFCller@example.org"},
      {"form_id", "Formular"},
  };
  const QList<Pair> arrived = decodeFormBody(request.body);
  QCOMPARE(arrived.size(), expected.size());
  for (qsizetype i = 0; i < expected.size(); ++i) {
    QCOMPARE(arrived[i].first, expected[i].first);
    QCOMPARE(arrived[i].second, expected[i].second);
  }
  QVERIFY2(request.body.contains("vorname=J%FCrgen+Gro%DF"), request.body.constData());

  // The browser shows the receiver's answer: the round trip is complete.
  QTRY_VERIFY_WITH_TIMEOUT(answered.count() > 0, kPageLoadTimeoutMs);
  const auto answer = browser_->runScript(QStringLiteral("document.body.innerText"));
  QVERIFY(answer);
  QCOMPARE(answer->toString().trimmed(), QStringLiteral("Danke"));
}

void PageBrowserTest::showsALoneUmlautRight() {
  // A single umlaut is little for the engine to recognise the code page by.
  FieldList fields;
  fields.append(field("k", typeTextOf(FieldType::Heading),
                      "Gr\xFC\xDF"
                      "e"));
  TempFolder folder;
  const Status written = writeFormPage(folder.path(), fields, "");
  QVERIFY2(written, written.reason().c_str());
  QVERIFY(browser_->load(QUrl::fromLocalFile(pathIn(folder, QStringLiteral("formular.htm")))));
  const auto text = browser_->runScript(QStringLiteral("document.querySelector('h1').innerText"));
  QVERIFY(text);
  QCOMPARE(text->toString(), fromPage("Gr\xFC\xDF"
                                      "e"));
  const auto encoding = browser_->runScript(QStringLiteral("document.characterSet"));
  QVERIFY(encoding);
  QCOMPARE(encoding->toString(), QStringLiteral("windows-1252"));
}

// A page written with the address of the user's own receiver posts there, path and all.
void PageBrowserTest::postsToTheUsersOwnAddress() {
  const std::string action = "http://127.0.0.1:" + std::to_string(gPort) + "/eigener/empfang.cgi";
  FieldList fields;
  fields.append(field("ort", "Textfeld", "Wohnort", "K\xF6ln"));
  TempFolder folder;
  const Status written =
      writeFormPage(folder.path(), fields, kRecipient, FormMailAddress::parse(action).value());
  QVERIFY2(written, written.reason().c_str());
  QVERIFY(browser_->load(QUrl::fromLocalFile(pathIn(folder, QStringLiteral("formular.htm")))));
  QSignalSpy received(&receiver_, &FormMailReceiver::received);
  QSignalSpy answered(browser_->view(), &QWebEngineView::loadFinished);
  const auto pressed = browser_->runScript(
      QStringLiteral("document.querySelector('input[type=submit][name=B1]').click(); true"));
  QVERIFY(pressed);
  QVERIFY(received.count() > 0 || received.wait(kPageLoadTimeoutMs));
  const ReceivedRequest& request = receiver_.requests().constLast();
  QCOMPARE(request.method, QByteArray("POST"));
  QCOMPARE(request.path, QByteArray("/eigener/empfang.cgi"));
  QCOMPARE(request.headers.value("host"), QByteArray("127.0.0.1:") + QByteArray::number(gPort));
  QVERIFY2(request.body.startsWith("ort=K%F6ln&"), request.body.constData());
  // The receiver's answer is shown; the engine is left with nothing under way.
  QTRY_VERIFY_WITH_TIMEOUT(answered.count() > 0, kPageLoadTimeoutMs);
  QCOMPARE(browser_->shownText().trimmed(), QStringLiteral("Danke"));
}

// Captions are raw HTML, so a project file from someone else can carry a script. Whatever it
// tries, the page may not read the user's files nor reach any address but by the form's post.
void PageBrowserTest::readsNoLocalFileAndLoadsNothingRemote() {
  TempFolder folder;
  test::putFile(folder / "geheim.txt", "Kontonummer 1234");
  const std::string remote = "http://127.0.0.1:" + std::to_string(gPort);
  const std::string snoop =
      "<iframe id='lokal' src='geheim.txt'></iframe>"
      "<iframe src='" +
      remote +
      "/rahmen'></iframe>"
      "<img src='" +
      remote +
      "/bild.gif'>"
      "<script>"
      "window.probe = {xhr: 'offen'};"
      "const x = new XMLHttpRequest();"
      "x.onload = () => { probe.xhr = 'gelesen:' + x.responseText; };"
      "x.onerror = () => { probe.xhr = 'verweigert'; };"
      "try { x.open('GET', 'geheim.txt'); x.send(); } catch (e) { probe.xhr = 'verweigert'; }"
      "fetch('" +
      remote +
      "/abfluss', {method: 'POST', mode: 'no-cors', body: 'x'})"
      "  .catch(() => {});"
      "</script>";
  FieldList fields;
  fields.append(field("hinweis", "Normaler Text", snoop));
  fields.append(field("ort", "Textfeld", "Wohnort", "K\xF6ln"));
  const Status written = writeFormPage(folder.path(), fields, kRecipient);
  QVERIFY2(written, written.reason().c_str());
  const qsizetype before = receiver_.requests().size();
  QVERIFY(browser_->load(QUrl::fromLocalFile(pathIn(folder, QStringLiteral("formular.htm")))));

  QTRY_VERIFY_WITH_TIMEOUT(browser_->runScript(QStringLiteral("probe.xhr")).value_or(QVariant()) !=
                               QStringLiteral("offen"),
                           kPageLoadTimeoutMs);
  QCOMPARE(browser_->runScript(QStringLiteral("probe.xhr"))->toString(),
           QStringLiteral("verweigert"));
  const auto framed = browser_->runScript(QStringLiteral(
      "(() => { try { return document.getElementById('lokal').contentDocument.body.innerText; }"
      " catch (e) { return 'verweigert'; } })() || 'verweigert'"));
  QVERIFY(framed);
  QCOMPARE(framed->toString(), QStringLiteral("verweigert"));

  // The form's own post still goes out; of the page's own requests, it is the only one.
  QSignalSpy received(&receiver_, &FormMailReceiver::received);
  QVERIFY(browser_->runScript(
      QStringLiteral("document.querySelector('input[type=submit][name=B1]').click(); true")));
  QTRY_VERIFY_WITH_TIMEOUT(receiver_.requests().size() > before, kPageLoadTimeoutMs);
  QTRY_COMPARE_WITH_TIMEOUT(browser_->shownText().trimmed(), QStringLiteral("Danke"),
                            kPageLoadTimeoutMs);
  QStringList paths;
  for (qsizetype i = before; i < receiver_.requests().size(); ++i) {
    paths << QString::fromLatin1(receiver_.requests()[i].path);
  }
  QCOMPARE(paths.value(0), QStringLiteral("/cgi-bin/sendmailform.cgi"));
  for (const char* snooped : {"/rahmen", "/bild.gif", "/abfluss"}) {
    QVERIFY2(!paths.contains(QLatin1String(snooped)), qPrintable(paths.join(u' ')));
  }
}

}  // namespace vantrel::e2e

int main(int argc, char** argv) {
  using namespace vantrel::e2e;
  quint16 port = 0;
  gListeningSocket = vantrel::test::listenOnLoopback(port);
  gPort = port;
  if (gListeningSocket < 0) {
    qCritical("no loopback port for the receiver");
    return 1;
  }
  vantrel::test::prepareEngineForLoopbackFormMail(port);
  QApplication app(argc, argv);
  QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
  PageBrowserTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "PageBrowserTest.moc"
