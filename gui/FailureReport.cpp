#include "gui/FailureReport.h"

#include "gui/MessageBox.h"

namespace vantrel {

void showFailure(const QString& text, FailureReporter reporter) {
  const QString title =
      reporter == FailureReporter::Command ? QStringLiteral("Fehler") : kApplicationTitle;
  messageBox(text, title, MB_OK | MB_ICONERROR);
}

// The core writes its messages in UTF-8.
void showFailure(const std::exception& error, FailureReporter reporter) {
  showFailure(QString::fromUtf8(error.what()), reporter);
}

}  // namespace vantrel
