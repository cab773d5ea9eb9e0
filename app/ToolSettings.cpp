#include "app/ToolSettings.h"

#include <QFileInfo>
#include <QSettings>
#include <QUrl>

#include "app/WindowPlacement.h"
#include "icon/IconPos.h"

namespace vantrel {
namespace {

const QString kTargetKey = QStringLiteral("TMainForm/Zielsystem");
const QString kAddressKey = QStringLiteral("TMainForm/FormMailAdresse");
const QString kSignKey = QStringLiteral("TMainForm/Signieren");
const QString kCertificateKey = QStringLiteral("TMainForm/Zertifikat");
const QString kTimestampKey = QStringLiteral("TMainForm/Zeitstempel");
const QString kWindowsValue = QStringLiteral("Windows");
const QString kLinuxValue = QStringLiteral("Linux");
const QString kExeSuffix = QStringLiteral(".exe");
const QString kSurveyGroup = QStringLiteral("Umfrage-Kennungen/");

}  // namespace

BuildTarget readBuildTarget(const QString& iniFile) {
  if (iniFile.isEmpty()) return BuildTarget::Windows;
  const QSettings ini(iniFile, plainIniFormat());
  return ini.value(kTargetKey).toString() == kLinuxValue ? BuildTarget::Linux
                                                         : BuildTarget::Windows;
}

void writeBuildTarget(const QString& iniFile, BuildTarget target) {
  if (iniFile.isEmpty()) return;
  QSettings ini(iniFile, plainIniFormat());
  ini.setValue(kTargetKey, target == BuildTarget::Linux ? kLinuxValue : kWindowsValue);
  ini.sync();
}

QString readFormMailAddress(const QString& iniFile) {
  if (iniFile.isEmpty()) return QString();
  const QSettings ini(iniFile, plainIniFormat());
  return ini.value(kAddressKey).toString();
}

void writeFormMailAddress(const QString& iniFile, const QString& address) {
  if (iniFile.isEmpty()) return;
  QSettings ini(iniFile, plainIniFormat());
  ini.setValue(kAddressKey, address);
  ini.sync();
}

namespace {

// One key per project file: its absolute path, percent-encoded, since QSettings would read the
// slashes of a path as groups.
QString surveyKeyName(const QString& projectFile) {
  return kSurveyGroup +
         QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(projectFile).absoluteFilePath()));
}

}  // namespace

QString readSurveyKey(const QString& iniFile, const QString& projectFile) {
  if (iniFile.isEmpty() || projectFile.isEmpty()) return QString();
  const QSettings ini(iniFile, plainIniFormat());
  return ini.value(surveyKeyName(projectFile)).toString();
}

void writeSurveyKey(const QString& iniFile, const QString& projectFile, const QString& key) {
  if (iniFile.isEmpty() || projectFile.isEmpty()) return;
  QSettings ini(iniFile, plainIniFormat());
  if (key.isEmpty()) {
    ini.remove(surveyKeyName(projectFile));
  } else {
    ini.setValue(surveyKeyName(projectFile), key);
  }
}

ToolSigning readSigning(const QString& iniFile) {
  if (iniFile.isEmpty()) return {};
  const QSettings ini(iniFile, plainIniFormat());
  return {ini.value(kSignKey).toString() == QStringLiteral("1"),
          ini.value(kCertificateKey).toString(), ini.value(kTimestampKey).toString()};
}

void writeSigning(const QString& iniFile, const ToolSigning& signing) {
  if (iniFile.isEmpty()) return;
  QSettings ini(iniFile, plainIniFormat());
  ini.setValue(kSignKey, signing.enabled ? QStringLiteral("1") : QStringLiteral("0"));
  ini.setValue(kCertificateKey, signing.certificate);
  ini.setValue(kTimestampKey, signing.timestampUrl);
  ini.sync();
}

const char* prototypeFileOf(BuildTarget target) {
  return target == BuildTarget::Linux ? kLinuxPrototypeFileName : kPrototypeFileName;
}

QString defaultOutputFileName(BuildTarget target) {
  return target == BuildTarget::Linux ? QStringLiteral("ziel") : QStringLiteral("ziel.exe");
}

QString outputNameForTarget(const QString& text, BuildTarget target) {
  const bool quoted = text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"');
  QString name = quoted ? text.mid(1, text.size() - 2) : text;
  if (name.isEmpty()) return text;
  const bool hasSuffix = name.endsWith(kExeSuffix, Qt::CaseInsensitive);
  if (target == BuildTarget::Windows && !hasSuffix) name += kExeSuffix;
  if (target == BuildTarget::Linux && hasSuffix) name.chop(kExeSuffix.size());
  return quoted ? u'"' + name + u'"' : name;
}

}  // namespace vantrel
