// The tab "EXE erstellen": the icon of the program to build, its output file and the build.

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QTabWidget>
#include <optional>

#include "app/FieldListModel.h"
#include "app/FormMailDialog.h"
#include "app/LocalPath.h"
#include "app/MainFormUi.h"
#include "app/SigningPassword.h"
#include "base/ByteFile.h"
#include "base/FailureKinds.h"
#include "base/SupportFiles.h"
#include "base/UserMessages.h"
#include "builder/BuildProgram.h"
#include "gui/FailureReport.h"
#include "gui/FileDialogs.h"
#include "gui/MessageBox.h"
#include "gui/Shell.h"
#include "icon/BitmapFile.h"
#include "icon/IconPos.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"
#include "icon/loaders/PictureLoader.h"
#include "page/FormPage.h"
#include "page/PageFile.h"
#include "project/SurveyKey.h"
#include "widgets/PaintBox.h"
#include "widgets/TextEdge.h"

namespace vantrel {
namespace {

QString pictureFilter() {
  QStringList patterns;
  for (const auto& extension : pictureExtensions()) {
    patterns.append(QStringLiteral("*.") + QString::fromStdString(extension));
  }
  return QStringLiteral(
             "Alle Bilder (%1);;Bitmaps (*.bmp);;Symbole (*.ico);;"
             "Metadateien (*.wmf *.emf);;JPEG-Bilder (*.jpg *.jpeg);;"
             "GIF-Bilder (*.gif);;PNG-Bilder (*.png)")
      .arg(patterns.join(u' '));
}

QString iconWriteFailedMessage(const std::string& path) {
  return QStringLiteral("Die Datei %1 konnte nicht geschrieben werden!")
      .arg(QFile::decodeName(path.c_str()));
}

QImage imageOf(const Picture& picture) {
  QImage image(picture.rgba.data(), picture.width, picture.height, picture.width * 4,
               QImage::Format_RGBA8888);
  return image.copy();
}

// The loader's reason says what is wrong with "the picture"; the user is told which file it is.
std::optional<Picture> loadChosenPicture(const QString& path) {
  try {
    return loadPicture(pathOf(path));
  } catch (const std::exception& error) {
    showFailure(QString::fromStdString(germanMessageAbout(pathOf(path), failureOf(error))),
                FailureReporter::GeneralHandler);
    return std::nullopt;
  }
}

}  // namespace

// ---- The icon ----

// The icon of the last run, or the standard icon when "theicon.bmp" cannot be loaded. Start-up
// goes on whatever happens; a folder that cannot be written shows its failures later.
void TMainForm::loadIconAtStartUp() {
  try {
    IconBitmap_ = loadBitmapFile(iconFilePath());
    return;
  } catch (const std::exception&) {
  }
  try {
    IconBitmap_ = RenderIcon(standardIconPicture(), preparedDataFolder() / kIconFileName);
  } catch (const std::exception&) {
    IconBitmap_ = renderIconBitmap(standardIconPicture());
  }
}

std::string TMainForm::iconFilePath() const { return pathOf(DataFolder) + kIconFileName; }

std::filesystem::path TMainForm::preparedDataFolder() const {
  if (!makeFolder(DataFolder)) qWarning("cannot make the data folder %s", qPrintable(DataFolder));
  return pathOf(DataFolder);
}

// A picture that cannot be read raises the loader's error for the general error handler; a
// file that cannot be written is the command's own failure, told in German with its name.
void TMainForm::useIconPicture(const Picture& picture) {
  try {
    IconBitmap_ = RenderIcon(picture, preparedDataFolder() / kIconFileName);
  } catch (const CannotCreateFile&) {
    showFailure(iconWriteFailedMessage(iconFilePath()), FailureReporter::Command);
    return;
  } catch (const InOutError&) {
    showFailure(iconWriteFailedMessage(iconFilePath()), FailureReporter::Command);
    return;
  }
  ui_->PaintBox1->update();
}

void TMainForm::StdIconBtnClick() { useIconPicture(standardIconPicture()); }

// A picture that cannot be loaded is reported with its file name; the icon stays as it was.
void TMainForm::OpenIconBtnClick() {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Open;
  request.parent = this;
  request.title = QStringLiteral("Icon laden");
  request.folder = folders_.documents;
  request.filter = pictureFilter();
  request.picturePreview = true;
  request.previewLoader = [](const QString& path) {
    return QFileInfo(path).isFile() ? imageOf(loadPicture(pathOf(path))) : QImage();
  };
  const auto chosen = chooseFile(request);
  if (!chosen) return;
  const std::optional<Picture> picture = loadChosenPicture(*chosen);
  if (picture) useIconPicture(*picture);
}

// One screen pixel per icon pixel, at the box's top-left corner.
void TMainForm::PaintBox1Paint(QPainter& canvas) {
  QImage image(IconBitmap_.width, IconBitmap_.height, QImage::Format_RGB32);
  for (int y = 0; y < IconBitmap_.height; ++y) {
    for (int x = 0; x < IconBitmap_.width; ++x) {
      const Rgb colour = IconBitmap_.colourAt(x, y);
      image.setPixel(x, y, qRgb(colour.red, colour.green, colour.blue));
    }
  }
  canvas.drawImage(0, 0, image);
}

// ---- The output file ----

void TMainForm::EXENameBrowseClick() {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Save;
  request.parent = this;
  request.folder = QFileInfo(ui_->EXENameEdit->text()).absolutePath();
  request.fileName = ui_->EXENameEdit->text();
  if (buildTarget() == BuildTarget::Windows) {
    request.filter = QStringLiteral("EXE-Dateien (*.exe)");
    request.defaultSuffix = QStringLiteral("exe");
  } else {
    request.filter = QStringLiteral("Alle Dateien (*)");
  }
  // Choosing a name writes nothing; the build asks before it replaces the file.
  request.confirmOverwrite = false;
  if (const auto chosen = chooseFile(request)) ui_->EXENameEdit->setText(*chosen);
}

// ---- The target system and the receiver's address ----

BuildTarget TMainForm::buildTarget() const {
  return ui_->TargetLinux->isChecked() ? BuildTarget::Linux : BuildTarget::Windows;
}

void TMainForm::TargetChange() {
  const BuildTarget target = buildTarget();
  ui_->EXENameEdit->setText(outputNameForTarget(ui_->EXENameEdit->text(), target));
  writeBuildTarget(iniFile_, target);
}

void TMainForm::SettingsBtnClick() {
  FormMailDialog dialog(formMailAddress_, this, signing_);
  if (dialog.exec() != QDialog::Accepted) return;
  setFormMailAddress(dialog.address());
  setSigning(dialog.signing());
}

void TMainForm::setSigning(const ToolSigning& signing) {
  signing_ = signing;
  writeSigning(iniFile_, signing_);
}

void TMainForm::setFormMailAddress(const QString& address) {
  formMailAddress_ = address;
  writeFormMailAddress(iniFile_, formMailAddress_);
}

void TMainForm::SurveyProposeBtnClick() {
  ui_->SurveyEd->setText(fromModel(proposedSurveyKey(toModel(ui_->NameED->text()))));
  SurveyEdChange();
}

// An unsaved project keeps its key in the field until it is saved.
void TMainForm::SurveyEdChange() { writeSurveyKey(iniFile_, SavedFileName, ui_->SurveyEd->text()); }

// An address or key from an INI edited by hand is checked again before a page uses it.
std::optional<FormMailAddress> TMainForm::pageAction() const {
  const Result<FormMailAddress> action = FormMailAddress::parse(toModel(formMailAddress_));
  const Result<std::string> survey = surveyKeyFrom(toModel(ui_->SurveyEd->text()));
  if (!action || !survey) {
    const Failure& failure = !action ? action.failure() : survey.failure();
    messageBox(QString::fromStdString(germanMessage(failure)), QStringLiteral("Fehler"),
               MB_ICONERROR);
    return std::nullopt;
  }
  return action.value().withSurvey(survey.value());
}

// ---- Building the program ----

namespace {

// Texts of the build are Windows-1252 and flags keep their Windows values.
int showBuildMessage(const exe::BuildMessage& message) {
  return messageBox(fromModel(message.text), message.title ? fromModel(*message.title) : QString(),
                    static_cast<int>(message.flags));
}

bool isSigningFailure(const Failure& failure) {
  return failure.is(BuildFailure::SignerMissing) || failure.is(BuildFailure::SigningRefused) ||
         failure.is(BuildFailure::SigningFailed);
}

// A page that posts to the respondent's own computer sends its answers nowhere: the build asks
// first. An unusable address goes on to the build, which refuses it in its own words.
bool ownComputerReceiverAccepted(const std::string& typedAction) {
  const Result<FormMailAddress> action = FormMailAddress::parse(typedAction);
  if (!action || !action.value().postsToOwnComputer()) return true;
  const QString text = QString::fromStdString(ownComputerReceiverText(action.value())) +
                       QStringLiteral(
                           "\n\nDie Adresse Ihres Formular-Empfängers tragen Sie unter "
                           "\"Einstellungen...\" ein. Das Programm trotzdem erstellen?");
  return messageBox(text, QStringLiteral("Formular-Empfänger"), MB_YESNO | MB_ICONWARNING) == IDYES;
}

}  // namespace

void TMainForm::GoBtn1Click() {
  const BuildTarget target = buildTarget();
  // Each viewer keeps its icon at its own offset: never the other one's.
  std::uint32_t& iconPos = target == BuildTarget::Linux ? IconPosLinux : IconPos;
  exe::BuildJob job;
  job.fields = fieldModel_->fields();
  job.email = toModel(ui_->emailEd->text());
  job.action = toModel(formMailAddress_);
  // With a survey key the page posts to the address with the key; without one the build reads
  // the address as it always has.
  if (!ui_->SurveyEd->text().isEmpty()) {
    const std::optional<FormMailAddress> action = pageAction();
    if (!action) return;
    job.action = action->text();
  }

  // Without an e-mail address the build stops at once and says so; no question before that.
  if (!job.email.empty() && !ownComputerReceiverAccepted(job.action)) return;
  job.settings = settingsFromControls();
  job.outputText = pathOf(ui_->EXENameEdit->text());
  // The icon pattern lies with the prototype: both beside the tool, or both installed.
  job.prototype = supportFilePath(pathOf(ProgramFolder), prototypeFileOf(target));
  job.supportFolder = job.prototype.parent_path();
  job.pageFolder = preparedDataFolder();
  job.icon = IconBitmap_;
  job.iconPos = iconPos;
  // Only Windows programs carry a signature.
  if (signing_.enabled && target == BuildTarget::Windows && !job.email.empty()) {
    const std::optional<QString> password = signingPassword(signing_.certificate, this);
    if (!password) return;
    job.signing =
        exe::SigningJob{{pathOf(signing_.certificate), signing_.timestampUrl.toStdString()},
                        password->toStdString(),
                        {}};
  }

  exe::BuildCallbacks callbacks;
  callbacks.show = showBuildMessage;
  callbacks.onEmailMissing = [this] {
    ui_->PageControl2->setCurrentIndex(0);
    ui_->emailEd->setFocus();
  };
  callbacks.onPageWritten = [](const Status& page) {
    if (!page) showFailure(fromModel(kPageWriteFailedMessage), FailureReporter::Command);
  };
  const exe::ProgramBuild build = exe::buildProgram(job, callbacks);
  iconPos = build.iconPos;
  // A failed build leaves the user's old file (or nothing): it is neither changed nor started.
  if (!build.built()) {
    if (isSigningFailure(build.failure)) {
      if (build.failure.is(BuildFailure::SigningRefused))
        forgetSigningPassword(signing_.certificate);
      showFailure(QString::fromStdString(germanMessage(build.failure)), FailureReporter::Command);
    }
    return;
  }
  // The program runs with the viewer's own icon then; the window has never said so, the
  // log does.
  if (!build.icon) qWarning("%s (%s)", build.icon.reason().c_str(), build.output.c_str());
  if (ui_->AutoStartCheck->isChecked()) shellStart(QFile::decodeName(build.output.c_str()));
}

}  // namespace vantrel
