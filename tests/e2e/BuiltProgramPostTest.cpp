// A built program posts a filled form: the program, built by vantrel-cli from the shipped
// prototype, runs offscreen with the engine's remote debugging port open; the test fills the
// form and presses "Abschicken" through that port, and a receiver on 127.0.0.1 standing in for
// the form-mail host gets the answers.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>
#include <optional>

#include "tests/support/TempFolder.h"
#include "tests/support/qt/FormMailReceiver.h"
#include "tests/support/qt/TempFolderPaths.h"

namespace vantrel::e2e {

using test::decodeFormBody;
using test::FormMailReceiver;
using test::listenOnLoopback;
using test::pathIn;
using test::ReceivedRequest;
using test::TempFolder;

namespace {

constexpr int kTimeoutMs = 60000;
const QString kCli = QStringLiteral(VANTREL_CLI);

// The smallest WebSocket client the engine's DevTools endpoint needs: one connection, text
// frames out (masked, as a client must send them), text frames in.
class DevToolsConnection {
 public:
  bool open(const QUrl& url) {
    socket_.connectToHost(url.host(), static_cast<quint16>(url.port()));
    if (!socket_.waitForConnected(kTimeoutMs)) return false;
    QByteArray key(16, '\0');
    for (char& b : key) b = static_cast<char>(QRandomGenerator::global()->bounded(256));
    socket_.write("GET " + url.path().toLatin1() + " HTTP/1.1\r\nHost: " + url.host().toLatin1() +
                  ":" + QByteArray::number(url.port()) +
                  "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " +
                  key.toBase64() + "\r\nSec-WebSocket-Version: 13\r\n\r\n");
    QElapsedTimer timer;
    timer.start();
    while (!buffer_.contains("\r\n\r\n")) {
      if (timer.hasExpired(kTimeoutMs) || !socket_.waitForReadyRead(1000)) {
        if (timer.hasExpired(kTimeoutMs)) return false;
        continue;
      }
      buffer_ += socket_.readAll();
    }
    if (!buffer_.startsWith("HTTP/1.1 101")) return false;
    buffer_ = buffer_.mid(buffer_.indexOf("\r\n\r\n") + 4);
    return true;
  }

  void send(const QByteArray& text) {
    QByteArray frame;
    frame += static_cast<char>(0x81);
    if (text.size() < 126) {
      frame += static_cast<char>(0x80 | text.size());
    } else {
      frame += static_cast<char>(0x80 | 126);
      frame += static_cast<char>((text.size() >> 8) & 0xFF);
      frame += static_cast<char>(text.size() & 0xFF);
    }
    const QByteArray mask("\x11\x22\x33\x44", 4);
    frame += mask;
    for (qsizetype i = 0; i < text.size(); ++i) frame += static_cast<char>(text[i] ^ mask[i % 4]);
    socket_.write(frame);
    socket_.flush();
  }

  // The answer to the command with this id, or nothing within the time limit.
  std::optional<QJsonObject> answerTo(int id) {
    QElapsedTimer timer;
    timer.start();
    while (!timer.hasExpired(kTimeoutMs)) {
      while (const std::optional<QByteArray> message = nextMessage()) {
        const QJsonObject object = QJsonDocument::fromJson(*message).object();
        if (object.value(QStringLiteral("id")).toInt() == id) return object;
      }
      if (socket_.waitForReadyRead(500)) buffer_ += socket_.readAll();
    }
    return std::nullopt;
  }

 private:
  std::optional<QByteArray> nextMessage() {
    if (buffer_.size() < 2) return std::nullopt;
    const auto byte = [this](qsizetype i) {
      return static_cast<quint64>(static_cast<unsigned char>(buffer_[i]));
    };
    quint64 length = byte(1) & 0x7F;
    qsizetype header = 2;
    if (length == 126) {
      if (buffer_.size() < 4) return std::nullopt;
      length = byte(2) << 8 | byte(3);
      header = 4;
    } else if (length == 127) {
      if (buffer_.size() < 10) return std::nullopt;
      length = 0;
      for (int i = 2; i < 10; ++i) length = length << 8 | byte(i);
      header = 10;
    }
    if (static_cast<quint64>(buffer_.size() - header) < length) return std::nullopt;
    QByteArray payload = buffer_.mid(header, static_cast<qsizetype>(length));
    buffer_ = buffer_.mid(header + static_cast<qsizetype>(length));
    return payload;
  }

  QTcpSocket socket_;
  QByteArray buffer_;
};

quint16 freeLoopbackPort() {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
  return probe.serverPort();
}

QString formMailHost() { return QUrl(QStringLiteral("http://" VANTREL_FORMMAIL_HOST)).host(); }

// The debugging port lists the page as soon as its address is known, which can be before its
// document has loaded (on a busy machine often); the form can be filled only once it has.
bool waitUntilTheFormHasLoaded(DevToolsConnection& devTools) {
  const QString loaded = QStringLiteral(
      "document.readyState === 'complete' && document.getElementsByName('ort').length === 1");
  QElapsedTimer timer;
  timer.start();
  for (int id = 100; !timer.hasExpired(kTimeoutMs); ++id) {
    QJsonObject command{
        {QStringLiteral("id"), id},
        {QStringLiteral("method"), QStringLiteral("Runtime.evaluate")},
        {QStringLiteral("params"), QJsonObject{{QStringLiteral("expression"), loaded},
                                               {QStringLiteral("returnByValue"), true}}}};
    devTools.send(QJsonDocument(command).toJson(QJsonDocument::Compact));
    const std::optional<QJsonObject> answer = devTools.answerTo(id);
    if (!answer) return false;
    if (answer->value(QStringLiteral("result"))
            .toObject()
            .value(QStringLiteral("result"))
            .toObject()
            .value(QStringLiteral("value"))
            .toBool()) {
      return true;
    }
    QTest::qWait(200);
  }
  return false;
}

}  // namespace

class BuiltProgramPostTest : public QObject {
  Q_OBJECT

 private slots:
  void postsAFilledFormToTheFormMailHost();

 private:
  std::optional<QUrl> pageDebuggerUrl(quint16 debugPort);

  // Outlives the program's connections: it must not go while one of them is still open.
  FormMailReceiver receiver_;
};

std::optional<QUrl> BuiltProgramPostTest::pageDebuggerUrl(quint16 debugPort) {
  QNetworkAccessManager network;
  network.setProxy(QNetworkProxy::NoProxy);
  QElapsedTimer timer;
  timer.start();
  while (!timer.hasExpired(kTimeoutMs)) {
    QNetworkReply* reply = network.get(
        QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(debugPort))));
    QSignalSpy done(reply, &QNetworkReply::finished);
    done.wait(5000);
    const QJsonArray targets = QJsonDocument::fromJson(reply->readAll()).array();
    reply->deleteLater();
    for (const QJsonValue& target : targets) {
      const QJsonObject object = target.toObject();
      if (object.value(QStringLiteral("url"))
              .toString()
              .endsWith(QStringLiteral("/formular.htm"))) {
        return QUrl(object.value(QStringLiteral("webSocketDebuggerUrl")).toString());
      }
    }
    QTest::qWait(300);
  }
  return std::nullopt;
}

void BuiltProgramPostTest::postsAFilledFormToTheFormMailHost() {
  TempFolder folder;
  quint16 receiverPort = 0;
  FormMailReceiver& receiver = receiver_;
  QVERIFY(receiver.adopt(listenOnLoopback(receiverPort)));

  const QString project = pathIn(folder, QStringLiteral("umfrage.json"));
  {
    QFile file(project);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"fields": [
      {"name": "ort", "type": "Textfeld", "caption": "Wohnort", "content": "", "width": "30",
       "height": "1", "maxChars": "0", "optional": "Nein", "preselected": "Nein"}],
      "email": "m\u00fcller@example.org"})");
  }
  const QString program = pathIn(folder, QStringLiteral("umfrage.exe"));
  QProcess build;
  build.start(kCli, {QStringLiteral("build"), project, QStringLiteral("-o"), program,
                     QStringLiteral("--target"), QStringLiteral("linux")});
  QVERIFY(build.waitForFinished(kTimeoutMs));
  QVERIFY2(build.exitCode() == 0, build.readAllStandardError().constData());

  const quint16 debugPort = freeLoopbackPort();
  QVERIFY(debugPort != 0);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"),
                     QStringLiteral("127.0.0.1:%1").arg(debugPort));
  environment.insert(
      QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
      QStringLiteral("\"--host-resolver-rules=MAP %1 127.0.0.1:%2\" --no-proxy-server")
          .arg(formMailHost())
          .arg(receiverPort));
  // The program's own temporary folder, to see that it removes its page's folder when ended.
  QDir temp(pathIn(folder, QStringLiteral("tmp")));
  QVERIFY(temp.mkpath(QStringLiteral(".")));
  environment.insert(QStringLiteral("TMPDIR"), temp.path());
  const QStringList pageFolders{QStringLiteral("vantrel-formular-*")};
  QProcess viewer;
  viewer.setProcessEnvironment(environment);
  viewer.start(program, {});
  QVERIFY(viewer.waitForStarted(kTimeoutMs));
  auto stopViewer = qScopeGuard([&viewer] {
    viewer.terminate();
    if (!viewer.waitForFinished(10000)) viewer.kill();
    viewer.waitForFinished();
    QTest::qWait(200);  // lets the receiver see its connections close
  });

  const std::optional<QUrl> debugger = pageDebuggerUrl(debugPort);
  QVERIFY2(debugger, "the program's page never appeared on the debugging port");
  DevToolsConnection devTools;
  QVERIFY(devTools.open(*debugger));
  QVERIFY2(waitUntilTheFormHasLoaded(devTools), "the program's page never finished loading");
  const QString fill = QStringLiteral(
      "(function() {"
      "  document.getElementsByName('ort')[0].value = 'M\\u00fcnchen';"
      "  document.querySelector('input[type=submit]').click();"
      "  return document.title + '|' + document.characterSet;"
      "})()");
  QJsonObject command{
      {QStringLiteral("id"), 1},
      {QStringLiteral("method"), QStringLiteral("Runtime.evaluate")},
      {QStringLiteral("params"),
       QJsonObject{{QStringLiteral("expression"), fill}, {QStringLiteral("returnByValue"), true}}}};
  devTools.send(QJsonDocument(command).toJson(QJsonDocument::Compact));
  const std::optional<QJsonObject> answer = devTools.answerTo(1);
  QVERIFY2(answer, "no answer from the page");
  const QString result = answer->value(QStringLiteral("result"))
                             .toObject()
                             .value(QStringLiteral("result"))
                             .toObject()
                             .value(QStringLiteral("value"))
                             .toString();
  QVERIFY2(result.endsWith(QStringLiteral("|windows-1252")), qPrintable(result));

  QSignalSpy received(&receiver, &FormMailReceiver::received);
  if (receiver.requests().isEmpty())
    QVERIFY2(received.wait(kTimeoutMs), "nothing reached the form-mail receiver");
  const ReceivedRequest& request = receiver.requests().constFirst();
  QCOMPARE(request.method, QByteArray("POST"));
  QCOMPARE(request.path, QByteArray("/cgi-bin/sendmailform.cgi"));
  const auto pairs = decodeFormBody(request.body);
  QVERIFY(pairs.contains(qMakePair(QByteArray("ort"), QByteArray("M\xFCnchen"))));
  QVERIFY(pairs.contains(qMakePair(QByteArray("submit_to"), QByteArray("m\xFCller@example.org"))));

  QCOMPARE(temp.entryList(pageFolders, QDir::Dirs).size(), 1);
  viewer.terminate();
  QVERIFY(viewer.waitForFinished(kTimeoutMs));
  QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
  QVERIFY2(temp.entryList(pageFolders, QDir::Dirs).isEmpty(),
           "the page's folder outlived the program");
}

}  // namespace vantrel::e2e

QTEST_GUILESS_MAIN(vantrel::e2e::BuiltProgramPostTest)
#include "BuiltProgramPostTest.moc"
