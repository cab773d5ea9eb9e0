#include "controls/FileDialogs.h"

#include <QDir>
#include <QFileDialog>

namespace vantrel {
namespace {

std::optional<QString> showRealFileDialog(const FileDialogRequest& request) {
  QFileDialog dialog(request.parent, request.title, request.folder, request.filter);
  // Qt's own dialog: the same on every desktop, German through Qt's translations, and
  // drivable by tests.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  const bool save = request.kind == FileDialogRequest::Kind::Save;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return QDir::cleanPath(dialog.selectedFiles().front());
}

FileDialogHandler& currentHandler() {
  static FileDialogHandler handler;
  return handler;
}

}  // namespace

std::optional<QString> chooseFile(const FileDialogRequest& request) {
  const auto& handler = currentHandler();
  if (handler) return handler(request);
  return showRealFileDialog(request);
}

FileDialogHandler setFileDialogHandler(FileDialogHandler handler) {
  auto previous = std::move(currentHandler());
  currentHandler() = std::move(handler);
  return previous;
}

}  // namespace vantrel
