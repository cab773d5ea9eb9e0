#pragma once
// A test's temporary folder as Qt names files.

#include <QFile>
#include <QString>

#include "tests/support/TempFolder.h"

namespace vantrel::test {

// The folder itself, or `name` inside it.
inline QString pathIn(const TempFolder& folder, const QString& name = QString()) {
  const QString root = QFile::decodeName(folder.path().c_str());
  return name.isEmpty() ? root : root + u'/' + name;
}

}  // namespace vantrel::test
