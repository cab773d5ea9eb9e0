#pragma once
// A name the window shows or a dialog chose, as the bytes the file system takes.

#include <QFile>
#include <QString>
#include <string>

namespace vantrel {

inline std::string pathOf(const QString& name) { return QFile::encodeName(name).toStdString(); }

}  // namespace vantrel
