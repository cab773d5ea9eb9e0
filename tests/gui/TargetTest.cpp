// The tool's own settings around the build: the target system (Windows or Linux) with its
// output name, prototype and icon offset, and the address of the user's form-mail receiver.

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/FormMailDialog.h"
#include "app/ToolSettings.h"
#include "base/UserMessages.h"
#include "gui/Shell.h"
#include "icon/IconPos.h"
#include "page/FormPage.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"
#include "widgets/ImageBtnUnit.h"
#include "widgets/TextEdge.h"

namespace vantrel::test {
namespace {

const QString kReceiver = QStringLiteral("https://umfragen.example.org/cgi-bin/sendmailform.cgi");

void provideBothPrototypes(const MainFormFixture& fixture) {
  for (const char* name : {"ProtoExe.dat", "ProtoLinux.dat", "iconcomp.dat"}) {
    const QString source = QStringLiteral(VANTREL_BIN_DIR "/") + QString::fromLatin1(name);
    QVERIFY2(QFile::copy(source, fixture.filePath(QString::fromLatin1(name))), name);
  }
}

QString outputName(const TMainForm& form) { return named<QLineEdit>(&form, "EXENameEdit")->text(); }

void build(TMainForm& form, const QString& output) {
  named<QLineEdit>(&form, "emailEd")->setText(QStringLiteral("umfrage@brixtel.example"));
  named<QLineEdit>(&form, "EXENameEdit")->setText(output);
  QTest::mouseClick(named<TImageBtn>(&form, "GoBtn1"), Qt::LeftButton, {}, QPoint(10, 10));
}

QByteArray pixelsAt(const QString& file, std::uint32_t offset) {
  return readAll(file).mid(static_cast<int>(offset), 512);
}

// What the tool says about an address that cannot be a page's ACTION.
QString refusedAddressText() {
  return QString::fromStdString(germanMessage(FormMailAddress::parse("ftp://x").failure()));
}

}  // namespace

void TestTarget::targetChoiceNamesTheOutputAndIsRemembered() {
  MainFormFixture fixture;
  TMainForm& first = *fixture.form;
  QVERIFY(named<QRadioButton>(&first, "TargetWindows")->isChecked());
  QCOMPARE(outputName(first), fixture.filePath(QStringLiteral("ziel.exe")));
  named<QRadioButton>(&first, "TargetLinux")->click();
  QCOMPARE(first.buildTarget(), BuildTarget::Linux);
  QCOMPARE(outputName(first), fixture.filePath(QStringLiteral("ziel")));
  named<QLineEdit>(&first, "EXENameEdit")->setText(QStringLiteral("\"/mit blank/umfrage\""));
  named<QRadioButton>(&first, "TargetWindows")->click();
  QCOMPARE(outputName(first), QStringLiteral("\"/mit blank/umfrage.exe\""));
  named<QRadioButton>(&first, "TargetLinux")->click();
  QCOMPARE(outputName(first), QStringLiteral("\"/mit blank/umfrage\""));

  // The next start takes up the Linux target and its default name.
  fixture.open();
  QVERIFY(named<QRadioButton>(fixture.form.get(), "TargetLinux")->isChecked());
  QCOMPARE(outputName(*fixture.form), fixture.filePath(QStringLiteral("ziel")));
  // Written the way the window's placement is, in the same plain form: no value in quotes.
  QFile ini(fixture.iniFile());
  QVERIFY(ini.open(QIODevice::ReadOnly));
  const QByteArray text = ini.readAll();
  QVERIFY2(text.contains("\nZielsystem=Linux\n"), text.constData());
  QVERIFY2(!text.contains('"'), text.constData());
}

void TestTarget::eachTargetWritesTheIconAtItsOwnViewersOffset() {
  MainFormFixture fixture;
  provideBothPrototypes(fixture);
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  form.setFormMailAddress(kReceiver);
  const IconPixelBlock block = iconPixelBlock(form.iconBitmap());
  const QByteArray icon(reinterpret_cast<const char*>(block.data()), 512);

  const QString windows = fixture.filePath(QStringLiteral("umfrage.exe"));
  build(form, windows);
  const std::uint32_t windowsPos = form.iconPos();
  QVERIFY(windowsPos != 0);
  QCOMPARE(readAll(windows).left(2), QByteArray("MZ"));
  QCOMPARE(pixelsAt(windows, windowsPos), icon);

  named<QRadioButton>(&form, "TargetLinux")->click();
  const QString linux = fixture.filePath(QStringLiteral("umfrage"));
  build(form, linux);
  const std::uint32_t linuxPos = form.iconPosLinux();
  QVERIFY(linuxPos != 0 && linuxPos != windowsPos);
  QCOMPARE(readAll(linux).left(4), QByteArray("\x7F"
                                              "ELF"));
  QCOMPARE(pixelsAt(linux, linuxPos), icon);
  QVERIFY(pixelsAt(linux, windowsPos) != icon);  // nothing written at the other offset

  // Back to Windows: the offset found before is used again, not the Linux one.
  named<QRadioButton>(&form, "TargetWindows")->click();
  QFile::remove(windows);
  build(form, windows);
  QCOMPARE(form.iconPos(), windowsPos);
  QCOMPARE(pixelsAt(windows, windowsPos), icon);
  for (const auto& message : messages.shown)
    QCOMPARE(message.text, QStringLiteral("EXE-Datei wurde erfolgreich erstellt!"));
  QCOMPARE(messages.shown.size(), 3);
}

void TestTarget::receiverAddressIsTheUsersAndRefusedWhenUnusable() {
  MessageBoxRecorder messages;
  {
    FormMailDialog dialog{QString()};
    dialog.show();
    auto* edit = named<QLineEdit>(&dialog, "AddressEd");
    for (const QString& unusable :
         {QStringLiteral("ftp://umfragen.example.org/x"), QStringLiteral("umfragen.example.org"),
          QStringLiteral("http://umfragen example.org/"), QStringLiteral("https:///x")}) {
      edit->setText(unusable);
      named<QPushButton>(&dialog, "OkBtn")->click();
      QVERIFY2(dialog.isVisible(), qPrintable(unusable));
    }
    QCOMPARE(messages.shown.size(), 4);
    QCOMPARE(messages.shown[0].text, refusedAddressText());
    QCOMPARE(messages.shown[0].title, QStringLiteral("Fehler"));
    edit->setText(QStringLiteral(" ") + kReceiver);
    named<QPushButton>(&dialog, "OkBtn")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.address(), kReceiver);
  }

  // Through the tool bar: kept in the INI, and the next page posts there.
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  QTimer::singleShot(0, &form, [] {
    auto* dialog = qobject_cast<FormMailDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    named<QLineEdit>(dialog, "AddressEd")->setText(kReceiver);
    named<QPushButton>(dialog, "OkBtn")->click();
  });
  named<QToolButton>(&form, "SettingsBtn")->click();
  QCOMPARE(form.formMailAddress(), kReceiver);
  QCOMPARE(readFormMailAddress(fixture.iniFile()), kReceiver);
  build(form, fixture.filePath(QStringLiteral("umfrage.exe")));
  const QByteArray page = readAll(fixture.filePath(QStringLiteral("formular.htm")));
  QVERIFY(page.contains("ACTION=\"" + kReceiver.toLatin1() + "\""));

  // An address made unusable in the INI by hand is refused before any page is written.
  writeFormMailAddress(fixture.iniFile(), QStringLiteral("http://a b/"));
  QFile::remove(fixture.filePath(QStringLiteral("formular.htm")));
  fixture.open();
  messages.shown.clear();
  build(*fixture.form, fixture.filePath(QStringLiteral("zwei.exe")));
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text, refusedAddressText());
  QVERIFY(!QFile::exists(fixture.filePath(QStringLiteral("formular.htm"))));
  QVERIFY(!QFile::exists(fixture.filePath(QStringLiteral("zwei.exe"))));
}

void TestTarget::aWindowsProgramWithoutWineSaysWhereItWasWritten() {
  MessageBoxRecorder messages;
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", "/nonexistent");
  TempFolder folder;
  const QString program = pathIn(folder, QStringLiteral("umfrage.exe"));
  {
    QFile file(program);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("MZ not really a program");
  }
  QVERIFY(wineProgram().isEmpty());
  shellStart(program);
  qputenv("PATH", path);
  QCOMPARE(messages.shown.size(), 1);
  QVERIFY(messages.shown[0].text.contains(program));
  QVERIFY(messages.shown[0].text.contains(QStringLiteral("wine")));
}

}  // namespace vantrel::test
