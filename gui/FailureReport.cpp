#include "gui/FailureReport.h"

#include "base/UserMessages.h"
#include "gui/MessageBox.h"

namespace vantrel {

void showFailure(const QString& text, FailureReporter reporter) {
  const QString title =
      reporter == FailureReporter::Command ? QStringLiteral("Fehler") : kApplicationTitle;
  messageBox(text, title, MB_OK | MB_ICONERROR);
}

// The core writes its reasons in English and UTF-8; the user reads them in German.
void showFailure(const std::exception& error, FailureReporter reporter) {
  showFailure(QString::fromStdString(germanMessage(error)), reporter);
}

}  // namespace vantrel
