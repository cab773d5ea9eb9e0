#include "widgets/browser/BrowserEngine.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace vantrel::browser {

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

void setUpForFormPages(QWebEngineView* view) {
  useWindows1252ByDefault(view);
  letLocalPagesPostToTheWeb(view);
}

}  // namespace vantrel::browser
