#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/FieldListModel.h"
#include "app/MainUnit.h"
#include "app/WorkingFolders.h"
#include "gui/EditFieldsFUnit.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/MainFormFixture.h"
#include "tests/gui/StartUpTests.h"
#include "tests/support/TempFolder.h"
#include "tests/support/qt/TempFolderPaths.h"
#include "widgets/Pictures.h"

namespace vantrel::test {
namespace {

// A project file as "Speichern" writes it, with one text field.
QByteArray savedProject(const TempFolder& scratch) {
  MainFormFixture fixture(false);
  fieldListOf(*fixture.form)
      ->appendField(FormField{"Name", "Textfeld", "Ihr Name", "", "5", "5", "0", "Nein", "Nein"});
  named<QLineEdit>(fixture.form.get(), "emailEd")->setText(QStringLiteral("a@b.example"));
  const QString path = pathIn(scratch, QStringLiteral("gespeichert.vtq"));
  FileDialogRecorder dialogs;
  dialogs.answers = {path};
  named<QToolButton>(fixture.form.get(), "SaveAsBtn")->click();
  return readAll(path);
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

std::unique_ptr<TMainForm> openWindow(const WorkingFolders& folders) {
  auto form = std::make_unique<TMainForm>(folders, QString());
  form->setFieldEditor(new TEditFieldsForm(form.get()));
  form->show();
  return form;
}

}  // namespace

void TestStartUp::infoOptionsAnswerWithoutAWindow() {
  struct Case {
    std::vector<const char*> argv;
    bool answered;
    const char* printedStart;
  };
  const std::vector<Case> cases = {
      {{"vantrel-formulare", "--version"}, true, "vantrel-formulare "},
      {{"vantrel-formulare", "--help"}, true, "Aufruf: vantrel-formulare [DATEI.vtq]"},
      {{"vantrel-formulare", "-h"}, true, "Aufruf: vantrel-formulare [DATEI.vtq]"},
      {{"vantrel-formulare", "umfrage.vtq", "--version"}, true, "vantrel-formulare "},
      {{"vantrel-formulare"}, false, ""},
      {{"vantrel-formulare", "umfrage.vtq"}, false, ""},
      {{"vantrel-formulare", "--", "--help"}, false, ""},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    const auto code = answerInfoOptions(static_cast<int>(c.argv.size()), c.argv.data(), out);
    QCOMPARE(code.has_value(), c.answered);
    if (!c.answered) {
      QVERIFY(out.str().empty());
      continue;
    }
    QCOMPARE(*code, 0);
    QVERIFY2(out.str().starts_with(c.printedStart), out.str().c_str());
    QVERIFY(out.str().ends_with("\n"));
  }
  std::ostringstream version;
  const char* argv[] = {"vantrel-formulare", "--version"};
  QVERIFY(answerInfoOptions(2, argv, version));
  QVERIFY(QRegularExpression(QStringLiteral("^vantrel-formulare \\d+\\.\\d+(\\.\\d+)?\\n$"))
              .match(QString::fromStdString(version.str()))
              .hasMatch());
}

void TestStartUp::startArgumentsNameOneProjectOrAreRefused() {
  struct Case {
    QStringList arguments;
    QString projectFile;
    bool refused;
  };
  const QList<Case> cases = {
      {{}, QString(), false},
      {{QStringLiteral("umfrage.vtq")}, QStringLiteral("umfrage.vtq"), false},
      {{QStringLiteral("--"), QStringLiteral("-seltsam.vtq")},
       QStringLiteral("-seltsam.vtq"),
       false},
      {{QStringLiteral("-")}, QStringLiteral("-"), false},
      {{QStringLiteral("--gibtsnicht")}, QString(), true},
      {{QStringLiteral("a.vtq"), QStringLiteral("b.vtq")}, QString(), true},
  };
  for (const Case& c : cases) {
    const StartArguments start = startArgumentsOf(c.arguments);
    QCOMPARE(!start.error.isEmpty(), c.refused);
    if (!c.refused) QCOMPARE(start.projectFile, c.projectFile);
  }
  QCOMPARE(startArgumentsOf({QStringLiteral("--gibtsnicht")}).error,
           QStringLiteral("Unbekannte Option: --gibtsnicht"));
}

void TestStartUp::projectNamedAtStartOpensLikeOeffnen() {
  TempFolder scratch;
  const QByteArray project = savedProject(scratch);
  QVERIFY(!project.isEmpty());
  const QString path = pathIn(scratch, QStringLiteral("umfrage.vtq"));
  writeFile(path, project);

  {
    MainFormFixture fixture;
    MessageBoxRecorder messages;
    FileDialogRecorder dialogs;
    // A name relative to the working folder, as a shell passes it.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(pathIn(scratch)));
    const bool opened = fixture.form->openProjectAtStart(QStringLiteral("umfrage.vtq"));
    QVERIFY(QDir::setCurrent(previous));
    QVERIFY(opened);
    QVERIFY(messages.shown.isEmpty());
    QCOMPARE(fieldListOf(*fixture.form)->rowCount(), 1);
    QCOMPARE(named<QLineEdit>(fixture.form.get(), "emailEd")->text(),
             QStringLiteral("a@b.example"));
    QCOMPARE(fixture.form->savedFileName(), path);
    QCOMPARE(fixture.form->windowTitle(),
             QStringLiteral("Brixtel Vantrel Formulare 1.0 - [umfrage.vtq]"));
    // "Öffnen..." continues from the project opened at start.
    messages.answers = {IDOK};
    named<QToolButton>(fixture.form.get(), "OpenBtn")->click();
    QCOMPARE(dialogs.requests.size(), 1);
    QCOMPARE(dialogs.requests[0].fileName, path);
  }

  // A file that is missing or no project: the messages of "Öffnen...", and an untitled window.
  const QString notAProject = pathIn(scratch, QStringLiteral("text.vtq"));
  writeFile(notAProject, "kein Projekt");
  const QList<QPair<QString, QString>> failures = {
      {pathIn(scratch, QStringLiteral("fehlt.vtq")),
       QStringLiteral("Projekt öffnen: Konnte die Datei fehlt.vtq nicht öffnen!")},
      {notAProject, QStringLiteral("Die Datei ist keine gültige \"Drovanex 1.0\"-Datei!")},
  };
  for (const auto& [file, text] : failures) {
    MainFormFixture fixture;
    MessageBoxRecorder messages;
    QVERIFY(!fixture.form->openProjectAtStart(file));
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, text);
    QCOMPARE(messages.shown[0].title, QStringLiteral("Fehler"));
    QCOMPARE(fixture.form->windowTitle(),
             QStringLiteral("Brixtel Vantrel Formulare 1.0 - [Unbenannt.vtq]"));
  }
}

// Installed: the support files in the private folder, nothing written beside the program; the
// page and the icon in the data folder; dialogs and the output in the documents folder.
void TestStartUp::installedToolWorksInTheUsersFoldersOnly() {
  TempFolder program;
  TempFolder home;
  const WorkingFolders found = workingFoldersFor(pathIn(program, QStringLiteral("prog")));
  QCOMPARE(found.program, pathIn(program) + u'/');
  QCOMPARE(found.data, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + u'/');
  QVERIFY(found.documents != found.program);
  QVERIFY(found.documents.endsWith(u'/'));
  QVERIFY(QFileInfo(found.documents).isDir());

  WorkingFolders folders;
  folders.program = pathIn(program) + u'/';
  folders.data = pathIn(home, QStringLiteral("daten/vantrel-formulare/"));
  folders.documents = pathIn(home) + u'/';
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  auto form = openWindow(folders);
  QVERIFY(QFile::exists(folders.data + QStringLiteral("theicon.bmp")));
  QCOMPARE(named<QLineEdit>(form.get(), "EXENameEdit")->text(),
           folders.documents + QStringLiteral("ziel.exe"));

  named<QTabWidget>(form.get(), "PageControl2")->setCurrentIndex(1);
  QVERIFY(QFile::exists(folders.data + QStringLiteral("formular.htm")));

  named<QPushButton>(form.get(), "OpenIconBtn")->click();  // cancelled
  messages.answers = {IDOK};
  named<QToolButton>(form.get(), "OpenBtn")->click();
  QCOMPARE(dialogs.requests.size(), 2);
  QCOMPARE(dialogs.requests[0].folder, folders.documents);
  QCOMPARE(dialogs.requests[1].folder, folders.documents);
  QVERIFY(messages.shown.size() == 1);  // the question of "Öffnen..."
  QCOMPARE(QDir(pathIn(program)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

// A build tree or a copy with its support files: the dialogs stay in its folder, where the user
// keeps the tool and its projects.
void TestStartUp::copyBesideItsSupportFilesKeepsDialogsInItsFolder() {
  TempFolder program;
  writeFile(pathIn(program, QStringLiteral("ProtoExe.dat")), "x");
  const WorkingFolders found = workingFoldersFor(pathIn(program, QStringLiteral("prog")));
  QCOMPARE(found.documents, pathIn(program) + u'/');
  QCOMPARE(found.data, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + u'/');
}

void TestStartUp::unwritableDataFolderIsNamedInGerman() {
  TempFolder scratch;
  // Below a plain file no folder can be made, whoever runs the test.
  writeFile(pathIn(scratch, QStringLiteral("datei")), "x");
  WorkingFolders folders = workingFoldersIn(pathIn(scratch));
  folders.data = pathIn(scratch, QStringLiteral("datei/vantrel/"));
  MessageBoxRecorder messages;
  auto form = openWindow(folders);
  QVERIFY(messages.shown.isEmpty());  // start-up goes on quietly

  named<QPushButton>(form.get(), "StdIconBtn")->click();
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text, QStringLiteral("Die Datei %1theicon.bmp konnte nicht "
                                                  "geschrieben werden!")
                                       .arg(folders.data));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Fehler"));

  named<QTabWidget>(form.get(), "PageControl2")->setCurrentIndex(1);
  QCOMPARE(messages.shown.size(), 2);
  QCOMPARE(messages.shown[1].text,
           QStringLiteral("Die Datei formular.htm konnte nicht geschrieben werden!"));
}

void TestStartUp::windowsCarryTheProgramIconAndTheEditorHasNoMinMax() {
  MainFormFixture fixture;
  const QImage expected = programIcon().pixmap(32, 32).toImage();
  QVERIFY(!expected.isNull());
  for (const QWidget* window :
       {static_cast<QWidget*>(fixture.form.get()), static_cast<QWidget*>(fixture.editor)}) {
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->windowIcon().pixmap(32, 32).toImage(), expected);
  }
  const Qt::WindowFlags flags = fixture.editor->windowFlags();
  QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
  QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
  QVERIFY(flags & Qt::WindowCloseButtonHint);
}

}  // namespace vantrel::test
