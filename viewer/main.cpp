// The viewer inside every built program. It finds its data through its marker record, reads
// the WindowSettings and the archive behind its own code, unpacks the form page into a private
// temporary folder (removed again on exit) and shows it.
//
// VANTREL_VIEWER_SNAPSHOT=FILE.png: once the page has loaded, save a picture of the window
// (with the window title as the PNG text "Title" and the window icon, a PNG in base 64, as
// "Icon") and exit 0. Messages then go to the standard
// error output instead of message boxes, so nothing waits for a user who is not there.

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <csignal>
#include <cstdio>

#include "base/Win1252.h"
#include "program/ViewerData.h"
#include "viewer/EmbeddedData.h"
#include "viewer/ViewerWindow.h"
#include "widgets/browser/BrowserEngine.h"

namespace {

using namespace vantrel;

constexpr int kSnapshotSettleMs = 500;

// Exit statuses: 0 shown and closed, 2 own data unusable, 3 the page did not load (snapshot).
constexpr int kExitDataError = 2;
constexpr int kExitLoadError = 3;

QString fromModel(std::string_view bytes) { return QString::fromStdString(utf8From1252(bytes)); }

bool unattended() { return !qEnvironmentVariableIsEmpty("VANTREL_VIEWER_SNAPSHOT"); }

void reportError(const QString& text, const std::string& detail) {
  std::fprintf(stderr, "%s (%s)\n", text.toLocal8Bit().constData(), detail.c_str());
  if (unattended()) return;
  QMessageBox box(QMessageBox::Critical, fromModel(exe::kViewerErrorTitle), text, QMessageBox::Ok);
  box.exec();
}

// The program's own file. /proc/self/exe names it whatever characters its path holds.
std::string ownProgramPath() {
  if (QFileInfo::exists(QStringLiteral("/proc/self/exe"))) return "/proc/self/exe";
  return QCoreApplication::applicationFilePath().toStdString();
}

// A termination signal ends the event loop like closing the window does, so the page's
// temporary folder is removed on that way out too. The handler only writes to a socket; the
// loop reads it.
int gSignalSockets[2] = {-1, -1};

void onTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(gSignalSockets[1], &byte, 1);
}

void quitOnTerminationSignals(QApplication& app) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalSockets) != 0) return;
  auto* notifier = new QSocketNotifier(gSignalSockets[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

QByteArray pngOf(const QIcon& icon) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  icon.pixmap(viewer::kIconSide, viewer::kIconSide).toImage().save(&buffer, "PNG");
  return bytes;
}

void saveSnapshotWhenLoaded(viewer::ViewerWindow& window, const QString& file) {
  QObject::connect(
      window.view(), &QWebEngineView::loadFinished, &window,
      [&window, file](bool ok) {
        if (!ok) {
          std::fprintf(stderr, "the page did not load\n");
          QCoreApplication::exit(kExitLoadError);
          return;
        }
        // Give the engine time to paint the page it has just laid out.
        QTimer::singleShot(kSnapshotSettleMs, &window, [&window, file] {
          QImage picture = window.grab().toImage();
          picture.setText(QStringLiteral("Title"), window.windowTitle());
          picture.setText(QStringLiteral("Icon"),
                          QString::fromLatin1(pngOf(window.windowIcon()).toBase64()));
          if (!picture.save(file, "PNG")) {
            std::fprintf(stderr, "cannot save %s\n", file.toLocal8Bit().constData());
            QCoreApplication::exit(kExitLoadError);
            return;
          }
          QCoreApplication::exit(0);
        });
      },
      Qt::SingleShotConnection);
}

}  // namespace

int main(int argc, char** argv) {
  browser::prepareBrowserEngine();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantrel Formular"));
  quitOnTerminationSignals(app);
  const viewer::IconImage icon = viewer::iconImage();
  QApplication::setWindowIcon(viewer::iconFromImage(icon.bytes));

  QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/vantrel-formular-XXXXXX"));
  if (!folder.isValid()) {
    reportError(fromModel(exe::viewerErrorMessage(exe::ViewerError::CannotExtract)),
                folder.errorString().toStdString());
    return kExitDataError;
  }
  const exe::ViewerPage page = exe::loadViewerPage(ownProgramPath(), viewer::markerRecord(),
                                                   QFile::encodeName(folder.path()).toStdString());
  if (!page) {
    reportError(fromModel(exe::viewerErrorMessage(page.error)), page.detail);
    return kExitDataError;
  }

  viewer::ViewerWindow window(page.settings,
                              QUrl::fromLocalFile(QFile::decodeName(page.pageFile.c_str())));
  const QString snapshot = qEnvironmentVariable("VANTREL_VIEWER_SNAPSHOT");
  if (!snapshot.isEmpty()) saveSnapshotWhenLoaded(window, snapshot);
  window.start();
  return app.exec();
}
