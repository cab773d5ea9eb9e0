// Project commands of the tool bar: new, open, save and save as; the project as the controls
// hold it.

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>

#include "app/FieldListModel.h"
#include "app/LocalPath.h"
#include "app/MainFormUi.h"
#include "gui/FailureReport.h"
#include "gui/FileDialogs.h"
#include "gui/MessageBox.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextEdge.h"

namespace vantrel {
namespace {

const QString kDiscardQuestion =
    QStringLiteral("Hiermit gehen alle nicht gespeicherten Informationen verloren.");
const QString kProjectFilter = QStringLiteral("Vantrel Formulare (*.vtq)");
const QString kProjectSuffix = QStringLiteral("vtq");

}  // namespace

ProjectSettings TMainForm::settingsFromControls() const {
  ProjectSettings settings;
  for (int i = 0; i < kWindowElementCount; ++i) {
    settings.elements[static_cast<std::size_t>(i)] = ui_->CheckBox[i]->isChecked();
  }
  settings.width = ui_->WidthEd->value();
  settings.height = ui_->HeightEd->value();
  settings.definedSize = ui_->DefSizeCheck->isChecked();
  settings.fixedSize = ui_->FixedSizeCheck->isChecked();
  settings.projectName = toModel(ui_->NameED->text());
  return settings;
}

void TMainForm::settingsToControls(const ProjectSettings& settings) {
  for (int i = 0; i < kWindowElementCount; ++i) {
    ui_->CheckBox[i]->setChecked(settings.elements[static_cast<std::size_t>(i)]);
  }
  ui_->WidthEd->setValue(settings.width);
  ui_->HeightEd->setValue(settings.height);
  if (settings.definedSize) {
    ui_->DefSizeCheck->setChecked(true);
  } else {
    ui_->FullScreenCheck->setChecked(true);
  }
  ui_->FixedSizeCheck->setChecked(settings.fixedSize);
  ui_->NameED->setText(fromModel(settings.projectName));
}

Project TMainForm::projectFromControls() const {
  Project project;
  project.fields = fieldModel_->fields();
  project.email = toModel(ui_->emailEd->text());
  project.settings = settingsFromControls();
  return project;
}

void TMainForm::NewBtnClick() {
  if (messageBox(kDiscardQuestion, QStringLiteral("Datei/Neu"), MB_OKCANCEL | MB_ICONINFORMATION) !=
      IDOK) {
    return;
  }
  ui_->emailEd->clear();
  fieldModel_->setFields(FieldList());
  settingsToControls(newProjectSettings());
  Setsavedfilename(QString());
}

void TMainForm::OpenBtnClick() {
  if (messageBox(kDiscardQuestion, QStringLiteral("Datei/Öffnen"),
                 MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
    return;
  }
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Open;
  request.parent = this;
  request.folder = openDialogFolder_;
  request.fileName = openDialogName_;
  request.filter = kProjectFilter;
  request.defaultSuffix = kProjectSuffix;
  const auto chosen = chooseFile(request);
  if (!chosen) return;
  openDialogName_ = *chosen;
  OpenFile(*chosen);
}

bool TMainForm::openProjectAtStart(const QString& name) {
  const QString absolute = QFileInfo(name).absoluteFilePath();
  openDialogName_ = absolute;
  return OpenFile(absolute);
}

void TMainForm::SaveBtnClick() {
  if (SavedFileName.isEmpty()) {
    SaveAsBtnClick();
  } else {
    SaveFile(SavedFileName);
  }
}

void TMainForm::SaveAsBtnClick() {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Save;
  request.parent = this;
  request.folder = saveDialogFolder_;
  request.fileName = saveDialogName_;
  request.filter = kProjectFilter;
  request.defaultSuffix = kProjectSuffix;
  request.confirmOverwrite = true;
  const auto chosen = chooseFile(request);
  if (!chosen) return;
  saveDialogName_ = *chosen;
  SaveFile(*chosen);
}

// The file is written as a new file and renamed over the old one only when complete, so a
// failed save leaves the previous project as it was.
bool TMainForm::SaveFile(const QString& name) {
  try {
    saveProjectFile(pathOf(name), projectFromControls());
  } catch (const ProjectCreateError& error) {
    showFailure(error, FailureReporter::Command);
    return false;
  }
  writeSurveyKey(iniFile_, name, ui_->SurveyEd->text());
  Setsavedfilename(name);
  return true;
}

// The whole file is read before anything on screen changes: a damaged file leaves the
// window exactly as it was.
bool TMainForm::OpenFile(const QString& name) {
  Project project;
  try {
    project = readProjectFile(pathOf(name));
  } catch (const ProjectOpenError& error) {
    showFailure(error, FailureReporter::Command);
    return false;
  } catch (const NotAProjectFile& error) {
    showFailure(error, FailureReporter::Command);
    return false;
  }
  fieldModel_->setFields(std::move(project.fields));
  ui_->emailEd->setText(fromModel(project.email));
  if (project.settings) settingsToControls(*project.settings);
  Setsavedfilename(name);
  return true;
}

}  // namespace vantrel
