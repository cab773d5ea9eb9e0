#include "widgets/browser/BrowserStart.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QOpenGLContext>

// Qt's setter of the context every later context shares with, exported by QtGui but declared
// only in its private headers. The application sets it at its start when asked to with
// Qt::AA_ShareOpenGLContexts; setting it later ourselves is what lets the engine be loaded on
// demand, since the engine needs no more than that context to exist before its first view.
void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace vantrel::browser {

namespace {

void setEngineFlags(const QStringList& extraFlags) {
  const bool runningAsRoot = ::geteuid() == 0;
  QString value = qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").trimmed();
  if (!value.isEmpty()) value += QLatin1Char(' ');
  value += joinEngineFlags(engineFlags(runningAsRoot, extraFlags));
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", value.toLocal8Bit());
  if (runningAsRoot) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

}  // namespace

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
  setEngineFlags(extraFlags);
  // The engine renders through a context shared with the application's.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool browserEngineContextReady() { return QOpenGLContext::globalShareContext() != nullptr; }

void prepareBrowserEngineLate() {
  if (browserEngineContextReady()) return;
  setEngineFlags({});
  // Owned by the application, as the one it makes at its start would be. A context that cannot
  // be created is set all the same: the engine then falls back to rendering without OpenGL, as
  // it does when the application made it.
  auto* context = new QOpenGLContext(QCoreApplication::instance());
  (void)context->create();  // see above: the engine copes with a context that failed
  qt_gl_set_global_share_context(context);
  QObject::connect(context, &QObject::destroyed, [] { qt_gl_set_global_share_context(nullptr); });
}

}  // namespace vantrel::browser
