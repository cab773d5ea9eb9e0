// formmail_browser_post PAGE FILL_SCRIPT: loads a generated form page in the browser engine,
// runs FILL_SCRIPT in it (JavaScript; `byName(name, index)` finds a field), presses
// "Abschicken" and prints the address and the text of the answer page. The deployment tests
// run it against a real web server; it exits 0 once an answer page from http(s) has loaded,
// 1 when the page did not load or nothing answered in time, 2 on a wrong call.

#include <QApplication>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QUrl>
#include <QWebEngineView>
#include <iostream>

#include "tests/support/qt/PageBrowser.h"
#include "widgets/browser/BrowserEngine.h"

namespace {

using vantrel::test::kPageLoadTimeoutMs;
using vantrel::test::PageBrowser;

QString submitScript(const QString& fillScript) {
  return QStringLiteral(
             "(function() {"
             "  const byName = (n, i) => document.getElementsByName(n)[i || 0];"
             "  %1\n"
             "  document.querySelector('input[name=B1]').click();"
             "  return true;"
             "})()")
      .arg(fillScript);
}

bool answeredFromTheWeb(const QWebEngineView& view) {
  const QString scheme = view.url().scheme();
  return scheme == QStringLiteral("http") || scheme == QStringLiteral("https");
}

int postPage(const QUrl& page, const QString& fillScript) {
  PageBrowser browser;
  if (!browser.load(page)) {
    std::cerr << "formmail_browser_post: the page did not load\n";
    return 1;
  }
  QSignalSpy answered(browser.view(), &QWebEngineView::loadFinished);
  const auto pressed = browser.runScript(submitScript(fillScript));
  if (!pressed || !pressed->toBool()) {
    std::cerr << "formmail_browser_post: the fill script failed\n";
    return 1;
  }
  if (!answered.wait(kPageLoadTimeoutMs) || !answeredFromTheWeb(*browser.view())) {
    std::cerr << "formmail_browser_post: no answer page from the web server\n";
    return 1;
  }
  std::cout << browser.view()->url().toString().toStdString() << "\n"
            << browser.shownText().toStdString() << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: formmail_browser_post PAGE FILL_SCRIPT\n";
    return 2;
  }
  // The page's form posts to an address on 127.0.0.1, which no proxy may stand in front of.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  vantrel::browser::prepareBrowserEngine({QStringLiteral("--no-proxy-server")});
  QApplication app(argc, argv);
  QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
  return postPage(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])), QString::fromUtf8(argv[2]));
}
