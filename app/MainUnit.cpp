// The main window's construction, its wiring and the events of the window as a whole.

#include "app/MainUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>

#include "app/FieldListModel.h"
#include "app/MainFormUi.h"
#include "app/WindowPlacement.h"
#include "gui/AboutBoxUnit.h"
#include "gui/FailureReport.h"
#include "gui/Maker.h"
#include "gui/MessageBox.h"
#include "gui/Shell.h"
#include "icon/IconBitmap.h"
#include "widgets/ButtonsXP.h"
#include "widgets/ImageBtnUnit.h"
#include "widgets/Pictures.h"

namespace vantrel {
namespace {

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
  connectHandler(ui_->PageControl2, &QTabWidget::currentChanged, this,
                 &TMainForm::PageControl2Change);

  connectHandler(ui_->NewFieldBtn, &QPushButton::clicked, this, &TMainForm::NewFieldBtnClick);
  connectHandler(ui_->EditFieldBtn, &QPushButton::clicked, this, &TMainForm::EditFieldBtnClick);
  connectHandler(ui_->DelFieldBtn, &QPushButton::clicked, this, &TMainForm::DelFieldBtnClick);
  connectHandler(ui_->UpBtn, &QToolButton::clicked, this, &TMainForm::UpBtnClick);
  connectHandler(ui_->DownBtn, &QToolButton::clicked, this, &TMainForm::DownBtnClick);
  // A double click anywhere in the list edits the selected row (eventFilter).
  ui_->ListView1->viewport()->installEventFilter(this);

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
  connectHandler(ui_->ueberbtn, &TImageBtn::clicked, this, &TMainForm::ueberbtnClick);
  connectHandler(ui_->endebtn, &TImageBtn::clicked, this, &TMainForm::EndeBtnClick);
}

void TMainForm::FormCreate() {
  ProgramFolder = folders_.program;
  DataFolder = folders_.data;
  openDialogFolder_ = folders_.documents;
  saveDialogFolder_ = folders_.documents;
  Setsavedfilename(QString());
  ui_->EXENameEdit->setText(folders_.documents + QStringLiteral("ziel.exe"));
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
  if (name.isEmpty()) {
    setWindowTitle(kUntitledCaption);
  } else {
    setWindowTitle(
        QStringLiteral("Brixtel Vantrel Formulare 1.0 - [%1]").arg(QFileInfo(name).fileName()));
  }
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

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    runGuarded([this] { ListView1DblClick(); });
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::EndeBtnClick() { close(); }

// A new box every time, owned by the main window while it is shown.
void TMainForm::ueberbtnClick() {
  TAboutBox box(this);
  box.exec();
}

void TMainForm::wwwBtnClick() { shellOpen(kMakerWebAddress); }

void TMainForm::saveWindowState() {
  if (iniFile_.isEmpty()) return;
  writeWindowState(iniFile_, placementOf(*this), ui_->AutoStartCheck->isChecked());
}

void TMainForm::restoreWindowState() {
  if (!iniFile_.isEmpty()) {
    const StoredWindowState state = readWindowState(iniFile_);
    ui_->AutoStartCheck->setChecked(state.autoStart);
    if (state.placement) {
      applyPlacement(*this, *state.placement);
      return;
    }
  }
  // First start: centred on the screen.
  if (const QScreen* screen = this->screen()) {
    const QRect available = screen->availableGeometry();
    move(available.center() - QPoint(width() / 2, height() / 2));
  }
}

}  // namespace vantrel
