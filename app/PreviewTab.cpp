// The tab "Vorschau": the form page written into the user's data folder and shown in the browser.

#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/FieldListModel.h"
#include "app/LocalPath.h"
#include "app/MainFormUi.h"
#include "base/FailureKinds.h"
#include "base/SupportFiles.h"
#include "base/UserMessages.h"
#include "gui/FailureReport.h"
#include "gui/TabChain.h"
#include "page/FormPage.h"
#include "page/PageFile.h"
#include "widgets/ButtonsXP.h"
#include "widgets/TextEdge.h"
#include "widgets/browser/FormPageView.h"

namespace vantrel {

bool TMainForm::RenderBtnClick() {
  const std::optional<FormMailAddress> action = pageAction();
  if (!action) return false;
  const Status result = writeFormPage(preparedDataFolder(), fieldModel_->fields(),
                                      toModel(ui_->emailEd->text()), *action);
  if (!result) showFailure(fromModel(kPageWriteFailedMessage), FailureReporter::Command);
  return result.ok();
}

void TMainForm::showPluginFailure(const std::filesystem::path& plugin, const QString& error) {
  const Failure failure =
      vantrel::failure(FileFailure::CannotOpen, plugin.string(), error.toStdString());
  showFailure(QString::fromStdString(germanMessage(failure)), FailureReporter::Command);
}

// The engine is loaded here and not at the start: it and the OpenGL it renders through cost more
// time and memory than the whole window, and only this tab needs them.
browser::FormPageView* TMainForm::browser() {
  if (!ui_->WebBrowser1) {
    const std::filesystem::path plugin =
        supportFilePath(runningProgramFolder(), browser::kFormPageViewPluginFile);
    const browser::LoadedFormPageView loaded = browser::makeFormPageView(plugin, ui_->BrowserArea);
    if (!loaded.view) {
      showPluginFailure(plugin, loaded.error);
      return nullptr;
    }
    ui_->WebBrowser1 = loaded.view;
    ui_->WebBrowser1->widget()->setObjectName(QStringLiteral("WebBrowser1"));
    ui_->BrowserArea->layout()->addWidget(ui_->WebBrowser1->widget());
    keepInTabChain(ui_->WebBrowser1->widget(), ui_->ReloadButton, ui_->TargetWindows);
  }
  return ui_->WebBrowser1;
}

void TMainForm::PageControl2Change(int index) {
  if (index == 1) LoadBtnClick();
}

// The page is written anew each time and only then shown: an old page is never passed off
// as the current one.
void TMainForm::LoadBtnClick() {
  if (!RenderBtnClick()) return;
  if (browser::FormPageView* view = browser()) {
    view->loadPage(QUrl::fromLocalFile(DataFolder + fromModel(kFormPageFileName)));
  }
}

// The browser keeps its own history; with nothing to go to these do nothing.
void TMainForm::BackBtnClick() {
  if (ui_->WebBrowser1) ui_->WebBrowser1->goBack();
}

void TMainForm::FwdBtnClick() {
  if (ui_->WebBrowser1) ui_->WebBrowser1->goForward();
}

void TMainForm::ReloadButtonClick() {
  if (ui_->WebBrowser1) ui_->WebBrowser1->reloadPage();
}

}  // namespace vantrel
