#pragma once
// What the tool keeps for the user beside the window's placement, in the same INI file
// (section TMainForm): the target system of the programs it builds and the address of the
// user's own form-mail receiver. Neither is part of a project: a .vtq keeps its bytes.

#include <QString>

namespace vantrel {

enum class BuildTarget { Windows, Linux };

// Windows at the first start.
BuildTarget readBuildTarget(const QString& iniFile);
void writeBuildTarget(const QString& iniFile, BuildTarget target);

// Empty when never set: pages post to the build's default address then.
QString readFormMailAddress(const QString& iniFile);
void writeFormMailAddress(const QString& iniFile, const QString& address);

// The survey key of a project file, empty when it has none. Kept in the tool's INI file under
// the project's absolute path, never in the project file.
QString readSurveyKey(const QString& iniFile, const QString& projectFile);
void writeSurveyKey(const QString& iniFile, const QString& projectFile, const QString& key);

// "Programme signieren" with its certificate (a PKCS#12 file or a PKCS#11 URI) and time stamp
// server; the password is never kept here (see SigningPassword.h).
struct ToolSigning {
  bool enabled = false;
  QString certificate;
  QString timestampUrl;  // empty: no time stamp
  bool operator==(const ToolSigning&) const = default;
};
ToolSigning readSigning(const QString& iniFile);
void writeSigning(const QString& iniFile, const ToolSigning& signing);

// The prototype beside the tool: "ProtoExe.dat" or "ProtoLinux.dat".
const char* prototypeFileOf(BuildTarget target);

// "ziel.exe" for Windows, "ziel" for Linux.
QString defaultOutputFileName(BuildTarget target);

// The output name as typed, made fit for the target: ".exe" added for Windows where it is
// missing, taken off for Linux where it is there; a name in double quotes stays quoted.
QString outputNameForTarget(const QString& text, BuildTarget target);

}  // namespace vantrel
