#pragma once
// TMainForm: the tool's one main window with its tool bar, three tabs, bottom bar and
// status bar. Its controls are the state; handlers read them when they need a value.

#include <QEvent>
#include <QMainWindow>
#include <QRect>

#include "icon/IconBitmap.h"
#include "gui/Maker.h"
#include "project/ProjectFile.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class QToolButton;
class QTreeView;
class QWebEngineView;
class QWidget;

namespace vantrel {

class FieldListModel;
class SpinEdit;
class TBitBtnXP;
class TEditFieldsForm;
class TImageBtn;
class ProgressPanel;

// The progress report an outside sender posts to the main window; wParam is the percentage.
class ProgressEvent : public QEvent {
 public:
  static const QEvent::Type kType;
  explicit ProgressEvent(int wParam) : QEvent(kType), wParam(wParam) {}
  const int wParam;
};

// The folder of a program file, ending in "/".
QString programFolderOf(const QString& programFile);

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // programFile is the running program's path; ProgramFolder is derived from it. The INI
  // file keeps the window's placement; an empty name keeps nothing.
  TMainForm(const QString& programFile, const QString& iniFile, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The field editor is created after the main window and lives as long as the program.
  void setFieldEditor(TEditFieldsForm* editor) { EditFieldsForm = editor; }
  TEditFieldsForm* fieldEditor() const { return EditFieldsForm; }

  const QString& programFolder() const { return ProgramFolder; }
  const QString& savedFileName() const { return SavedFileName; }
  FieldListModel* fieldList() const { return fieldModel_; }
  const IconBitmap& iconBitmap() const { return IconBitmap_; }
  std::uint32_t iconPos() const { return IconPos; }
  int progressPercent() const { return ProgressPercent; }
  QRect progressRect() const { return ProgressRect; }
  // The row selected in ListView1, or -1.
  int selectedRow() const;
  void selectRow(int row);

  // Tool bar
  QToolButton* NewBtn = nullptr;
  QToolButton* OpenBtn = nullptr;
  QToolButton* SaveBtn = nullptr;
  QToolButton* SaveAsBtn = nullptr;
  QTabWidget* PageControl2 = nullptr;
  // Tab "Formularfelder"
  QWidget* TabSheet3 = nullptr;
  TBitBtnXP* NewFieldBtn = nullptr;
  TBitBtnXP* EditFieldBtn = nullptr;
  TBitBtnXP* DelFieldBtn = nullptr;
  QLineEdit* emailEd = nullptr;
  QTreeView* ListView1 = nullptr;
  QToolButton* UpBtn = nullptr;
  QToolButton* DownBtn = nullptr;
  // Tab "Vorschau"
  QWidget* TabSheet5 = nullptr;
  TBitBtnXP* BackButton = nullptr;
  TBitBtnXP* FwdButton = nullptr;
  TBitBtnXP* HomeBtn = nullptr;
  TBitBtnXP* ReloadButton = nullptr;
  QWidget* BrowserArea = nullptr;
  // Made on first use: the browser shows nothing before the preview is first asked for.
  QWebEngineView* WebBrowser1 = nullptr;
  // Tab "EXE erstellen"
  QWidget* TabSheet6 = nullptr;
  QLineEdit* EXENameEdit = nullptr;
  QToolButton* EXENameBrowseBtn = nullptr;
  TImageBtn* GoBtn1 = nullptr;
  QCheckBox* AutoStartCheck = nullptr;
  class PaintBox* PaintBox1 = nullptr;
  TBitBtnXP* OpenIconBtn = nullptr;
  TBitBtnXP* StdIconBtn = nullptr;
  QRadioButton* DefSizeCheck = nullptr;
  QRadioButton* FullScreenCheck = nullptr;
  SpinEdit* WidthEd = nullptr;
  SpinEdit* HeightEd = nullptr;
  QCheckBox* FixedSizeCheck = nullptr;
  QCheckBox* CheckBox[10] = {};  // CheckBox1 .. CheckBox10
  QLineEdit* NameED = nullptr;
  // Bottom bar and status bar
  QToolButton* wwwBtn = nullptr;
  TImageBtn* ueberbtn = nullptr;
  TImageBtn* endebtn = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  ProgressPanel* progressPanel = nullptr;

 public slots:
  void FormCreate();
  void FormDestroy();
  void EndeBtnClick();
  void ueberbtnClick();

  // Building the standalone program and its icon.
  void GoBtn1Click();
  void OpenIconBtnClick();
  void StdIconBtnClick();
  void wwwBtnClick();
  void EXENameBrowseClick();
  void Setsavedfilename(const QString& name);

  // Writes "formular.htm" into ProgramFolder; false (after telling the user) when it could
  // not be written.
  bool RenderBtnClick();
  void PageControl2Change(int index);
  void LoadBtnClick();
  void BackBtnClick();
  void FwdBtnClick();
  void ReloadButtonClick();

  void NewBtnClick();
  void OpenBtnClick();
  void SaveBtnClick();
  void SaveAsBtnClick();
  // Both report their own failures; an input/output error goes to the general error handler.
  bool SaveFile(const QString& name);
  bool OpenFile(const QString& name);

  void NewFieldBtnClick();
  void EditFieldBtnClick();
  void ListView1DblClick();
  void DelFieldBtnClick();
  void UpBtnClick();
  void DownBtnClick();

  void SetProStatus(int value);
  void WMUser(int wParam);

 public:
  // The project as the controls hold it, and back.
  Project projectFromControls() const;
  ProjectSettings settingsFromControls() const;
  void settingsToControls(const ProjectSettings& settings);

  // Paints the progress bar into the panel's rectangle and remembers the rectangle.
  void StatusBar1DrawPanel(class QPainter& canvas, const QRect& rect);
  void PaintBox1Paint(class QPainter& canvas);
  void SBarPaintMore(class QPainter& canvas);

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool FormCloseQuery();
  QWebEngineView* browser();
  void loadIconAtStartUp();
  std::string iconFilePath() const;
  void SBarRepaintAll();
  void moveSelectedRow(bool up);
  void saveWindowState();
  void restoreWindowState();

  QWidget* buildToolBar();
  QWidget* buildFieldsTab();
  QWidget* buildPreviewTab();
  QWidget* buildExeTab();
  QWidget* buildBottomBar();
  void buildStatusBar();

  TEditFieldsForm* EditFieldsForm = nullptr;
  FieldListModel* fieldModel_ = nullptr;

  const QString programFile_;
  const QString iniFile_;
  QString ProgramFolder;
  QString SavedFileName;
  QString openDialogFolder_;
  QString saveDialogFolder_;
  QString openDialogName_;  // the name last chosen in each dialog
  QString saveDialogName_;
  IconBitmap IconBitmap_;
  std::uint32_t IconPos = 0;  // where the prototype keeps its icon pixels; 0 until found
  int ProgressPercent = 0;
  QRect ProgressRect;
  bool destroyed_ = false;
};

}  // namespace vantrel
