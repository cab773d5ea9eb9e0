// Built programs started for real, offscreen: a program built by vantrel-cli from the shipped
// prototype shows its form under the project's title with the icon written into it; the bare
// prototype and a damaged program refuse with their messages and a non-zero exit.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <set>

#include "tests/support/TempFolder.h"
#include "tests/support/qt/TempFolderPaths.h"

namespace {

constexpr int kRunTimeoutMs = 120000;
const QString kCli = QStringLiteral(VANTREL_CLI);
const QString kBinDir = QStringLiteral(VANTREL_BIN_DIR);

struct Run {
  int exitCode = -1;
  QByteArray errors;
};

Run runProgram(const QString& program, const QStringList& args,
               const QProcessEnvironment& environment) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, args);
  Run run;
  if (!process.waitForFinished(kRunTimeoutMs)) {
    process.kill();
    process.waitForFinished();
    run.errors = "timed out: " + process.readAllStandardError();
    return run;
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.errors = process.readAllStandardError();
  return run;
}

QProcessEnvironment offscreen(const QString& snapshot) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("VANTREL_VIEWER_SNAPSHOT"), snapshot);
  return environment;
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(bytes) == bytes.size() &&
         file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

QByteArray decoded(QByteArray bytes) {
  for (char& b : bytes) b = static_cast<char>(static_cast<unsigned char>(b) - 1);
  return bytes;
}

int distinctColours(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  }
  return static_cast<int>(colours.size());
}

}  // namespace

class BuiltProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void showsTheFormUnderTheProjectTitleWithTheWrittenIcon();
  void theBarePrototypeSaysItHoldsNoForm();
  void aDamagedProgramRefusesToStart();

 private:
  QString buildProgram(const QString& name, const QStringList& extraArguments = {});

  vantrel::test::TempFolder folder_;
  QString project_;
};

void BuiltProgramTest::initTestCase() {
  QVERIFY2(QFile::exists(kBinDir + QStringLiteral("/ProtoLinux.dat")),
           "the Linux prototype was not built");
  project_ = vantrel::test::pathIn(folder_, QStringLiteral("umfrage.json"));
  const QByteArray json = R"({
    "fields": [
      {"name": "ort", "type": "Textfeld", "caption": "Wohnort", "content": "K\u00f6ln", "width": "30",
       "height": "1", "maxChars": "0", "optional": "Ja", "preselected": "Nein"},
      {"name": "", "type": "\u00dcberschrift", "caption": "Gro\u00dfe Umfrage", "content": "", "width": "",
       "height": "", "maxChars": "", "optional": "", "preselected": ""}
    ],
    "email": "umfrage@example.org",
    "settings": {"statusbar": true, "toolbar": true, "print": true, "exit": true, "about": true,
      "back": true, "forward": true, "home": true, "reload": true, "exitButton": true,
      "width": 640, "height": 480, "definedSize": true, "fixedSize": false,
      "projectName": "Kundenumfrage \u00c4rzte"}
  })";
  QVERIFY(writeAll(project_, json));
}

QString BuiltProgramTest::buildProgram(const QString& name, const QStringList& extraArguments) {
  const QString output = vantrel::test::pathIn(folder_, name);
  const Run built = runProgram(
      kCli,
      QStringList{QStringLiteral("build"), project_, QStringLiteral("-o"), output,
                  QStringLiteral("--target"), QStringLiteral("linux"), QStringLiteral("--force")} +
          extraArguments,
      QProcessEnvironment::systemEnvironment());
  if (built.exitCode != 0) {
    qWarning("build failed: %s", built.errors.constData());
    return {};
  }
  return output;
}

void BuiltProgramTest::showsTheFormUnderTheProjectTitleWithTheWrittenIcon() {
  // The icon of a blue picture goes over the viewer's own, the way the tool writes it.
  const QString bluePicture = vantrel::test::pathIn(folder_, QStringLiteral("blau.png"));
  QImage blue(48, 48, QImage::Format_RGB32);
  blue.fill(qRgb(0, 0, 255));
  QVERIFY(blue.save(bluePicture));
  const QString program =
      buildProgram(QStringLiteral("mit icon.exe"), {QStringLiteral("--icon"), bluePicture});
  QVERIFY(!program.isEmpty());

  const QString snapshot = vantrel::test::pathIn(folder_, QStringLiteral("form.png"));
  const Run shown = runProgram(program, {}, offscreen(snapshot));
  QVERIFY2(shown.exitCode == 0, shown.errors.constData());
  QImage picture(snapshot);
  QVERIFY(!picture.isNull());
  QCOMPARE(picture.size(), QSize(640, 480));
  QCOMPARE(picture.text(QStringLiteral("Title")), QStringLiteral("Kundenumfrage Ärzte"));
  // A blank window has a handful of colours; text, fields and bars have many.
  QVERIFY2(distinctColours(picture) > 20, "the window looks blank");

  QImage icon;
  QVERIFY(icon.loadFromData(QByteArray::fromBase64(picture.text(QStringLiteral("Icon")).toLatin1()),
                            "PNG"));
  QCOMPARE(icon.size(), QSize(32, 32));
  // The viewer's mask still applies: its corner stays transparent; the sheet is now blue.
  QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
  QCOMPARE(icon.pixel(10, 10), qRgb(0, 0, 255));
}

void BuiltProgramTest::theBarePrototypeSaysItHoldsNoForm() {
  const QString bare = vantrel::test::pathIn(folder_, QStringLiteral("vorlage"));
  QVERIFY(writeAll(bare, decoded(readAll(kBinDir + QStringLiteral("/ProtoLinux.dat")))));
  const QString snapshot = vantrel::test::pathIn(folder_, QStringLiteral("bare.png"));
  const Run run = runProgram(bare, {}, offscreen(snapshot));
  QCOMPARE(run.exitCode, 2);
  QVERIFY2(QString::fromLocal8Bit(run.errors).contains(QStringLiteral("enthält kein Formular")),
           run.errors.constData());
  QVERIFY(!QFile::exists(snapshot));
}

void BuiltProgramTest::aDamagedProgramRefusesToStart() {
  const QString program = buildProgram(QStringLiteral("kaputt.exe"));
  QVERIFY(!program.isEmpty());
  QByteArray bytes = readAll(program);
  bytes[bytes.size() - 50] = static_cast<char>(bytes[bytes.size() - 50] ^ 0x40);
  QVERIFY(writeAll(program, bytes));
  const Run run = runProgram(
      program, {}, offscreen(vantrel::test::pathIn(folder_, QStringLiteral("kaputt.png"))));
  QCOMPARE(run.exitCode, 2);
  QVERIFY2(QString::fromLocal8Bit(run.errors).contains(QStringLiteral("beschädigt")),
           run.errors.constData());
}

QTEST_GUILESS_MAIN(BuiltProgramTest)
#include "BuiltProgramTest.moc"
