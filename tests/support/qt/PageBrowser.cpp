#include "tests/support/qt/PageBrowser.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "base/Win1252.h"
#include "page/FormPage.h"
#include "widgets/browser/BrowserEngine.h"

namespace vantrel::test {

QString formMailHost() { return QUrl(QString::fromStdString(FormMailAddress().text())).host(); }

void prepareEngineForLoopbackFormMail(quint16 port) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  browser::prepareBrowserEngine({
      QStringLiteral("--host-resolver-rules=MAP %1 127.0.0.1:%2").arg(formMailHost()).arg(port),
      QStringLiteral("--no-proxy-server"),
  });
}

QString fromPage(const std::string& bytes) { return QString::fromStdString(utf8From1252(bytes)); }

QString jsString(const QString& text) {
  // A JSON string is a JavaScript string literal.
  return QString::fromUtf8(
             QJsonDocument::fromVariant(QVariantList{text}).toJson(QJsonDocument::Compact))
      .mid(1)
      .chopped(1);
}

PageBrowser::PageBrowser() : view_(std::make_unique<QWebEngineView>()) {
  browser::setUpForFormPages(view_.get());
  view_->resize(900, 900);
  view_->show();
}

PageBrowser::~PageBrowser() = default;

bool PageBrowser::load(const QUrl& url) {
  QSignalSpy finished(view_.get(), &QWebEngineView::loadFinished);
  view_->load(url);
  return finished.wait(kPageLoadTimeoutMs) && finished.constFirst().constFirst().toBool();
}

std::optional<QVariant> PageBrowser::runScript(const QString& script) {
  // Shared with the callback, which may still come after the wait has given up.
  const auto result = std::make_shared<std::optional<QVariant>>();
  view_->page()->runJavaScript(script, [result](const QVariant& value) { *result = value; });
  if (!QTest::qWaitFor([&result] { return result->has_value(); }, kPageScriptTimeoutMs)) return {};
  return *result;
}

QString PageBrowser::shownText() {
  const auto text = runScript(QStringLiteral("document.body ? document.body.innerText : ''"));
  return text ? text->toString() : QString();
}

}  // namespace vantrel::test
