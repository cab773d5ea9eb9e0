// The main window's construction, its wiring and the events of the window as a whole.

#include "app/MainUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>
#include <utility>

#include "app/AnswersWindow.h"
#include "app/FieldListModel.h"
#include "app/FieldListView.h"
#include "app/FormMailDialog.h"
#include "app/MainFormUi.h"
#include "app/WindowPlacement.h"
#include "base/SupportFiles.h"
#include "gui/AboutBoxUnit.h"
#include "gui/CentredOnScreen.h"
#include "gui/FailureReport.h"
#include "gui/Maker.h"
#include "gui/MessageBox.h"
#include "gui/Shell.h"
#include "icon/IconBitmap.h"
#include "project/SurveyKey.h"
#include "widgets/ButtonsXP.h"
#include "widgets/ImageBtnUnit.h"
#include "widgets/Pictures.h"
#include "widgets/TextEdge.h"

namespace vantrel {
namespace {

// The window's size at the first start, frame included.
const QSize kOuterSize(638, 512);

bool changesPlacement(QEvent::Type type) {
  return type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize ||
         type == QEvent::WindowStateChange;
}

const QString kUntitledCaption = QStringLiteral("Brixtel Vantrel Formulare 1.0 - [Unbenannt.vtq]");
const QString kCloseQuestion = QStringLiteral(
    "Hiermit beenden Sie das Programm! Alle nicht gespeicherten Daten gehen verloren!");

}  // namespace

QString programFolderOf(const QString& programFile) {
  const qsizetype slash = programFile.lastIndexOf(u'/');
  QString folder = slash >= 0 ? programFile.left(slash + 1) : QString();
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder;
}

TMainForm::TMainForm(const WorkingFolders& folders, const QString& iniFile, QWidget* parent)
    : QMainWindow(parent),
      fieldModel_(new FieldListModel(this)),
      ui_(std::make_unique<Ui>()),
      folders_(folders),
      iniFile_(iniFile) {
  ui_->setupUi(*this, *fieldModel_);
  setWindowIcon(programIcon());
  connectHandlers();
  connectKeys();
  FormCreate();
  restoreWindowState();
}

TMainForm::~TMainForm() { FormDestroy(); }

// Every handler runs guarded: what it throws is shown and goes no further.
void TMainForm::connectHandlers() {
  connectHandler(ui_->NewBtn, &QToolButton::clicked, this, &TMainForm::NewBtnClick);
  connectHandler(ui_->OpenBtn, &QToolButton::clicked, this, &TMainForm::OpenBtnClick);
  connectHandler(ui_->SaveBtn, &QToolButton::clicked, this, &TMainForm::SaveBtnClick);
  connectHandler(ui_->SaveAsBtn, &QToolButton::clicked, this, &TMainForm::SaveAsBtnClick);
  connectHandler(ui_->SettingsBtn, &QToolButton::clicked, this, &TMainForm::SettingsBtnClick);
  connectHandler(ui_->SurveyProposeBtn, &QToolButton::clicked, this,
                 &TMainForm::SurveyProposeBtnClick);
  connectHandler(ui_->SurveyEd, &QLineEdit::editingFinished, this, &TMainForm::SurveyEdChange);
  // The proposal shows in the empty field while the project name is typed.
  const auto showProposal = [this] {
    ui_->SurveyEd->setPlaceholderText(fromModel(proposedSurveyKey(toModel(ui_->NameED->text()))));
  };
  connect(ui_->NameED, &QLineEdit::textChanged, this, showProposal);
  showProposal();
  connectHandler(ui_->TargetLinux, &QRadioButton::toggled, this, &TMainForm::TargetChange);
  connectHandler(ui_->PageControl2, &QTabWidget::currentChanged, this,
                 &TMainForm::PageControl2Change);

  connectHandler(ui_->NewFieldBtn, &QPushButton::clicked, this, &TMainForm::NewFieldBtnClick);
  connectHandler(ui_->EditFieldBtn, &QPushButton::clicked, this, &TMainForm::EditFieldBtnClick);
  connectHandler(ui_->DelFieldBtn, &QPushButton::clicked, this, &TMainForm::DelFieldBtnClick);
  connectHandler(ui_->UpBtn, &QToolButton::clicked, this, &TMainForm::UpBtnClick);
  connectHandler(ui_->DownBtn, &QToolButton::clicked, this, &TMainForm::DownBtnClick);
  // A double click anywhere in the list edits the selected row.
  connectHandler(ui_->ListView1, &FieldListView::editRequested, this,
                 &TMainForm::ListView1DblClick);
  connectHandler(ui_->ListView1, &FieldListView::deleteRequested, this,
                 &TMainForm::DelFieldBtnClick);
  // The commands that need a selected row are offered only while there is one.
  const auto offerRowCommands = [this](bool rowSelected) {
    ui_->EditFieldBtn->setEnabled(rowSelected);
    ui_->DelFieldBtn->setEnabled(rowSelected);
  };
  connect(ui_->ListView1, &FieldListView::selectionPresenceChanged, this, offerRowCommands);
  offerRowCommands(false);

  connectHandler(ui_->BackButton, &QPushButton::clicked, this, &TMainForm::BackBtnClick);
  connectHandler(ui_->FwdButton, &QPushButton::clicked, this, &TMainForm::FwdBtnClick);
  connectHandler(ui_->HomeBtn, &QPushButton::clicked, this, &TMainForm::LoadBtnClick);
  connectHandler(ui_->ReloadButton, &QPushButton::clicked, this, &TMainForm::ReloadButtonClick);

  connectHandler(ui_->EXENameBrowseBtn, &QToolButton::clicked, this,
                 &TMainForm::EXENameBrowseClick);
  connectHandler(ui_->GoBtn1, &TImageBtn::clicked, this, &TMainForm::GoBtn1Click);
  connectHandler(ui_->OpenIconBtn, &QPushButton::clicked, this, &TMainForm::OpenIconBtnClick);
  connectHandler(ui_->StdIconBtn, &QPushButton::clicked, this, &TMainForm::StdIconBtnClick);

  connectHandler(ui_->wwwBtn, &QToolButton::clicked, this, &TMainForm::wwwBtnClick);
  connectHandler(ui_->AnswersBtn, &QPushButton::clicked, this, &TMainForm::AnswersBtnClick);
  connectHandler(ui_->ueberbtn, &TImageBtn::clicked, this, &TMainForm::ueberbtnClick);
  connectHandler(ui_->endebtn, &TImageBtn::clicked, this, &TMainForm::EndeBtnClick);
}

// Keys besides the captions' own mnemonics. A shortcut moves no focus: a number typed in a
// spin edit is read as typed, as with a click on the tool bar.
void TMainForm::connectKeys() {
  const auto pressOn = [](const QKeySequence& keys, QAbstractButton* button, QWidget* scope) {
    auto* shortcut = new QShortcut(keys, scope);
    connect(shortcut, &QShortcut::activated, button, &QAbstractButton::click);
  };
  pressOn(QKeySequence(Qt::CTRL | Qt::Key_N), ui_->NewBtn, this);
  pressOn(QKeySequence(Qt::CTRL | Qt::Key_O), ui_->OpenBtn, this);
  pressOn(QKeySequence(Qt::CTRL | Qt::Key_S), ui_->SaveBtn, this);
  pressOn(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), ui_->SaveAsBtn, this);
  // F5 is "Neu laden", while the preview is shown.
  pressOn(QKeySequence(Qt::Key_F5), ui_->ReloadButton, ui_->ReloadButton);
}

void TMainForm::FormCreate() {
  ProgramFolder = folders_.program;
  DataFolder = folders_.data;
  openDialogFolder_ = folders_.documents;
  saveDialogFolder_ = folders_.documents;
  Setsavedfilename(QString());
  // The target of the last run decides the default name; the INI is read here, before the
  // window is placed, so the name never shows the other target's form.
  const BuildTarget target = readBuildTarget(iniFile_);
  (target == BuildTarget::Linux ? ui_->TargetLinux : ui_->TargetWindows)->setChecked(true);
  formMailAddress_ = readFormMailAddress(iniFile_);
  signing_ = readSigning(iniFile_);
  ui_->EXENameEdit->setText(folders_.documents + defaultOutputFileName(target));
  IconBitmap_ = createIconBitmap();
  loadIconAtStartUp();
}

void TMainForm::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  IconBitmap_ = IconBitmap();
}

void TMainForm::Setsavedfilename(const QString& name) {
  SavedFileName = name;
  // Each project file has its own key, and a new project none.
  ui_->SurveyEd->setText(readSurveyKey(iniFile_, name));
  if (name.isEmpty()) {
    setWindowTitle(kUntitledCaption);
  } else {
    setWindowTitle(
        QStringLiteral("Brixtel Vantrel Formulare 1.0 - [%1]").arg(QFileInfo(name).fileName()));
  }
}

bool TMainForm::event(QEvent* event) {
  if (event->type() == ProgressEvent::kType) {
    WMUser(static_cast<ProgressEvent*>(event)->wParam);
    return true;
  }
  const bool handled = QMainWindow::event(event);
  if (changesPlacement(event->type())) fitToWantedOuter();
  return handled;
}

bool TMainForm::FormCloseQuery() {
  return messageBox(kCloseQuestion, QStringLiteral("Programm beenden"),
                    MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  saveWindowState();
  event->accept();
}

// Escape presses "Feld löschen" while the first tab is shown.
void TMainForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (ui_->PageControl2->currentWidget() == ui_->TabSheet3) ui_->DelFieldBtn->click();
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void TMainForm::EndeBtnClick() { close(); }

// A new box every time, owned by the main window while it is shown.
void TMainForm::ueberbtnClick() {
  TAboutBox box(this);
  box.exec();
}

void TMainForm::wwwBtnClick() { shellOpen(kMakerWebAddress); }

// The window reads the field list whenever it tabulates, so a project opened later names the
// answers read after it.
void TMainForm::AnswersBtnClick() {
  if (!AnswersForm) {
    const std::filesystem::path plugin =
        supportFilePath(runningProgramFolder(), kAnswersWindowPluginFile);
    const LoadedAnswersWindow loaded =
        makeAnswersWindow(plugin, {[this] { return fieldModel_->fields(); }, iniFile_, this});
    if (!loaded.window) {
      showPluginFailure(plugin, loaded.error);
      return;
    }
    AnswersForm = loaded.window;
    // It opens over the main window; later where the user left it.
    centreOver(*AnswersForm, *this);
  }
  AnswersForm->show();
  AnswersForm->raise();
  AnswersForm->activateWindow();
}

void TMainForm::saveWindowState() {
  if (iniFile_.isEmpty()) return;
  writeWindowState(iniFile_, placementOf(*this, normalOuterGeometry()),
                   ui_->AutoStartCheck->isChecked());
}

// At the first start centred on the screen; later at the remembered place and size. Either
// way wholly on a screen that exists now.
void TMainForm::restoreWindowState() {
  QRect outer = centredIn(kOuterSize, screenFreeAreas().value(0, QRect(QPoint(0, 0), kOuterSize)));
  bool maximized = false;
  if (!iniFile_.isEmpty()) {
    const StoredWindowState state = readWindowState(iniFile_);
    ui_->AutoStartCheck->setChecked(state.autoStart);
    const QRect stored = state.placement ? normalOuterRect(*state.placement) : QRect();
    if (stored.width() >= 100 && stored.height() >= 100) {
      outer = stored;
      maximized = state.placement->showCmd == kShowMaximized;
    }
  }
  placeOuter(keptOnScreen(outer, screenFreeAreas()));
  if (maximized) setWindowState(Qt::WindowMaximized);
}

void TMainForm::placeOuter(const QRect& outer) {
  wantedOuter_ = outer;
  // Until the frame is known the window's own rectangle stands in for the outer one.
  resize(outer.size());
  move(outer.topLeft());
  fitToWantedOuter();
}

void TMainForm::fitToWantedOuter() {
  if (windowState() != Qt::WindowNoState || !windowHandle()) return;
  const QMargins frame = windowHandle()->frameMargins();
  if (frame.isNull()) return;
  normalFrame_ = frame;
  if (wantedOuter_.isNull()) return;
  const QRect outer = std::exchange(wantedOuter_, QRect());
  resize(outer.size().shrunkBy(frame));
  move(outer.topLeft());  // a window's position is that of its frame
}

// Without a frame yet (or on a platform without frames) the window's own rectangle is the
// outer one.
QRect TMainForm::normalOuterGeometry() const { return normalGeometry().marginsAdded(normalFrame_); }

}  // namespace vantrel
