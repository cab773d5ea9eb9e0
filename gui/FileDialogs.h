#pragma once
// Open and save dialogs, and the choice of a folder, go through chooseFile(), which tests
// replace.

#include <QImage>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace vantrel {

struct FileDialogRequest {
  enum class Kind { Open, Save, Folder };
  Kind kind = Kind::Open;
  QWidget* parent = nullptr;
  QString title;
  QString folder;         // where the dialog opens
  QString fileName;       // name preset in the dialog
  QString filter;         // Qt form, e.g. "Vantrel Formulare (*.vtq)"
  QString defaultSuffix;  // added when the user types a name without one
  bool confirmOverwrite = true;
  bool picturePreview = false;
  // Makes the preview of the file under the cursor; a null image shows nothing.
  std::function<QImage(const QString& path)> previewLoader;
};

using FileDialogHandler = std::function<std::optional<QString>(const FileDialogRequest&)>;

// The chosen path, or nothing when the user cancelled.
std::optional<QString> chooseFile(const FileDialogRequest& request);

FileDialogHandler setFileDialogHandler(FileDialogHandler handler);

}  // namespace vantrel
