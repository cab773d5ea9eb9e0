#include "gui/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

namespace vantrel {
namespace {

constexpr int kPreviewSize = 160;

// A box beside the file list that shows the picture under the cursor.
void addPicturePreview(QFileDialog& dialog, const FileDialogRequest& request) {
  auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
  if (!grid || !request.previewLoader) return;
  auto* preview = new QLabel(&dialog);
  preview->setObjectName(QStringLiteral("PicturePreview"));
  preview->setFixedSize(kPreviewSize, kPreviewSize);
  preview->setAlignment(Qt::AlignCenter);
  preview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  grid->addWidget(preview, 1, grid->columnCount(), grid->rowCount() - 1, 1);
  const auto loader = request.previewLoader;
  QObject::connect(
      &dialog, &QFileDialog::currentChanged, preview, [preview, loader](const QString& path) {
        QImage image;
        try {
          image = loader(path);
        } catch (const std::exception&) {
          image = QImage();  // a picture that cannot be read simply shows no preview
        }
        preview->setPixmap(image.isNull() ? QPixmap()
                                          : QPixmap::fromImage(image.scaled(
                                                kPreviewSize - 8, kPreviewSize - 8,
                                                Qt::KeepAspectRatio, Qt::SmoothTransformation)));
      });
}

std::optional<QString> showRealFileDialog(const FileDialogRequest& request) {
  QFileDialog dialog(request.parent, request.title, request.folder, request.filter);
  // Qt's own dialog: the same on every desktop, German through Qt's translations, and
  // drivable by tests.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  const bool save = request.kind == FileDialogRequest::Kind::Save;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (request.kind == FileDialogRequest::Kind::Folder) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
  }
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
  if (request.picturePreview) addPicturePreview(dialog, request);
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
