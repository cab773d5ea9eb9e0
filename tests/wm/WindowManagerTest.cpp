// The windows under a real window manager (run-under-openbox.sh starts Xvfb and openbox): the
// titles the desktop shows, the main window's outer size, and a placement that keeps the
// title bar on the screen. What the desktop sees is read from the X server, not from Qt.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFontMetrics>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>

#include "app/MainUnit.h"
#include "app/VantrelApplication.h"
#include "app/WorkingFolders.h"
#include "gui/AboutBoxUnit.h"
#include "gui/EditFieldsFUnit.h"
#include "gui/MessageBox.h"
#include "tests/support/TempFolder.h"
#include "tests/support/qt/MessageBoxRecorder.h"
#include "tests/support/qt/TempFolderPaths.h"
#include "tests/wm/XWindowFacts.h"
#include "widgets/browser/BrowserEngine.h"

namespace vantrel::test {
namespace {

// This program started again to open the main window once, report its frame and close it,
// so that each start can have a scale factor of its own.
constexpr const char* kStartAndCloseMode = "--start-and-close";

// The tool as a copy that keeps its files beside itself, in a folder of the test's own.
WorkingFolders foldersIn(const QString& folder) { return workingFoldersIn(folder); }
QString iniFileIn(const QString& folder) {
  return folder + QStringLiteral("/vantrel-formulare.INI");
}

// The title the desktop shows for the modal window that `open` brings up; the window is then
// dismissed without an answer.
QString titleOfModal(const std::function<void()>& open) {
  QString title;
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!modal || !modal->isVisible()) return;
    poll.stop();
    title = settledXWindowFacts(*modal).title;
    modal->reject();
  });
  poll.start();
  open();
  return title;
}

// A value of the INI file as written, without the quotes of the quoted form.
QString iniValue(const QString& iniFile, const QString& key) {
  QFile file(iniFile);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  const QRegularExpression line(
      QStringLiteral("^%1=\"?([^\"\\r\\n]*)\"?\\r?$").arg(QRegularExpression::escape(key)),
      QRegularExpression::MultilineOption);
  return line.match(QString::fromUtf8(file.readAll())).captured(1);
}

void writeIni(const QString& iniFile, const QByteArray& text) {
  QFile file(iniFile);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text);
}

struct StartReport {
  QRect outer;
  int titleBarHeight = 0;
  QSize screen;
};

std::optional<StartReport> startAndCloseInChild(const QString& folder, const QString& scaleFactor) {
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("QT_SCALE_FACTOR"));
  if (!scaleFactor.isEmpty()) environment.insert(QStringLiteral("QT_SCALE_FACTOR"), scaleFactor);
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QCoreApplication::applicationFilePath(),
              {QString::fromLatin1(kStartAndCloseMode), folder});
  if (!child.waitForFinished(60000)) {
    child.kill();
    child.waitForFinished();
    return std::nullopt;
  }
  const QStringList words =
      QString::fromUtf8(child.readAllStandardOutput())
          .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  if (child.exitCode() != 0 || words.size() != 7) return std::nullopt;
  StartReport report;
  report.outer = QRect(words[0].toInt(), words[1].toInt(), words[2].toInt(), words[3].toInt());
  report.titleBarHeight = words[4].toInt();
  report.screen = QSize(words[5].toInt(), words[6].toInt());
  return report;
}

}  // namespace

// Opens the main window as the program does, writes its outer rectangle, title bar height and
// the screen size (in the screen's pixels) to stdout, and closes it, which saves the placement.
int startAndClose(const QString& folder) {
  TMainForm form(foldersIn(folder), iniFileIn(folder));
  form.show();
  const XWindowFacts facts = settledXWindowFacts(form);
  const QSize screen = xScreenSize();
  const QRect outer = facts.outer();
  std::cout << outer.x() << ' ' << outer.y() << ' ' << outer.width() << ' ' << outer.height() << ' '
            << facts.frame.top() << ' ' << screen.width() << ' ' << screen.height() << std::endl;
  MessageBoxRecorder closeQuestion;  // answers OK
  form.close();
  return facts.framed && closeQuestion.shown.size() == 1 ? 0 : 1;
}

class TestUnderWindowManager : public QObject {
  Q_OBJECT
 private slots:
  void titlesReadExactlyAsTheWindowsSetThem();
  void mainWindowIsItsOuterSizeCentredOnTheScreen();
  void placementIsRestoredAndSavedAsTheOuterRectangle();
  void titleBarStaysOnTheScreenAcrossScaleFactors();
  void messageBoxesAreNeverNarrowerThanTheirTitle();
  void answersWindowOpensCentredOnTheMainWindow();
};

void TestUnderWindowManager::titlesReadExactlyAsTheWindowsSetThem() {
  TempFolder folder;
  TMainForm form(foldersIn(pathIn(folder)), QString());
  TEditFieldsForm editor(&form);
  form.setFieldEditor(&editor);
  form.show();
  QCOMPARE(settledXWindowFacts(form).title,
           QStringLiteral("Brixtel Vantrel Formulare 1.0 - [Unbenannt.vtq]"));

  editor.show();
  QCOMPARE(settledXWindowFacts(editor).title, QStringLiteral("Formularfeld bearbeiten"));
  editor.hide();

  TAboutBox about(&form);
  about.show();
  QCOMPARE(settledXWindowFacts(about).title, QStringLiteral("Info"));
  about.hide();

  // Real message boxes: the questions of the tool bar and of closing, and an error box
  // with the default title.
  QCOMPARE(titleOfModal([&] { form.findChild<QToolButton*>(QStringLiteral("OpenBtn"))->click(); }),
           QStringLiteral("Datei/Öffnen"));
  QCOMPARE(titleOfModal([&] { form.close(); }), QStringLiteral("Programm beenden"));
  QVERIFY(form.isVisible());
  QCOMPARE(titleOfModal(
               [] { messageBox(QStringLiteral("Etwas ging schief."), QString(), MB_ICONERROR); }),
           QStringLiteral("Fehler"));
  QCOMPARE(titleOfModal([] {
             messageBox(QStringLiteral("Read beyond end of file."),
                        QStringLiteral("Vantrel Formulare 1.0"), MB_ICONERROR);
           }),
           QStringLiteral("Vantrel Formulare 1.0"));
  form.hide();
}

void TestUnderWindowManager::mainWindowIsItsOuterSizeCentredOnTheScreen() {
  TempFolder folder;
  TMainForm form(foldersIn(pathIn(folder)), iniFileIn(pathIn(folder)));
  form.show();
  const XWindowFacts facts = settledXWindowFacts(form);
  QVERIFY(facts.framed);
  QVERIFY(facts.frame.top() > 0);  // a title bar
  qInfo() << "outer" << facts.outer() << "frame" << facts.frame;
  QCOMPARE(facts.outer().size(), QSize(638, 512));
  const QPoint offCentre = facts.outer().center() - QRect(QPoint(0, 0), xScreenSize()).center();
  QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QDebug::toString(facts.outer())));
  form.hide();
}

// NormPos holds the outer rectangle; a start and a close without a move leave it as it was.
void TestUnderWindowManager::placementIsRestoredAndSavedAsTheOuterRectangle() {
  TempFolder folder;
  const QString ini = iniFileIn(pathIn(folder));
  writeIni(ini,
           "[TMainForm]\nFlags=0\nShowCmd=1\nPixelsPerInch=96\n"
           "MinMaxPos=\"-1,-1,-1,-1\"\nNormPos=\"100,80,760,620\"\n");
  {
    TMainForm form(foldersIn(pathIn(folder)), ini);
    form.show();
    const XWindowFacts facts = settledXWindowFacts(form);
    QCOMPARE(facts.outer(), QRect(QPoint(100, 80), QPoint(759, 619)));
    MessageBoxRecorder closeQuestion;
    QVERIFY(form.close());
  }
  QCOMPARE(iniValue(ini, QStringLiteral("NormPos")), QStringLiteral("100,80,760,620"));
}

// At twice the scale on a 1280 x 1024 screen the window only just fits: its title bar must
// still be on the screen, and so at the next start at the normal scale.
void TestUnderWindowManager::titleBarStaysOnTheScreenAcrossScaleFactors() {
  TempFolder folder;
  for (const QString& scale : {QStringLiteral("2"), QString()}) {
    const auto report = startAndCloseInChild(pathIn(folder), scale);
    QVERIFY2(report, qPrintable(scale));
    qInfo("scale %s: outer %d,%d %dx%d, title bar %d high, screen %dx%d",
          scale.isEmpty() ? "1" : qPrintable(scale), report->outer.x(), report->outer.y(),
          report->outer.width(), report->outer.height(), report->titleBarHeight,
          report->screen.width(), report->screen.height());
    const QRect titleBar(report->outer.topLeft(),
                         QSize(report->outer.width(), report->titleBarHeight));
    QVERIFY(report->titleBarHeight > 0);
    QVERIFY2(QRect(QPoint(0, 0), report->screen).contains(titleBar),
             qPrintable(QStringLiteral("scale %1: %2").arg(scale, QDebug::toString(titleBar))));
  }
}

// The title bar holds the title in bold beside the window's icon, its three buttons and the
// margins between them, together about six times as wide as the bar is high: a box is at least
// that wide, whatever its text. (A box of 220 pixels showed "Vantrel ...lare 1.0".)
void TestUnderWindowManager::messageBoxesAreNeverNarrowerThanTheirTitle() {
  TempFolder folder;
  TMainForm form(foldersIn(pathIn(folder)), QString());
  form.show();
  QVERIFY(settledXWindowFacts(form).framed);
  for (const QString& title : {QStringLiteral("Vantrel Formulare 1.0"),
                               QStringLiteral("Programm beenden"), QStringLiteral("Fehler")}) {
    std::optional<XWindowFacts> facts;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!modal || !modal->isVisible()) return;
      poll.stop();
      facts = settledXWindowFacts(*modal);
      modal->reject();
    });
    poll.start();
    messageBox(QStringLiteral("Ok."), title, MB_ICONERROR);
    QVERIFY2(facts && facts->framed, qPrintable(title));
    // openbox's own title font.
    const QFont bold(QStringLiteral("Sans"), 8, QFont::Bold);
    const int needed =
        QFontMetrics(bold).horizontalAdvance(title) + 6 * std::max(facts->frame.top(), 16);
    qInfo() << title << "outer" << facts->outer() << "frame" << facts->frame << "needs" << needed;
    QVERIFY2(facts->outer().width() >= needed,
             qPrintable(
                 QStringLiteral("%1: %2 < %3").arg(title).arg(facts->outer().width()).arg(needed)));
  }
  form.hide();
}

// Under the window manager "Auswertung" opens over the main window, wherever that stands.
void TestUnderWindowManager::answersWindowOpensCentredOnTheMainWindow() {
  TempFolder folder;
  const QString ini = iniFileIn(pathIn(folder));
  writeIni(ini,
           "[TMainForm]\nFlags=0\nShowCmd=1\nPixelsPerInch=96\n"
           "MinMaxPos=\"-1,-1,-1,-1\"\nNormPos=\"500,400,1138,912\"\n");
  TMainForm form(foldersIn(pathIn(folder)), ini);
  form.show();
  const XWindowFacts main = settledXWindowFacts(form);
  QVERIFY(main.framed);
  form.findChild<QAbstractButton*>(QStringLiteral("AnswersBtn"))->click();
  auto* answers = form.findChild<QWidget*>(QStringLiteral("AnswersForm"));
  QVERIFY(answers && answers->isVisible());
  const XWindowFacts opened = settledXWindowFacts(*answers);
  QVERIFY(opened.framed);
  const QPoint offCentre = opened.outer().center() - main.outer().center();
  qInfo() << "main" << main.outer() << "answers" << opened.outer();
  // The frame is not known before the first show: half a title bar is allowed.
  QVERIFY2(offCentre.manhattanLength() <= opened.frame.top() + 4,
           qPrintable(QDebug::toString(opened.outer())));
  answers->close();
  MessageBoxRecorder closeQuestion;
  form.close();
}

}  // namespace vantrel::test

int main(int argc, char** argv) {
  QStandardPaths::setTestModeEnabled(true);
  vantrel::browser::prepareBrowserEngine();
  vantrel::VantrelApplication app(argc, argv);
  vantrel::setUpApplication(app);
  if (argc == 3 && std::strcmp(argv[1], vantrel::test::kStartAndCloseMode) == 0) {
    return vantrel::test::startAndClose(QString::fromLocal8Bit(argv[2]));
  }
  vantrel::test::TestUnderWindowManager test;
  return QTest::qExec(&test, argc, argv);
}

#include "WindowManagerTest.moc"
