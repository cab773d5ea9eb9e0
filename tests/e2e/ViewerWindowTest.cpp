// The viewer's window for the settings of a built program: title, size, the ten window
// elements, the commands they offer, and the icon drawn from the icon image's bytes.

#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "project/ProjectFile.h"
#include "viewer/ViewerIcon.h"
#include "viewer/ViewerWindow.h"
#include "widgets/browser/BrowserEngine.h"

namespace vantrel::viewer {
namespace {

exe::WindowSettings allElements() {
  exe::WindowSettings settings;
  settings.settings = startupSettings();
  settings.settings.projectName = "Umfrage \xC4rzte";
  return settings;
}

QStringList texts(const QList<QAction*>& actions) {
  QStringList list;
  for (const QAction* action : actions) {
    if (!action->isSeparator()) list << action->text();
  }
  return list;
}

QStringList menuCommands(QMainWindow& window) {
  QStringList list;
  if (!window.findChild<QMenuBar*>()) return list;
  for (QAction* menu : window.menuBar()->actions())
    list << menu->text() + u':' + texts(menu->menu()->actions()).join(u',');
  return list;
}

}  // namespace

class ViewerWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void everyElementTickedOffersEveryCommand();
  void nothingTickedAndFixedGivesABareWindowOfFixedSize();
  void aFewElementsGiveOnlyTheirCommands();
  void maximumSizeOpensMaximised();
  void theAboutBoxNamesTheProject();
  void theExitButtonClosesTheWindow();
  void theIconComesFromTheImageBytes();
  void typedSizesAreBroughtIntoReach();
};

void ViewerWindowTest::everyElementTickedOffersEveryCommand() {
  ViewerWindow window(allElements(), QUrl(QStringLiteral("about:blank")));
  window.start();
  QCOMPARE(window.windowTitle(), QStringLiteral("Umfrage Ärzte"));
  QCOMPARE(window.size(), QSize(600, 440));
  QVERIFY(window.minimumSize() != window.maximumSize());
  QCOMPARE(menuCommands(window),
           (QStringList{QStringLiteral("&Datei:Drucken...,Beenden"),
                        QStringLiteral("&Ansicht:Zurück,Vorwärts,Startseite,Neu laden"),
                        QStringLiteral("&Hilfe:Über...")}));
  auto* bar = window.findChild<QToolBar*>(QStringLiteral("ToolBar"));
  QVERIFY(bar);
  QCOMPARE(texts(bar->actions()),
           (QStringList{QStringLiteral("Zurück"), QStringLiteral("Vorwärts"),
                        QStringLiteral("Startseite"), QStringLiteral("Neu laden"),
                        QStringLiteral("Drucken..."), QStringLiteral("Über..."),
                        QStringLiteral("Beenden")}));
  QVERIFY(window.findChild<QStatusBar*>());
  QVERIFY(window.findChild<QPushButton*>(QStringLiteral("ExitButton")));
}

void ViewerWindowTest::nothingTickedAndFixedGivesABareWindowOfFixedSize() {
  exe::WindowSettings settings = allElements();
  settings.settings.elements.fill(false);
  settings.settings.fixedSize = true;
  settings.settings.width = 500;
  settings.settings.height = 300;
  ViewerWindow window(settings, QUrl(QStringLiteral("about:blank")));
  window.start();
  QCOMPARE(window.size(), QSize(500, 300));
  QCOMPARE(window.minimumSize(), window.maximumSize());
  QVERIFY(menuCommands(window).isEmpty());
  QVERIFY(!window.findChild<QToolBar*>());
  QVERIFY(!window.findChild<QStatusBar*>());
  QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("ExitButton")));
  for (QAction* action : window.actions())
    QVERIFY2(!action->isEnabled(), qPrintable(action->text()));
}

void ViewerWindowTest::aFewElementsGiveOnlyTheirCommands() {
  exe::WindowSettings settings = allElements();
  settings.settings.elements.fill(false);
  settings.settings.element(WindowElement::About) = true;
  settings.settings.element(WindowElement::Reload) = true;
  settings.settings.element(WindowElement::Toolbar) = true;
  ViewerWindow window(settings, QUrl(QStringLiteral("about:blank")));
  QCOMPARE(menuCommands(window),
           (QStringList{QStringLiteral("&Ansicht:Neu laden"), QStringLiteral("&Hilfe:Über...")}));
  QCOMPARE(texts(window.findChild<QToolBar*>()->actions()),
           (QStringList{QStringLiteral("Neu laden"), QStringLiteral("Über...")}));

  // Fixed size drops the menu, not the tool bar.
  settings.settings.fixedSize = true;
  ViewerWindow fixed(settings, QUrl(QStringLiteral("about:blank")));
  QVERIFY(menuCommands(fixed).isEmpty());
  QCOMPARE(texts(fixed.findChild<QToolBar*>()->actions()),
           (QStringList{QStringLiteral("Neu laden"), QStringLiteral("Über...")}));
}

void ViewerWindowTest::maximumSizeOpensMaximised() {
  exe::WindowSettings settings = allElements();
  settings.settings.definedSize = false;
  ViewerWindow window(settings, QUrl(QStringLiteral("about:blank")));
  window.start();
  QVERIFY(window.isMaximized());
}

void ViewerWindowTest::theAboutBoxNamesTheProject() {
  ViewerWindow window(allElements(), QUrl(QStringLiteral("about:blank")));
  window.start();
  QString shown;
  QTimer::singleShot(100, [&shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    shown = box->windowTitle() + u'|' + box->text();
    box->accept();
  });
  window.findChild<QAction*>(QStringLiteral("Über..."))->trigger();
  QVERIFY2(shown.startsWith(QStringLiteral("Über Umfrage Ärzte|Umfrage Ärzte")), qPrintable(shown));
  QVERIFY(shown.contains(QStringLiteral("Vantrel Formulare")));
}

void ViewerWindowTest::theExitButtonClosesTheWindow() {
  ViewerWindow window(allElements(), QUrl(QStringLiteral("about:blank")));
  window.start();
  QVERIFY(window.isVisible());
  window.findChild<QPushButton*>(QStringLiteral("ExitButton"))->click();
  QVERIFY(!window.isVisible());
}

void ViewerWindowTest::theIconComesFromTheImageBytes() {
  IconImage image = makeViewerIcon();
  QImage drawn = iconFromImage(image.bytes).pixmap(32, 32).toImage();
  QCOMPARE(qAlpha(drawn.pixel(0, 0)), 0);              // masked corner
  QCOMPARE(drawn.pixel(4, 1), qRgb(0, 0, 0));          // the sheet's black edge
  QCOMPARE(drawn.pixel(6, 3), qRgb(0, 0, 255));        // the blue heading
  QCOMPARE(drawn.pixel(28, 31), qRgb(128, 128, 128));  // the shadow, bottom row
  QCOMPARE(qAlpha(drawn.pixel(29, 31)), 0);
  // Pixels written over the image show in its own colours; the mask stays.
  for (std::size_t i = 0; i < kIconPixelSize; ++i) image.bytes[kIconPixelOffset + i] = 0x99;
  drawn = iconFromImage(image.bytes).pixmap(32, 32).toImage();
  QCOMPARE(drawn.pixel(10, 10), qRgb(255, 0, 0));
  QCOMPARE(qAlpha(drawn.pixel(31, 0)), 0);
}

void ViewerWindowTest::typedSizesAreBroughtIntoReach() {
  QCOMPARE(usableWindowExtent(600), 600);
  QCOMPARE(usableWindowExtent(5000), 5000);
  QCOMPARE(usableWindowExtent(-3), 64);
  QCOMPARE(usableWindowExtent(2000000000), 16384);
}

}  // namespace vantrel::viewer

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  vantrel::browser::prepareBrowserEngine();
  QApplication app(argc, argv);
  vantrel::viewer::ViewerWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ViewerWindowTest.moc"
