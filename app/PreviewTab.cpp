// The tab "Vorschau": the form page written into the user's data folder and shown in the browser.

#include <QLineEdit>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "app/FieldListModel.h"
#include "app/LocalPath.h"
#include "app/MainFormUi.h"
#include "gui/FailureReport.h"
#include "page/FormPage.h"
#include "page/PageFile.h"
#include "widgets/TextEdge.h"
#include "widgets/browser/BrowserEngine.h"

namespace vantrel {

bool TMainForm::RenderBtnClick() {
  const std::optional<FormMailAddress> action = pageAction();
  if (!action) return false;
  const Status result = writeFormPage(preparedDataFolder(), fieldModel_->fields(),
                                      toModel(ui_->emailEd->text()), *action);
  if (!result) showFailure(fromModel(kPageWriteFailedMessage), FailureReporter::Command);
  return result.ok();
}

QWebEngineView* TMainForm::browser() {
  if (!ui_->WebBrowser1) {
    ui_->WebBrowser1 = new QWebEngineView(ui_->BrowserArea);
    ui_->WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    browser::setUpForFormPages(ui_->WebBrowser1);
    ui_->BrowserArea->layout()->addWidget(ui_->WebBrowser1);
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
  browser()->load(QUrl::fromLocalFile(DataFolder + fromModel(kFormPageFileName)));
}

// The browser keeps its own history; with nothing to go to these do nothing.
void TMainForm::BackBtnClick() {
  if (ui_->WebBrowser1) ui_->WebBrowser1->back();
}

void TMainForm::FwdBtnClick() {
  if (ui_->WebBrowser1) ui_->WebBrowser1->forward();
}

void TMainForm::ReloadButtonClick() {
  if (ui_->WebBrowser1) ui_->WebBrowser1->reload();
}

}  // namespace vantrel
