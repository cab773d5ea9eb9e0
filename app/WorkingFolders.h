#pragma once
// The folders the tool works with. The support files it reads lie beside the program or in
// the installed private folder (base/SupportFiles.h); the files it writes ("formular.htm",
// "theicon.bmp") live in the user's own data folder, so that an installed tool works for
// every user and no two users share a page or an icon.

#include <QString>

namespace vantrel {

// Every folder ends in "/".
struct WorkingFolders {
  QString program;    // the running program's folder
  QString data;       // "formular.htm" and "theicon.bmp"; created when first written
  QString documents;  // where the file dialogs and the default output "ziel.exe" start
};

// For the running program file: the user's data folder (QStandardPaths::AppDataLocation), and
// for the dialogs the program folder when it is a build tree or a copy of the tool with its
// support files beside it that the user may write into, else the user's documents folder,
// else the home folder.
[[nodiscard]] WorkingFolders workingFoldersFor(const QString& programFile);

// Everything in one folder, as a copy of the tool that keeps its files beside itself.
[[nodiscard]] WorkingFolders workingFoldersIn(const QString& folder);

// Creates the folder (and its parents) when it is missing; false when it cannot be made.
[[nodiscard]] bool makeFolder(const QString& folder);

}  // namespace vantrel
