// The generated page in a real browser engine: it loads, shows its umlauts, and its form
// posts every answer, Windows-1252 encoded, to a receiver standing in for the form-mail host.

#include <QApplication>
#include <QJsonDocument>
#include <QJsonValue>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <optional>

#include "FormMailReceiver.h"
#include "widgets/browser/BrowserEngine.h"
#include "page/FormPage.h"
#include "page/PageFile.h"
#include "base/Win1252.h"

namespace vantrel::e2e {
namespace {

constexpr int kLoadTimeoutMs = 60000;
constexpr int kScriptTimeoutMs = 20000;

qintptr gListeningSocket = -1;

// The host part of the compiled-in action, which the engine is told to find on loopback.
QString formMailHost() {
  const QUrl action(QString::fromStdString(formMailAction()));
  return action.host();
}

FormField field(std::string name, std::string_view type, std::string caption,
                std::string content = "", std::string optional = "Ja",
                std::string preselected = "Nein") {
  return FormField{std::move(name), std::string(type), std::move(caption), std::move(content),
                   "30", "4", "0", std::move(optional), std::move(preselected)};
}

// Every kind of row, with Windows-1252 umlauts in captions and contents.
FieldList everyKindOfField() {
  FieldList fields;
  fields.append(field("vorname", "Textfeld", "Vorname (J\xFCrgen)", "", "Nein"));
  FormField town = field("ort", "Textfeld", "Wohnort", "K\xF6ln");
  town.MaxChars = "20";
  fields.append(town);
  fields.append(field("bemerkung", "Mehrzeiliges Textfeld", "Bemerkung zur Gr\xF6\xDF" "e",
                      "Vorgabe"));
  const std::string radio(typeTextOf(FieldType::OptionField));
  fields.append(field("groesse", radio, "Gr\xF6\xDF" "e S", "S", "Ja", "Ja"));
  fields.append(field("groesse", radio, "Gr\xF6\xDF" "e XL", "XL \"\xFC" "bergro\xDF\""));
  fields.append(field("agb", "Ankreuzfeld", "AGB gelesen", "ja", "Nein"));
  fields.append(field("news", "Ankreuzfeld", "Newsletter", "t\xE4glich", "Ja", "Ja"));
  fields.append(field("werbung", "Ankreuzfeld", "Werbung", "nein"));
  fields.append(field("linie", "Trennlinie", ""));
  fields.append(field("absatz", "Neuer Absatz", ""));
  fields.append(field("kopf", typeTextOf(FieldType::Heading), "\xDC" "ber uns \x96 Fragebogen"));
  fields.append(field("hinweis", "Normaler Text", "Bitte <b>alle</b> Felder ausf\xFCllen"));
  fields.append(field("geheim", "Unbekannter Typ", "nie zu sehen"));
  return fields;
}

const std::string kRecipient = "m\xFCller@example.org";

QString fromPage(const std::string& bytes) { return QString::fromStdString(utf8From1252(bytes)); }

QString jsString(const QString& text) {
  // A JSON string is a JavaScript string literal.
  return QString::fromUtf8(QJsonDocument::fromVariant(QVariantList{text}).toJson(
                               QJsonDocument::Compact))
      .mid(1)
      .chopped(1);
}

}  // namespace

class PageBrowserTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void showsTheUmlautsOfAPageWithoutCharset();
  void postsEveryAnswerToTheFormMailHost();
  void showsALoneUmlautRight();

 private:
  bool loadPage(const QUrl& url);
  std::optional<QVariant> runScript(const QString& script);

  QTemporaryDir folder_;
  FormMailReceiver receiver_;
  std::unique_ptr<QWebEngineView> view_;
  QString pagePath_;
};

void PageBrowserTest::initTestCase() {
  QVERIFY(folder_.isValid());
  QVERIFY2(receiver_.adopt(gListeningSocket), "the loopback receiver could not listen");
  const Status written =
      writeFormPage(folder_.path().toStdString(), everyKindOfField(), kRecipient);
  QVERIFY2(written, written.reason().c_str());
  pagePath_ = folder_.filePath(QString::fromLatin1(kFormPageFileName.data(),
                                                   static_cast<qsizetype>(kFormPageFileName.size())));
  view_ = std::make_unique<QWebEngineView>();
  browser::setUpForFormPages(view_.get());
  view_->resize(900, 900);
  view_->show();
  QVERIFY(loadPage(QUrl::fromLocalFile(pagePath_)));
}

bool PageBrowserTest::loadPage(const QUrl& url) {
  QSignalSpy finished(view_.get(), &QWebEngineView::loadFinished);
  view_->load(url);
  if (!finished.wait(kLoadTimeoutMs)) return false;
  return finished.constFirst().constFirst().toBool();
}

std::optional<QVariant> PageBrowserTest::runScript(const QString& script) {
  std::optional<QVariant> result;
  view_->page()->runJavaScript(script, [&result](const QVariant& value) { result = value; });
  // Nothing when the engine did not answer in time.
  if (!QTest::qWaitFor([&result] { return result.has_value(); }, kScriptTimeoutMs)) return {};
  return result;
}

void PageBrowserTest::showsTheUmlautsOfAPageWithoutCharset() {
  const auto text = runScript(QStringLiteral("document.body.innerText"));
  QVERIFY(text);
  const QString shown = text->toString();
  for (const char* expected :
       {"Vorname (J\xFCrgen)*", "Bemerkung zur Gr\xF6\xDF" "e", "\xDC" "ber uns \x96 Fragebogen",
        "Bitte alle Felder ausf\xFCllen", "Gr\xF6\xDF" "e XL"}) {
    QVERIFY2(shown.contains(fromPage(expected)), qPrintable(shown));
  }
  QVERIFY2(!shown.contains(QStringLiteral("nie zu sehen")), "an unknown type shows nothing");
  const auto encoding = runScript(QStringLiteral("document.characterSet"));
  QVERIFY(encoding);
  QCOMPARE(encoding->toString(), QStringLiteral("windows-1252"));
  const auto preset = runScript(QStringLiteral("document.getElementsByName('ort')[0].value"));
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
               jsString(fromPage("Zeile 1\n\xC4u\xDF" "erung \x80")));
  QSignalSpy received(&receiver_, &FormMailReceiver::received);
  QSignalSpy answered(view_.get(), &QWebEngineView::loadFinished);
  const auto pressed = runScript(fill);
  QVERIFY(pressed);
  QVERIFY(pressed->toBool());
  if (received.count() == 0 && !received.wait(kLoadTimeoutMs)) {
    const auto shown = runScript(QStringLiteral("document.body.innerText"));
    QFAIL(qPrintable(QStringLiteral("nothing reached the form-mail receiver; the browser shows %1: %2")
                         .arg(view_->url().toString(), shown ? shown->toString() : QString())));
  }

  QCOMPARE(receiver_.requests().size(), 1);
  const ReceivedRequest& request = receiver_.requests().constFirst();
  QCOMPARE(request.method, QByteArray("POST"));
  QCOMPARE(request.path, QByteArray("/cgi-bin/sendmailform.cgi"));
  QCOMPARE(request.headers.value("host"), formMailHost().toLatin1());
  QCOMPARE(request.headers.value("content-type"),
           QByteArray("application/x-www-form-urlencoded"));

  using Pair = QPair<QByteArray, QByteArray>;
  const QList<Pair> expected = {
      {"vorname", "J\xFCrgen Gro\xDF"},
      {"ort", "M\xFCnchen"},
      {"bemerkung", "Zeile 1\r\n\xC4u\xDF" "erung \x80"},
      {"groesse", "XL \"\xFC" "bergro\xDF\""},
      {"agb", "ja"},
      {"news", "t\xE4glich"},
      {"B1", "Abschicken"},
      {"required", "vorname,agb"},
      {"data_order", "vorname,ort,bemerkung,groesse,groesse,agb,news,werbung,linie,absatz,kopf,"
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
  QTRY_VERIFY_WITH_TIMEOUT(answered.count() > 0, kLoadTimeoutMs);
  const auto answer = runScript(QStringLiteral("document.body.innerText"));
  QVERIFY(answer);
  QCOMPARE(answer->toString().trimmed(), QStringLiteral("Danke"));
}

void PageBrowserTest::showsALoneUmlautRight() {
  // A single umlaut is little for the engine to recognise the code page by.
  FieldList fields;
  fields.append(field("k", typeTextOf(FieldType::Heading), "Gr\xFC\xDF" "e"));
  QTemporaryDir folder;
  QVERIFY(folder.isValid());
  const Status written = writeFormPage(folder.path().toStdString(), fields, "");
  QVERIFY2(written, written.reason().c_str());
  QVERIFY(loadPage(QUrl::fromLocalFile(folder.filePath(QStringLiteral("formular.htm")))));
  const auto text = runScript(QStringLiteral("document.querySelector('h1').innerText"));
  QVERIFY(text);
  QCOMPARE(text->toString(), fromPage("Gr\xFC\xDF" "e"));
  const auto encoding = runScript(QStringLiteral("document.characterSet"));
  QVERIFY(encoding);
  QCOMPARE(encoding->toString(), QStringLiteral("windows-1252"));
}

}  // namespace vantrel::e2e

int main(int argc, char** argv) {
  using namespace vantrel::e2e;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  quint16 port = 0;
  gListeningSocket = listenOnLoopback(port);
  if (gListeningSocket < 0) {
    qCritical("no loopback port for the receiver");
    return 1;
  }
  // The page posts to the real form-mail host name; the engine finds it on loopback.
  vantrel::browser::prepareBrowserEngine({
      QStringLiteral("--host-resolver-rules=MAP %1 127.0.0.1:%2").arg(formMailHost()).arg(port),
      QStringLiteral("--no-proxy-server"),
  });
  QApplication app(argc, argv);
  QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
  PageBrowserTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "PageBrowserTest.moc"
