#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/FormMailDialog.h"
#include "app/SigningPassword.h"
#include "app/ToolSettings.h"
#include "gui/Shell.h"
#include "icon/BitmapFile.h"
#include "icon/IconPos.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"
#include "project/FormMailAddress.h"
#include "tests/builder/BuilderTestSupport.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"
#include "widgets/ImageBtnUnit.h"
#include "widgets/PaintBox.h"

namespace vantrel::test {

namespace {

const QString kBuildFailed = QStringLiteral("Datei konnte nicht erstellt werden!");
const QString kReceiver = QStringLiteral("https://umfragen.example.org/cgi-bin/sendmailform.cgi");

// Records what would have been started instead of starting it.
struct StartRecorder {
  QStringList started;
  ShellStartHandler previous =
      setShellStartHandler([this](const QString& program) { started.append(program); });
  ~StartRecorder() { setShellStartHandler(std::move(previous)); }
};

// The program folder as the build finds it beside the tool.
void provideSupportFiles(const MainFormFixture& fixture) {
  for (const char* name : {"ProtoExe.dat", "iconcomp.dat"}) {
    const QString source = QStringLiteral(VANTREL_BIN_DIR "/") + QString::fromLatin1(name);
    QVERIFY2(QFile::copy(source, fixture.filePath(QString::fromLatin1(name))), name);
  }
}

// A form with an address and the author's own receiver, named in "Einstellungen...".
void readyToBuild(TMainForm& form, const QString& output) {
  form.setFormMailAddress(kReceiver);
  named<QLineEdit>(&form, "emailEd")->setText(QStringLiteral("umfrage@brixtel.example"));
  named<QLineEdit>(&form, "EXENameEdit")->setText(output);
}

QColor paintedAt(QWidget* box, int x, int y) { return box->grab().toImage().pixelColor(x, y); }

}  // namespace

void TestBuild::emptyAddressSendsTheUserToTheFirstTab() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowActive(fixture.form.get()));
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(2);
  pressGo(form);
  QCOMPARE(messages.shown.size(), 1);
  QVERIFY(messages.shown[0].text.startsWith(
      QStringLiteral("Sie haben noch keine eMail Adresse eingetragen.")));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Fehler"));
  QCOMPARE(messages.shown[0].flags, int(MB_ICONERROR));
  QCOMPARE(named<QTabWidget>(&form, "PageControl2")->currentIndex(), 0);
  QTRY_VERIFY(named<QLineEdit>(&form, "emailEd")->hasFocus());
  QVERIFY(!QFile::exists(fixture.filePath(QStringLiteral("formular.htm"))));
}

void TestBuild::emptyOutputNameStopsAfterThePage() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  readyToBuild(*fixture.form, QString());
  pressGo(*fixture.form);
  QCOMPARE(messages.texts(),
           QStringList{QStringLiteral("Sie müssen einen Namen für die Exe-Datei festlegen!")});
  QCOMPARE(messages.shown[0].title, QString());
  QVERIFY(QFile::exists(fixture.filePath(QStringLiteral("formular.htm"))));
}

void TestBuild::existingOutputIsReplacedOnlyAfterYes() {
  MainFormFixture fixture;
  provideSupportFiles(fixture);
  MessageBoxRecorder messages;
  StartRecorder starts;
  const QString output = fixture.filePath(QStringLiteral("ziel.exe"));
  {
    QFile file(output);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old program");
  }
  readyToBuild(*fixture.form, output);
  named<QCheckBox>(fixture.form.get(), "AutoStartCheck")->setChecked(true);
  messages.answers = {IDNO, IDCANCEL};
  pressGo(*fixture.form);
  pressGo(*fixture.form);
  QCOMPARE(messages.shown.size(), 2);
  QCOMPARE(messages.shown[0].text,
           QStringLiteral("Die EXE-Datei existiert bereits! Wollen Sie die Datei überschreiben?"));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Datei überschreiben?"));
  QCOMPARE(messages.shown[0].flags, 35);
  QCOMPARE(readAll(output), QByteArray("old program"));
  QVERIFY(starts.started.isEmpty());

  messages.answers = {IDYES};
  pressGo(*fixture.form);
  QCOMPARE(messages.shown.size(), 4);
  QCOMPARE(messages.shown[3].text, QStringLiteral("EXE-Datei wurde erfolgreich erstellt!"));
  QVERIFY(readAll(output).size() > 1000);
  QCOMPARE(starts.started, QStringList{output});
}

// Only the build asks before it replaces the output file; choosing it asks nothing.
void TestBuild::browsingForAnExistingOutputFileAsksNothing() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowActive(fixture.form.get()));
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  const QString existing = fixture.filePath(QStringLiteral("alt.exe"));
  QFile file(existing);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.close();
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(2);
  RealFileDialogUser dialogUser(existing);
  QTest::mouseClick(named<QToolButton>(&form, "EXENameBrowseBtn"), Qt::LeftButton);
  QVERIFY(dialogUser.answered);
  QCOMPARE(dialogUser.questions, QStringList());
  QCOMPARE(named<QLineEdit>(&form, "EXENameEdit")->text(), existing);
  QVERIFY(messages.shown.isEmpty());
}

void TestBuild::missingPrototypeLeavesNothingAndStartsNothing() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  StartRecorder starts;
  const QString output = fixture.filePath(QStringLiteral("ziel.exe"));
  readyToBuild(*fixture.form, output);
  named<QCheckBox>(fixture.form.get(), "AutoStartCheck")->setChecked(true);
  pressGo(*fixture.form);
  QCOMPARE(messages.texts(),
           (QStringList{QStringLiteral("Konnte Datei ProtoExe.dat nicht öffnen!"), kBuildFailed}));
  QCOMPARE(messages.shown[1].flags, MB_TASKMODAL | MB_ICONERROR);
  QVERIFY(!QFile::exists(output));
  QVERIFY(starts.started.isEmpty());
  QCOMPARE(fixture.form->iconPos(), 0u);
}

void TestBuild::builtProgramCarriesTheChosenIcon() {
  MainFormFixture fixture;
  provideSupportFiles(fixture);
  MessageBoxRecorder messages;
  StartRecorder starts;
  TMainForm& form = *fixture.form;
  const QString picture = fixture.filePath(QStringLiteral("rot.png"));
  QImage red(64, 32, QImage::Format_RGB32);
  red.fill(QColor(250, 10, 10));
  QVERIFY(red.save(picture));
  FileDialogRecorder dialogs;
  dialogs.answers = {picture};
  named<QPushButton>(&form, "OpenIconBtn")->click();
  QCOMPARE(dialogs.requests.size(), 1);
  QVERIFY(dialogs.requests[0].picturePreview);
  QVERIFY(dialogs.requests[0].filter.contains(QStringLiteral("*.wmf")));
  QCOMPARE(paintedAt(named<QWidget>(&form, "PaintBox1"), 0, 0), QColor(255, 0, 0));

  const QString output = fixture.filePath(QStringLiteral("rot.exe"));
  readyToBuild(form, output);
  pressGo(form);
  QCOMPARE(messages.texts(), QStringList{QStringLiteral("EXE-Datei wurde erfolgreich erstellt!")});
  QCOMPARE(messages.shown[0].title, QStringLiteral("EXE-Datei erstellt"));
  QVERIFY(form.iconPos() != 0);
  const QByteArray built = readAll(output);
  const IconPixelBlock block = iconPixelBlock(form.iconBitmap());
  QCOMPARE(built.mid(form.iconPos(), 512),
           QByteArray(reinterpret_cast<const char*>(block.data()), 512));
  QCOMPARE(static_cast<unsigned char>(built[form.iconPos()]), 0x99);  // red is index 9
  QVERIFY(QFileInfo(output).isExecutable());
  QVERIFY(starts.started.isEmpty());
}

void TestBuild::iconStartsFromTheFileOrTheStandardIcon() {
  MainFormFixture fixture(false);
  const QString iconFile = fixture.filePath(QStringLiteral("theicon.bmp"));
  // No file at the first start: the standard icon is used and written.
  QCOMPARE(readAll(iconFile).size(), 630);
  QCOMPARE(fixture.form->iconBitmap(), renderIconBitmap(standardIconPicture()));

  IconBitmap blue = createIconBitmap();
  std::fill(blue.pixels.begin(), blue.pixels.end(), std::uint8_t{12});
  saveBitmapFile(iconFile.toStdString(), blue);
  fixture.open(false);
  QCOMPARE(fixture.form->iconBitmap(), blue);

  QFile::resize(iconFile, 100);  // damaged: back to the standard icon, file rewritten
  fixture.open(false);
  QCOMPARE(fixture.form->iconBitmap(), renderIconBitmap(standardIconPicture()));
  QCOMPARE(readAll(iconFile).size(), 630);
}

void TestBuild::pictureThatCannotBeLoadedChangesNothing() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  TMainForm& form = *fixture.form;
  const QString iconFile = fixture.filePath(QStringLiteral("theicon.bmp"));
  const QByteArray before = readAll(iconFile);
  const QString broken = fixture.filePath(QStringLiteral("kaputt.jpg"));
  {
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
  }
  dialogs.answers = {broken};
  named<QPushButton>(&form, "OpenIconBtn")->click();
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].title, QStringLiteral("Vantrel Formulare 1.0"));
  named<QPushButton>(&form, "OpenIconBtn")->click();  // cancelled
  QCOMPARE(readAll(iconFile), before);
  QCOMPARE(form.iconBitmap(), renderIconBitmap(standardIconPicture()));

  named<QPushButton>(&form, "StdIconBtn")->click();
  QCOMPARE(readAll(iconFile), before);
}

// What is wrong with a chosen picture is said in German and names the file.
void TestBuild::pictureThatCannotBeLoadedIsNamedInGerman() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  struct Case {
    const char* file;
    QByteArray bytes;  // none: the file does not exist
    const char* shown;
  };
  const Case cases[] = {
      {"kaputt.png", "not a picture", "kaputt.png: Die Datei ist kein lesbares Bild im Format png"},
      {"kaputt.jpg", "not a picture", "kaputt.jpg: Die Datei ist kein lesbares JPEG-Bild."},
      {"kaputt.bmp", "BM not a picture",
       "kaputt.bmp: Die Datei ist kein lesbares Bild im Format bmp"},
      {"kaputt.wmf", "not a picture", "kaputt.wmf: Die Datei ist keine gültige Windows-Metadatei"},
      {"nix.png", QByteArray(), "nix.png kann nicht geöffnet werden: Datei oder Verzeichnis"},
  };
  for (const Case& c : cases) {
    const QString path = fixture.filePath(QString::fromLatin1(c.file));
    if (!c.bytes.isNull()) {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(c.bytes);
    }
    dialogs.answers = {path};
    messages.shown.clear();
    named<QPushButton>(fixture.form.get(), "OpenIconBtn")->click();
    QCOMPARE(messages.shown.size(), 1);
    QVERIFY2(messages.shown[0].text.contains(QString::fromUtf8(c.shown)),
             qPrintable(messages.shown[0].text));
  }
}

// A tool kept in a folder whose name Windows-1252 cannot hold builds into it all the same.
void TestBuild::buildsInAFolderWindows1252CannotHold() {
  TempFolder folder;
  const QString tool = pathIn(folder, QStringLiteral("Проекты 🙂"));
  QVERIFY(QDir().mkpath(tool));
  for (const char* name : {"ProtoExe.dat", "iconcomp.dat"}) {
    const QString source = QStringLiteral(VANTREL_BIN_DIR "/") + QString::fromLatin1(name);
    QVERIFY2(QFile::copy(source, tool + u'/' + QString::fromLatin1(name)), name);
  }
  TMainForm form(workingFoldersIn(tool), tool + QStringLiteral("/vantrel-formulare.INI"));
  form.setFieldEditor(new TEditFieldsForm(&form));
  form.show();
  MessageBoxRecorder messages;
  const QString output = tool + QStringLiteral("/Umfrage Łódź.exe");
  readyToBuild(form, output);
  pressGo(form);
  QCOMPARE(messages.texts(), QStringList{QStringLiteral("EXE-Datei wurde erfolgreich erstellt!")});
  QVERIFY(QFile::exists(tool + QStringLiteral("/formular.htm")));
  QVERIFY(QFileInfo(output).size() > 1000);
}

// The build's default receiver is the respondent's own computer: the answers would go nowhere.
void TestBuild::aFormPostingToTheRespondentsOwnComputerIsBuiltOnlyAfterYes() {
  MainFormFixture fixture;
  provideSupportFiles(fixture);
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  const QString output = fixture.filePath(QStringLiteral("umfrage.exe"));
  struct Case {
    QString address;  // as "Einstellungen..." keeps it; empty: the default
    bool asked;
  };
  const Case cases[] = {
      {QString(), QString::fromStdString(FormMailAddress().text()).contains(u"localhost")},
      {QStringLiteral("http://127.0.0.1:8080/senden"), true},
      {kReceiver, false},
  };
  for (const Case& c : cases) {
    form.setFormMailAddress(c.address);
    named<QLineEdit>(&form, "emailEd")->setText(QStringLiteral("umfrage@brixtel.example"));
    named<QLineEdit>(&form, "EXENameEdit")->setText(output);
    QFile::remove(output);
    messages.shown.clear();
    messages.answers = {IDNO};
    pressGo(form);
    if (!c.asked) {
      QCOMPARE(messages.texts(),
               QStringList{QStringLiteral("EXE-Datei wurde erfolgreich erstellt!")});
      continue;
    }
    const QString shown =
        c.address.isEmpty() ? QString::fromStdString(FormMailAddress().text()) : c.address;
    QCOMPARE(messages.texts(),
             QStringList{QStringLiteral("Das Formular sendet die Antworten an ") + shown +
                         QStringLiteral(", also an den Rechner der Befragten selbst: Dort kommen "
                                        "sie bei niemandem an.\n\nDie Adresse Ihres "
                                        "Formular-Empfängers tragen Sie unter \"Einstellungen...\" "
                                        "ein. Das Programm trotzdem erstellen?")});
    QCOMPARE(messages.shown[0].title, QStringLiteral("Formular-Empfänger"));
    QCOMPARE(messages.shown[0].flags, MB_YESNO | MB_ICONWARNING);
    QVERIFY(!QFile::exists(output));

    messages.answers = {IDYES};
    pressGo(form);
    QCOMPARE(messages.shown.size(), 3);
    QCOMPARE(messages.shown[2].text, QStringLiteral("EXE-Datei wurde erfolgreich erstellt!"));
    QVERIFY(QFileInfo(output).size() > 1000);
  }
}

// "Einstellungen..." keeps the certificate; the build asks for its password (from the keyring,
// replaced here) and hands the program to osslsigncode (a stand-in first on PATH). A refused
// password fails the build in German and writes nothing; a cancelled question builds nothing.
void TestBuild::programsAreSignedWithTheCertificateOfTheSettings() {
  MainFormFixture fixture;
  provideSupportFiles(fixture);
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  const ToolSigning signing{true, fixture.filePath(QStringLiteral("firma.p12")),
                            QStringLiteral("http://zeit.example.org")};
  QTimer::singleShot(0, &form, [&signing] {
    auto* dialog = qobject_cast<FormMailDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    named<QCheckBox>(dialog, "SignCheck")->setChecked(true);
    named<QPushButton>(dialog, "OkBtn")->click();  // no certificate yet: refused, stays open
    named<QLineEdit>(dialog, "CertificateEd")->setText(signing.certificate);
    named<QLineEdit>(dialog, "TimestampEd")->setText(signing.timestampUrl);
    named<QPushButton>(dialog, "OkBtn")->click();
  });
  named<QToolButton>(&form, "SettingsBtn")->click();
  QCOMPARE(messages.shown.size(), 1);
  QVERIFY(messages.shown[0].text.startsWith(QStringLiteral("Zum Signieren brauchen Sie")));
  QVERIFY(form.signing() == signing);
  QVERIFY(readSigning(fixture.iniFile()) == signing);

  const QString bin = fixture.filePath(QStringLiteral("bin"));
  QVERIFY(QDir().mkpath(bin));
  putFile((bin + QStringLiteral("/osslsigncode")).toStdString(), kSignerScript);
  QFile::setPermissions(bin + QStringLiteral("/osslsigncode"), QFile::ReadOwner | QFile::ExeOwner);
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", bin.toLocal8Bit() + ':' + path);
  struct Case {
    std::optional<QString> password;  // nothing: the question was cancelled
    QStringList shown;
    bool built;
  };
  const QString refused =
      QStringLiteral("Das Programm konnte nicht mit ") + signing.certificate +
      QStringLiteral(
          " signiert werden: Das Zertifikat, sein Passwort oder der Zeitstempel-Server "
          "wurde nicht angenommen. Es wurde keine Datei geschrieben.");
  const Case cases[] = {
      {QStringLiteral("geheim"), {QStringLiteral("EXE-Datei wurde erfolgreich erstellt!")}, true},
      {QStringLiteral("falsch"), {kBuildFailed, refused}, false},
      {std::nullopt, {}, false},
  };
  QStringList asked;
  for (const Case& c : cases) {
    const SigningPasswordHandler previous =
        setSigningPasswordHandler([&](const QString& certificate) {
          asked.append(certificate);
          return c.password;
        });
    const QString output = fixture.filePath(QStringLiteral("signiert.exe"));
    QFile::remove(output);
    messages.shown.clear();
    readyToBuild(form, output);
    pressGo(form);
    setSigningPasswordHandler(previous);
    QCOMPARE(messages.texts(), c.shown);
    QCOMPARE(QFile::exists(output), c.built);
    if (c.built) QVERIFY(readAll(output).endsWith("SIGNED"));
  }
  qputenv("PATH", path);
  QCOMPARE(asked, QStringList(3, signing.certificate));
}

}  // namespace vantrel::test
