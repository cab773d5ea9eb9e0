#include "app/WorkingFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/MainUnit.h"
#include "icon/IconPos.h"

namespace vantrel {
namespace {

QString withSlash(QString folder) {
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder;
}

// The documents folder may not exist on a system without XDG user folders; home always does.
QString usersDocumentsFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return withSlash(documents);
  return withSlash(QDir::homePath());
}

// A build tree or a copy of the tool with its support files beside it is the user's own
// folder; an installed tool reads them from its private folder and its folder is the system's
// (even for an administrator who could write there).
bool isCopyBesideItsSupportFiles(const QString& programFolder) {
  const QFileInfo prototype(programFolder + QString::fromLatin1(kPrototypeFileName));
  return prototype.isFile() && QFileInfo(programFolder).isWritable();
}

}  // namespace

WorkingFolders workingFoldersFor(const QString& programFile) {
  WorkingFolders folders;
  folders.program = programFolderOf(programFile);
  folders.data = withSlash(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
  folders.documents =
      isCopyBesideItsSupportFiles(folders.program) ? folders.program : usersDocumentsFolder();
  return folders;
}

WorkingFolders workingFoldersIn(const QString& folder) {
  const QString inFolder = withSlash(folder);
  return WorkingFolders{inFolder, inFolder, inFolder};
}

bool makeFolder(const QString& folder) { return QDir().mkpath(folder); }

}  // namespace vantrel
