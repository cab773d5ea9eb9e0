#include "widgets/browser/BrowserEngine.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace vantrel::browser {

QStringList closedNetworkFlags() {
  return {
      QStringLiteral("--disable-background-networking"),
      QStringLiteral("--disable-component-update"),
      QStringLiteral("--disable-domain-reliability"),
      QStringLiteral("--no-pings"),
  };
}

QStringList engineFlags(bool runningAsRoot, const QStringList& extraFlags) {
  QStringList flags = closedNetworkFlags();
  if (runningAsRoot) flags << QStringLiteral("--no-sandbox");
  flags << extraFlags;
  return flags;
}

QString joinEngineFlags(const QStringList& flags) {
  QStringList words;
  for (const QString& flag : flags) {
    // The engine splits the variable at blanks outside double quotes and drops the quotes.
    words << (flag.contains(QLatin1Char(' ')) ? QLatin1Char('"') + flag + QLatin1Char('"') : flag);
  }
  return words.join(QLatin1Char(' '));
}

void prepareBrowserEngine(const QStringList& extraFlags) {
  const bool runningAsRoot = ::geteuid() == 0;
  QString value = qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").trimmed();
  if (!value.isEmpty()) value += QLatin1Char(' ');
  value += joinEngineFlags(engineFlags(runningAsRoot, extraFlags));
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", value.toLocal8Bit());
  if (runningAsRoot) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  // The engine renders through a context shared with the application's.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

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
