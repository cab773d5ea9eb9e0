#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>

#include "app/MainUnit.h"
#include "app/ProgressBus.h"
#include "app/ProgressPanel.h"
#include "app/WindowPlacement.h"
#include "gui/AboutBoxUnit.h"
#include "gui/FailureReport.h"
#include "gui/Maker.h"
#include "gui/Shell.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"
#include "tests/support/TempFolder.h"
#include "tests/support/qt/TempFolderPaths.h"
#include "widgets/ImageBtnUnit.h"
#include "widgets/SpinEdit.h"

namespace vantrel::test {

namespace {

const QString kCloseQuestion = QStringLiteral(
    "Hiermit beenden Sie das Programm! Alle nicht gespeicherten Daten gehen verloren!");

int navyWidth(QWidget* panel) {
  const QImage image = panel->grab().toImage();
  const int y = image.height() / 2;
  int width = 0;
  for (int x = 0; x < image.width(); ++x) {
    if (image.pixelColor(x, y) == QColor(0, 0, 128)) ++width;
  }
  return width;
}

class Thrower : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("Read beyond end of file.");
    return QObject::event(event);
  }
};

// A window whose one handler throws what it is told to, then counts how often it ran.
class ThrowingWindow : public QObject {
 public:
  std::function<void()> toThrow;
  int runs = 0;
  void Handler() {
    ++runs;
    toThrow();
  }
};

}  // namespace

void TestMainForm::programFolderIsTheExecutablesFolder() {
  QCOMPARE(programFolderOf(QStringLiteral("/opt/Tools/prog")), QStringLiteral("/opt/Tools/"));
  QCOMPARE(programFolderOf(QStringLiteral("/prog")), QStringLiteral("/"));
  MainFormFixture fixture(false);
  QCOMPARE(fixture.form->programFolder(), fixture.folderPath() + u'/');
  QCOMPARE(named<QLineEdit>(fixture.form.get(), "EXENameEdit")->text(),
           fixture.folderPath() + QStringLiteral("/ziel.exe"));
}

void TestMainForm::startsWithTheThreeTabsAndTheirStartValues() {
  MainFormFixture fixture;
  TMainForm* form = fixture.form.get();
  QCOMPARE(form->windowTitle(), QStringLiteral("Brixtel Vantrel Formulare 1.0 - [Unbenannt.vtq]"));
  QCOMPARE(form->frameGeometry().size(), QSize(638, 512));  // the outer size
  auto* tabs = named<QTabWidget>(form, "PageControl2");
  QCOMPARE(tabs->count(), 3);
  QCOMPARE(shownCaption(tabs->tabText(0)), QStringLiteral("Formularfelder"));
  QCOMPARE(shownCaption(tabs->tabText(1)), QStringLiteral("Vorschau"));
  QCOMPARE(shownCaption(tabs->tabText(2)), QStringLiteral("EXE erstellen"));
  QCOMPARE(tabs->currentIndex(), 0);

  QCOMPARE(shownCaption(named<QToolButton>(form, "OpenBtn")->text()), QStringLiteral("Öffnen..."));
  QCOMPARE(named<QToolButton>(form, "SaveAsBtn")->toolTip(),
           QStringLiteral("Projekt speichern unter..."));
  QCOMPARE(named<QToolButton>(form, "NewBtn")->size(), QSize(121, 25));
  QCOMPARE(shownCaption(named<QPushButton>(form, "DelFieldBtn")->text()),
           QStringLiteral("Feld löschen"));
  QCOMPARE(named<QToolButton>(form, "UpBtn")->toolTip(), QStringLiteral("Nach oben verschieben"));
  QCOMPARE(named<QLineEdit>(form, "emailEd")->text(), QString());
  QCOMPARE(named<TImageBtn>(form, "GoBtn1")->toolTip(),
           QStringLiteral("Erstellt die EXE-Datei..."));
  QCOMPARE(named<TImageBtn>(form, "endebtn")->size(), QSize(101, 30));

  QVERIFY(named<QRadioButton>(form, "DefSizeCheck")->isChecked());
  QVERIFY(!named<QRadioButton>(form, "FullScreenCheck")->isChecked());
  auto* width = named<SpinEdit>(form, "WidthEd");
  QCOMPARE(width->value(), 600);
  QCOMPARE(width->minValue(), 64);
  QCOMPARE(width->maxValue(), 1280);
  QCOMPARE(width->increment(), 10);
  QCOMPARE(named<SpinEdit>(form, "HeightEd")->value(), 440);
  QVERIFY(!named<QCheckBox>(form, "FixedSizeCheck")->isChecked());
  QVERIFY(!named<QCheckBox>(form, "AutoStartCheck")->isChecked());
  for (int i = 1; i <= 10; ++i) {
    const QByteArray name = "CheckBox" + QByteArray::number(i);
    QVERIFY2(named<QCheckBox>(form, name.constData())->isChecked(), name.constData());
  }
  QCOMPARE(shownCaption(named<QCheckBox>(form, "CheckBox10")->text()),
           QStringLiteral("Beenden Button"));
  QCOMPARE(named<QLineEdit>(form, "NameED")->text(), QStringLiteral("Vantrel"));

  const IconBitmap& icon = form->iconBitmap();
  QCOMPARE(icon.width, 32);
  QCOMPARE(icon.height, 32);
  QCOMPARE(icon.bitsPerPixel, 4);

  auto* status = named<QStatusBar>(form, "StatusBar1");
  QCOMPARE(status->height(), 19);
  QCOMPARE(named<QWidget>(form, "StatusPanel0")->width(), 250);
  QCOMPARE(named<QWidget>(form, "ProgressPanel")->width(), 50);
}

void TestMainForm::closingAlwaysAsksAndCancelKeepsTheWindow() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  messages.answers = {IDCANCEL};
  QVERIFY(!fixture.form->close());
  QVERIFY(fixture.form->isVisible());
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text, kCloseQuestion);
  QCOMPARE(messages.shown[0].title, QStringLiteral("Programm beenden"));
  QCOMPARE(messages.shown[0].flags, MB_OKCANCEL | MB_ICONINFORMATION);

  QVERIFY(fixture.form->close());
  QVERIFY(!fixture.form->isVisible());
  QCOMPARE(messages.shown.size(), 2);
}

void TestMainForm::endeButtonClosesThroughTheSameQuestion() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  MessageBoxRecorder messages;
  messages.answers = {IDCANCEL, IDOK};
  auto* ende = named<TImageBtn>(fixture.form.get(), "endebtn");
  QTest::mouseClick(ende, Qt::LeftButton, {}, QPoint(10, 10));
  QVERIFY(fixture.form->isVisible());
  QTest::mouseClick(ende, Qt::LeftButton, {}, QPoint(10, 10));
  QVERIFY(!fixture.form->isVisible());
  QCOMPARE(messages.shown.size(), 2);
}

void TestMainForm::placementAndAutoStartSurviveARestart() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  setOuterGeometry(*fixture.form, QRect(30, 40, 660, 520));
  named<QCheckBox>(fixture.form.get(), "AutoStartCheck")->setChecked(true);
  QVERIFY(fixture.form->close());

  QSettings ini(fixture.iniFile(), QSettings::IniFormat);
  QCOMPARE(ini.value(QStringLiteral("TMainForm/NormPos")).toString(),
           QStringLiteral("30,40,690,560"));
  QCOMPARE(ini.value(QStringLiteral("TMainForm/ShowCmd")).toInt(), 1);
  QVERIFY(ini.contains(QStringLiteral("TMainForm/Flags")));
  QVERIFY(ini.contains(QStringLiteral("TMainForm/PixelsPerInch")));
  QCOMPARE(ini.value(QStringLiteral("TMainForm/MinMaxPos")).toString(),
           QStringLiteral("-1,-1,-1,-1"));

  fixture.open();
  QCOMPARE(fixture.form->frameGeometry(), QRect(30, 40, 660, 520));
  QVERIFY(named<QCheckBox>(fixture.form.get(), "AutoStartCheck")->isChecked());
}

// "%d,%d,%d,%d" as it is, no quotes; a file with the quoted form of earlier versions still
// reads.
void TestMainForm::placementIsWrittenPlainAndReadInBothForms() {
  TempFolder folder;
  const QString ini = pathIn(folder, QStringLiteral("vantrel-formulare.INI"));
  WindowPlacement placement;
  placement.showCmd = kShowMaximized;
  placement.normPos = {100, 80, 738, 592};
  writeWindowState(ini, placement, true);
  const QStringList lines = QString::fromLatin1(readAll(ini)).split(u'\n', Qt::SkipEmptyParts);
  QVERIFY2(lines.contains(QStringLiteral("[TMainForm]")), qPrintable(lines.join(u'|')));
  QVERIFY2(lines.contains(QStringLiteral("NormPos=100,80,738,592")), qPrintable(lines.join(u'|')));
  QVERIFY2(lines.contains(QStringLiteral("MinMaxPos=-1,-1,-1,-1")), qPrintable(lines.join(u'|')));
  QVERIFY(lines.contains(QStringLiteral("ShowCmd=3")));

  for (const char* form : {"100,80,738,592", "\"100,80,738,592\"", " 100, 80, 738, 592 "}) {
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("[TMainForm]\r\nAutoStartCheck.Checked=true\r\nFlags=0\r\nShowCmd=3\r\n"
                          "PixelsPerInch=96\r\nMinMaxPos=-1,-1,-1,-1\r\nNormPos=") +
               form + "\r\n");
    file.close();
    const StoredWindowState state = readWindowState(ini);
    QVERIFY2(state.placement, form);
    QVERIFY2(state.placement->normPos == (std::array<int, 4>{100, 80, 738, 592}), form);
    QCOMPARE(state.placement->showCmd, kShowMaximized);
    QVERIFY(state.autoStart);
  }
}

// Whatever the INI file says, the window opens wholly on a screen that exists, frame and title
// bar included: at its top edge, above it, on a screen that is gone, or larger than the screen.
void TestMainForm::restoredPlacementKeepsTheWindowOnTheScreen() {
  for (const char* normPos :
       {"100,0,738,512", "0,-400,638,112", "-3000,100,-2362,612", "50,50,2050,1550"}) {
    MainFormFixture fixture(false);
    QFile file(fixture.iniFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        QByteArray(
            "[TMainForm]\nFlags=0\nShowCmd=1\nPixelsPerInch=96\nMinMaxPos=-1,-1,-1,-1\nNormPos=") +
        normPos + '\n');
    file.close();
    fixture.open();
    QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
    const QRect available = fixture.form->screen()->availableGeometry();
    QVERIFY2(available.contains(fixture.form->frameGeometry()),
             qPrintable(QString::fromLatin1(normPos) + u' ' +
                        QDebug::toString(fixture.form->frameGeometry())));
  }
}

// A window that starts maximized keeps NormPos as it was, and goes back to exactly that outer
// rectangle when it is restored.
void TestMainForm::maximizedWindowKeepsItsNormalOuterRectangle() {
  MainFormFixture fixture(false);
  MessageBoxRecorder messages;
  QFile file(fixture.iniFile());
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(
      "[TMainForm]\nFlags=0\nShowCmd=3\nPixelsPerInch=96\nMinMaxPos=-1,-1,-1,-1\nNormPos=100,80,"
      "760,620\n");
  file.close();
  fixture.open();
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  QVERIFY(fixture.form->isMaximized());
  fixture.form->showNormal();
  QTRY_COMPARE(fixture.form->frameGeometry(), QRect(100, 80, 660, 540));
  fixture.form->showMaximized();
  QTRY_VERIFY(fixture.form->isMaximized());
  QVERIFY(fixture.form->close());
  const StoredWindowState state = readWindowState(fixture.iniFile());
  QVERIFY(state.placement);
  QCOMPARE(state.placement->showCmd, kShowMaximized);
  QVERIFY(state.placement->normPos == (std::array<int, 4>{100, 80, 760, 620}));
}

void TestMainForm::progressBarGrowsInPlaceAndShrinksByRepaint() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  auto* panel = named<ProgressPanel>(fixture.form.get(), "ProgressPanel");
  QCOMPARE(navyWidth(panel), 0);
  reportProgress(*fixture.form, 50);
  QCOMPARE(navyWidth(panel), 25);
  QCOMPARE(fixture.form->progressRect().width(), 50);
  reportProgress(*fixture.form, 80);
  QCOMPARE(navyWidth(panel), 40);
  reportProgress(*fixture.form, 10);
  QCOMPARE(fixture.form->progressPercent(), 10);
  QCOMPARE(navyWidth(panel), 5);
  reportProgress(*fixture.form, 150);  // not clamped: drawn beyond the panel's right edge
  QCOMPARE(navyWidth(panel), 50);
}

void TestMainForm::progressReachesTheWindowAsAPostedEvent() {
  MainFormFixture fixture;
  QCoreApplication::postEvent(fixture.form.get(), new ProgressEvent(30));
  QCOMPARE(fixture.form->progressPercent(), 0);
  QTRY_COMPARE(fixture.form->progressPercent(), 30);
}

void TestMainForm::generalErrorHandlerShowsTheExceptionAndCarriesOn() {
  MessageBoxRecorder messages;
  Thrower thrower;
  QEvent event(QEvent::User);
  QCoreApplication::sendEvent(&thrower, &event);
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text, QStringLiteral("Read beyond end of file."));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Vantrel Formulare 1.0"));
  QCOMPARE(messages.shown[0].flags & MB_ICONERROR, int(MB_ICONERROR));
}

void TestMainForm::handlersConnectedThroughTheGuardReportWhatTheyThrow() {
  struct Case {
    const char* name;
    std::function<void()> toThrow;
    QString shown;
  };
  const Case cases[] = {
      {"std::exception", [] { throw std::runtime_error("Konnte Datei nicht öffnen!"); },
       QStringLiteral("Konnte Datei nicht öffnen!")},
      {"anything else", [] { throw 42; }, QStringLiteral("Unbekannter Fehler")},
  };
  for (const Case& c : cases) {
    MessageBoxRecorder messages;
    QPushButton button;
    ThrowingWindow window;
    window.toThrow = c.toThrow;
    connectHandler(&button, &QPushButton::clicked, &window, &ThrowingWindow::Handler);
    button.click();
    button.click();  // the program carries on
    QCOMPARE(window.runs, 2);
    QCOMPARE(messages.shown.size(), 2);
    QVERIFY2(messages.shown[0].text == c.shown, c.name);
    QCOMPARE(messages.shown[0].title, QStringLiteral("Vantrel Formulare 1.0"));
    QCOMPARE(messages.shown[0].flags, MB_OK | MB_ICONERROR);
  }
}

void TestMainForm::wwwButtonOpensTheMakersAddress() {
  MainFormFixture fixture;
  QStringList opened;
  auto previous = setShellOpenHandler([&](const QString& address) { opened.append(address); });
  auto* www = named<QToolButton>(fixture.form.get(), "wwwBtn");
  QCOMPARE(www->text(), kMakerWebAddress);
  QCOMPARE(www->toolTip(), QStringLiteral("Auf zur Brixtel Homepage..."));
  www->click();
  setShellOpenHandler(previous);
  QCOMPARE(opened, QStringList{kMakerWebAddress});
}

void TestMainForm::ueberButtonShowsANewAboutBoxEachTime() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  auto* ueber = named<TImageBtn>(fixture.form.get(), "ueberbtn");
  QList<QString> titles;
  for (int click = 0; click < 2; ++click) {
    QTimer::singleShot(0, fixture.form.get(), [&] {
      auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      QCOMPARE(box->parent(), fixture.form.get());
      titles.append(box->windowTitle());
      box->accept();
    });
    QTest::mouseClick(ueber, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(fixture.form->findChildren<TAboutBox*>().isEmpty());  // gone once closed
  }
  QCOMPARE(titles, (QList<QString>{QStringLiteral("Info"), QStringLiteral("Info")}));
}

void TestMainForm::outsideSendersReportProgressOverTheSessionBus() {
  if (!QDBusConnection::sessionBus().isConnected()) QSKIP("no session bus");
  MainFormFixture fixture;
  ProgressBus bus(fixture.form.get());
  QVERIFY(bus.registerOnSessionBus());
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kProgressService), QString::fromLatin1(kProgressPath),
      QString::fromLatin1(kProgressInterface), QStringLiteral("WMUser"));
  call << 42 << 0;
  QDBusConnection::sessionBus().asyncCall(call);
  QTRY_COMPARE(fixture.form->progressPercent(), 42);
  QDBusConnection::sessionBus().unregisterObject(QString::fromLatin1(kProgressPath));
  QDBusConnection::sessionBus().unregisterService(QString::fromLatin1(kProgressService));
}

void TestMainForm::qtsOwnTextsAreGerman() {
  QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
  QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Ja"));
}

}  // namespace vantrel::test
