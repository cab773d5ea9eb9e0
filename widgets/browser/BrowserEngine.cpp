#include "widgets/browser/BrowserEngine.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace vantrel::browser {
namespace {

bool isLocal(const QUrl& url) { return url.isLocalFile() || url.scheme() == u"file"; }

// Only the top frame may leave a local page, by following a link or sending the form: that is
// the page's purpose. Everything else a local page asks from the web could carry what it saw.
class LocalPageGuard final : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const bool fromLocalPage = isLocal(info.firstPartyUrl()) || isLocal(info.initiator());
    const bool leavesTheMachine = !isLocal(info.requestUrl());
    const bool topFrameNavigation =
        info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
    if (fromLocalPage && leavesTheMachine && !topFrameNavigation) info.block(true);
  }
};

}  // namespace

void useWindows1252ByDefault(QWebEngineSettings* settings) {
  settings->setDefaultTextEncoding(QString::fromLatin1(kDefaultTextEncoding));
}

void useWindows1252ByDefault(QWebEngineProfile* profile) {
  useWindows1252ByDefault(profile->settings());
}

void useWindows1252ByDefault(QWebEngineView* view) {
  useWindows1252ByDefault(view->page()->settings());
}

void letLocalPagesPostToTheWeb(QWebEngineSettings* settings) {
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
}

void letLocalPagesPostToTheWeb(QWebEngineProfile* profile) {
  letLocalPagesPostToTheWeb(profile->settings());
}

void letLocalPagesPostToTheWeb(QWebEngineView* view) {
  letLocalPagesPostToTheWeb(view->page()->settings());
}

void keepLocalPagesToThemselves(QWebEngineView* view) {
  QWebEnginePage* page = view->page();
  page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  page->setUrlRequestInterceptor(new LocalPageGuard(page));
}

void setUpForFormPages(QWebEngineView* view) {
  useWindows1252ByDefault(view);
  letLocalPagesPostToTheWeb(view);
  keepLocalPagesToThemselves(view);
}

}  // namespace vantrel::browser
