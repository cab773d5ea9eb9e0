#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "app/FieldListModel.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"
#include "widgets/SpinEdit.h"

namespace vantrel::test {

namespace {

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QByteArray le32(qint32 value) {
  QByteArray bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<char>((static_cast<quint32>(value) >> (8 * i)) & 0xFF);
  return bytes;
}

QByteArray lps(const QByteArray& text) { return le32(static_cast<qint32>(text.size())) + text; }

// The example project: no rows, no address, all elements, 600 x 440, defined and fixed size.
QByteArray exampleProject() {
  return QByteArray("Vantrel Formulare 1.0") + le32(0) + le32(0) + QByteArray(10, '\1') +
         le32(600) + le32(440) + QByteArray("\1\1", 2) + lps("Vantrel") + le32(600) + le32(440) +
         QByteArray("\1\1", 2);
}

QByteArray oneRowProject(qint32 width) {
  QByteArray row;
  for (const char* member : {"Alter", "Textfeld", "Ihr Alter", "", "3", "1", "0", "Nein", "Nein"}) {
    row += lps(member);
  }
  return QByteArray("Vantrel Formulare 1.0") + le32(1) + row + lps("a@b.example") +
         QByteArray("\1\0\1\0\1\0\1\0\1\0", 10) + le32(width) + le32(10) + QByteArray("\0\0", 2) +
         lps("Gr\xF6\xDF"
             "e") +
         le32(width) + le32(10) + QByteArray("\0\0", 2);
}

}  // namespace

void TestProjectCommands::newResetsTheProjectAfterAsking() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fieldListOf(form)->appendField(FormField{"A", "Textfeld", "", "", "40", "5", "0", "Ja", "Nein"});
  named<QLineEdit>(&form, "emailEd")->setText(QStringLiteral("x@y.example"));
  named<QCheckBox>(&form, "CheckBox4")->setChecked(false);
  named<SpinEdit>(&form, "WidthEd")->setValue(800);
  named<QRadioButton>(&form, "FullScreenCheck")->setChecked(true);
  named<QLineEdit>(&form, "NameED")->setText(QStringLiteral("Umfrage"));
  named<QLineEdit>(&form, "EXENameEdit")->setText(QStringLiteral("/tmp/out.exe"));
  named<QCheckBox>(&form, "AutoStartCheck")->setChecked(true);

  messages.answers = {IDCANCEL};
  named<QToolButton>(&form, "NewBtn")->click();
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text,
           QStringLiteral("Hiermit gehen alle nicht gespeicherten Informationen verloren."));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Datei/Neu"));
  QCOMPARE(messages.shown[0].flags, MB_OKCANCEL | MB_ICONINFORMATION);
  QCOMPARE(fieldListOf(form)->rowCount(), 1);

  named<QToolButton>(&form, "NewBtn")->click();
  QCOMPARE(fieldListOf(form)->rowCount(), 0);
  QCOMPARE(named<QLineEdit>(&form, "emailEd")->text(), QString());
  QVERIFY(named<QCheckBox>(&form, "CheckBox4")->isChecked());
  QCOMPARE(named<SpinEdit>(&form, "WidthEd")->value(), 600);
  QCOMPARE(named<SpinEdit>(&form, "HeightEd")->value(), 440);
  QVERIFY(named<QRadioButton>(&form, "DefSizeCheck")->isChecked());
  QVERIFY(named<QCheckBox>(&form, "FixedSizeCheck")->isChecked());
  QCOMPARE(named<QLineEdit>(&form, "NameED")->text(), QStringLiteral("Vantrel"));
  QCOMPARE(named<QLineEdit>(&form, "EXENameEdit")->text(), QStringLiteral("/tmp/out.exe"));
  QVERIFY(named<QCheckBox>(&form, "AutoStartCheck")->isChecked());
  QCOMPARE(form.windowTitle(), QStringLiteral("Brixtel Vantrel Formulare 1.0 - [Unbenannt.vtq]"));
}

void TestProjectCommands::saveAfterNewAsksForANameThenSavesInPlace() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  TMainForm& form = *fixture.form;
  const QString path = fixture.filePath(QStringLiteral("Kunden.vtq"));
  named<QToolButton>(&form, "NewBtn")->click();
  dialogs.answers = {path};
  named<QToolButton>(&form, "SaveBtn")->click();
  QCOMPARE(dialogs.requests.size(), 1);
  const FileDialogRequest& request = dialogs.requests[0];
  QCOMPARE(request.kind, FileDialogRequest::Kind::Save);
  QCOMPARE(request.folder, form.programFolder());
  QCOMPARE(request.fileName, QString());
  QCOMPARE(request.filter, QStringLiteral("Vantrel Formulare (*.vtq)"));
  QCOMPARE(request.defaultSuffix, QStringLiteral("vtq"));
  QVERIFY(request.confirmOverwrite);
  QCOMPARE(readAll(path), exampleProject());
  QCOMPARE(form.savedFileName(), path);
  QCOMPARE(form.windowTitle(), QStringLiteral("Brixtel Vantrel Formulare 1.0 - [Kunden.vtq]"));

  named<QLineEdit>(&form, "emailEd")->setText(QStringLiteral("neu@brixtel.example"));
  named<QToolButton>(&form, "SaveBtn")->click();
  QCOMPARE(dialogs.requests.size(), 1);  // no dialog the second time
  QVERIFY(readAll(path).contains("neu@brixtel.example"));
  QCOMPARE(messages.shown.size(), 1);  // only the question of "Neu"

  // "Speichern unter..." opens with the name last chosen in the save dialog.
  named<QToolButton>(&form, "SaveAsBtn")->click();
  QCOMPARE(dialogs.requests.size(), 2);
  QCOMPARE(dialogs.requests[1].fileName, path);
}

void TestProjectCommands::openReadsEverythingBackAndNamesTheProject() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  TMainForm& form = *fixture.form;
  const QString path = fixture.filePath(QStringLiteral("alt.vtq"));
  writeAll(path, oneRowProject(2000));
  dialogs.answers = {path};
  named<QToolButton>(&form, "OpenBtn")->click();
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].title, QStringLiteral("Datei/Öffnen"));
  QCOMPARE(dialogs.requests[0].kind, FileDialogRequest::Kind::Open);
  QCOMPARE(dialogs.requests[0].folder, form.programFolder());
  QCOMPARE(fieldListOf(form)->rowCount(), 1);
  QCOMPARE(fieldListOf(form)->fieldAt(0).CaptionText, std::string("Ihr Alter"));
  QCOMPARE(named<QLineEdit>(&form, "emailEd")->text(), QStringLiteral("a@b.example"));
  QVERIFY(named<QCheckBox>(&form, "CheckBox1")->isChecked());
  QVERIFY(!named<QCheckBox>(&form, "CheckBox2")->isChecked());
  QCOMPARE(named<SpinEdit>(&form, "WidthEd")->value(), 1280);  // brought into its limits
  QCOMPARE(named<SpinEdit>(&form, "HeightEd")->value(), 64);
  QVERIFY(named<QRadioButton>(&form, "FullScreenCheck")->isChecked());
  QVERIFY(!named<QCheckBox>(&form, "FixedSizeCheck")->isChecked());
  QCOMPARE(named<QLineEdit>(&form, "NameED")->text(), QStringLiteral("Größe"));
  QCOMPARE(form.windowTitle(), QStringLiteral("Brixtel Vantrel Formulare 1.0 - [alt.vtq]"));

  // A file that ends after the address keeps the tab's settings.
  const QString shortPath = fixture.filePath(QStringLiteral("kurz.vtq"));
  writeAll(shortPath, QByteArray("Vantrel Formulare 1.0") + le32(0) + le32(0));
  dialogs.answers = {shortPath};
  named<QToolButton>(&form, "OpenBtn")->click();
  QCOMPARE(fieldListOf(form)->rowCount(), 0);
  QCOMPARE(named<QLineEdit>(&form, "NameED")->text(), QStringLiteral("Größe"));
  QCOMPARE(form.savedFileName(), shortPath);
  QCOMPARE(dialogs.requests[1].fileName, path);  // the open dialog remembers its last name
}

// The key is proposed from the project name, belongs to the project file (in the tool's INI,
// never in the file itself) and reaches the page's address.
void TestProjectCommands::surveyKeyIsProposedKeptPerProjectFileAndPosted() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  TMainForm& form = *fixture.form;
  auto* key = named<QLineEdit>(&form, "SurveyEd");
  named<QLineEdit>(&form, "NameED")->setText(QStringLiteral("Kurs Übung 2026"));
  QCOMPARE(key->text(), QString());
  named<QToolButton>(&form, "SurveyProposeBtn")->click();
  QCOMPARE(key->text(), QStringLiteral("Kurs-Uebung-2026"));

  const QString withKey = fixture.filePath(QStringLiteral("kurs.vtq"));
  const QString other = fixture.filePath(QStringLiteral("anderes.vtq"));
  writeAll(other, oneRowProject(2000));
  dialogs.answers = {withKey, other, withKey};
  named<QToolButton>(&form, "SaveAsBtn")->click();
  QVERIFY(!readAll(withKey).contains("Kurs-Uebung"));
  named<QToolButton>(&form, "OpenBtn")->click();
  QCOMPARE(key->text(), QString());
  named<QToolButton>(&form, "OpenBtn")->click();
  QCOMPARE(key->text(), QStringLiteral("Kurs-Uebung-2026"));

  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(1);
  QVERIFY(readAll(fixture.filePath(QStringLiteral("formular.htm")))
              .contains("/cgi-bin/sendmailform.cgi?umfrage=Kurs-Uebung-2026\""));
}

void TestProjectCommands::failedOpenChangesNothingOnScreen() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  TMainForm& form = *fixture.form;
  fieldListOf(form)->appendField(
      FormField{"Bleibt", "Textfeld", "", "", "40", "5", "0", "Ja", "Nein"});
  named<QLineEdit>(&form, "emailEd")->setText(QStringLiteral("vorher@brixtel.example"));
  const QString before = form.windowTitle();

  const QString wrongMagic = fixture.filePath(QStringLiteral("v11.vtq"));
  writeAll(wrongMagic, QByteArray("Vantrel Formulare 1.1") + le32(0) + le32(0));
  const QString cut = fixture.filePath(QStringLiteral("cut.vtq"));
  writeAll(cut, oneRowProject(600).left(60));
  const QString missing = fixture.filePath(QStringLiteral("fehlt.vtq"));

  dialogs.answers = {wrongMagic, cut, missing};
  for (int i = 0; i < 3; ++i) named<QToolButton>(&form, "OpenBtn")->click();
  QCOMPARE(messages.shown.size(), 6);
  QCOMPARE(messages.shown[1].text,
           QStringLiteral("Die Datei ist keine gültige \"Drovanex 1.0\"-Datei!"));
  QCOMPARE(messages.shown[1].title, QStringLiteral("Fehler"));
  QCOMPARE(messages.shown[3].text, QStringLiteral("Read beyond end of file."));
  QCOMPARE(messages.shown[3].title, QStringLiteral("Vantrel Formulare 1.0"));
  QCOMPARE(messages.shown[5].text,
           QStringLiteral("Projekt öffnen: Konnte die Datei fehlt.vtq nicht öffnen!"));
  QCOMPARE(messages.shown[5].flags, MB_OK | MB_ICONERROR);

  QCOMPARE(fieldListOf(form)->rowCount(), 1);
  QCOMPARE(fieldListOf(form)->fieldAt(0).InternalName, std::string("Bleibt"));
  QCOMPARE(named<QLineEdit>(&form, "emailEd")->text(), QStringLiteral("vorher@brixtel.example"));
  QCOMPARE(form.windowTitle(), before);
  QCOMPARE(form.savedFileName(), QString());
}

void TestProjectCommands::failedSaveKeepsNameTitleAndOldFile() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  TMainForm& form = *fixture.form;
  const QString missingFolder = fixture.filePath(QStringLiteral("fehlt/neu.vtq"));
  dialogs.answers = {missingFolder};
  named<QToolButton>(&form, "SaveAsBtn")->click();
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text,
           QStringLiteral("Projekt speichern: Konnte die Datei neu.vtq nicht erstellen!"));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Fehler"));
  QCOMPARE(form.savedFileName(), QString());
  QCOMPARE(form.windowTitle(), QStringLiteral("Brixtel Vantrel Formulare 1.0 - [Unbenannt.vtq]"));
}

void TestProjectCommands::sizesAreSavedAsTypedBeforeConfirming() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowActive(fixture.form.get()));
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  TMainForm& form = *fixture.form;
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(2);
  named<SpinEdit>(&form, "WidthEd")->setFocus();
  named<SpinEdit>(&form, "WidthEd")->setText(QString());
  QTest::keyClicks(named<SpinEdit>(&form, "WidthEd"), QStringLiteral("5000"));
  named<SpinEdit>(&form, "HeightEd")->setText(QStringLiteral("-"));
  const QString path = fixture.filePath(QStringLiteral("typed.vtq"));
  dialogs.answers = {path};
  QTest::mouseClick(named<QToolButton>(&form, "SaveAsBtn"),
                    Qt::LeftButton);  // the tool bar does not take the focus
  const QByteArray bytes = readAll(path);
  QCOMPARE(bytes.size(), 70);
  QCOMPARE(bytes.mid(39, 4), le32(5000));
  QCOMPARE(bytes.mid(43, 4), le32(64));
  QCOMPARE(bytes.mid(60, 4), le32(5000));  // the echo holds the same values
  QCOMPARE(named<SpinEdit>(&form, "WidthEd")->text(), QStringLiteral("5000"));
}

// A size typed and not confirmed is written as typed whichever way the project is saved,
// also when a real file dialog takes the focus from the spin edit in between.
void TestProjectCommands::sizesAreSavedAsTypedWhileAFileDialogHasTheFocus() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowActive(fixture.form.get()));
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(2);
  struct Case {
    const char* button;
    const char* spin;
    qint32 typed;
    int offset;
    bool dialog;
  };
  const Case cases[] = {{"SaveBtn", "WidthEd", 5000, 39, true},  // untitled: asks for a name
                        {"SaveAsBtn", "HeightEd", 3, 43, true},
                        {"SaveBtn", "WidthEd", 20, 39, false}};  // named: no dialog
  int saved = 0;
  for (const Case& c : cases) {
    const QString path = fixture.filePath(QStringLiteral("typed%1.vtq").arg(++saved));
    RealFileDialogUser dialogUser(path);
    auto* spin = named<SpinEdit>(&form, c.spin);
    spin->setFocus();
    spin->setText(QString());
    QTest::keyClicks(spin, QString::number(c.typed));
    QTest::mouseClick(named<QToolButton>(&form, c.button), Qt::LeftButton);
    QCOMPARE(dialogUser.answered, c.dialog);
    QVERIFY(dialogUser.questions.isEmpty());
    const QByteArray bytes = readAll(form.savedFileName());
    QVERIFY2(bytes.size() == 70, qPrintable(form.savedFileName()));
    QVERIFY2(bytes.mid(c.offset, 4) == le32(c.typed), c.button);
    QVERIFY2(bytes.mid(c.offset + 21, 4) == le32(c.typed), c.button);  // the echo
    QCOMPARE(spin->text(), QString::number(c.typed));
  }
  QVERIFY(messages.shown.isEmpty());
}

}  // namespace vantrel::test
