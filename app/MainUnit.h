#pragma once
// TMainForm: the tool's one main window with its tool bar, three tabs, bottom bar and
// status bar. Its controls are the state; handlers read them when they need a value. The
// controls live in a private Ui object (app/MainFormUi.h); from outside they are reached by
// object name, as a user reaches them by looking.

#include <QEvent>
#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/ToolSettings.h"
#include "app/WorkingFolders.h"
#include "icon/IconBitmap.h"
#include "icon/Picture.h"
#include "project/FormMailAddress.h"
#include "project/ProjectFile.h"

class QPainter;

namespace vantrel {

namespace browser {
class FormPageView;
}

class FieldListModel;
class TEditFieldsForm;

// The progress report an outside sender posts to the main window; wParam is the percentage.
class ProgressEvent : public QEvent {
 public:
  static const QEvent::Type kType;
  explicit ProgressEvent(int percent) : QEvent(kType), wParam(percent) {}
  const int wParam;
};

// The folder of a program file, ending in "/".
QString programFolderOf(const QString& programFile);

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // The folders come from the running program's path (workingFoldersFor). The INI file keeps
  // the window's placement; an empty name keeps nothing.
  TMainForm(const WorkingFolders& folders, const QString& iniFile, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The project named on the command line, opened as "Öffnen..." opens a chosen file: the
  // same checks and messages, and the open dialog continues from it.
  bool openProjectAtStart(const QString& name);

  // The field editor is created after the main window and lives as long as the program.
  void setFieldEditor(TEditFieldsForm* editor) { EditFieldsForm = editor; }

  // What the window holds beside its controls, read-only.
  const QString& programFolder() const { return ProgramFolder; }
  const QString& savedFileName() const { return SavedFileName; }
  const IconBitmap& iconBitmap() const { return IconBitmap_; }
  std::uint32_t iconPos() const { return IconPos; }  // of the Windows viewer
  std::uint32_t iconPosLinux() const { return IconPosLinux; }
  BuildTarget buildTarget() const;
  const QString& formMailAddress() const { return formMailAddress_; }
  // The receiver's address as "Einstellungen..." takes it: kept in the INI file at once.
  void setFormMailAddress(const QString& address);
  const ToolSigning& signing() const { return signing_; }
  void setSigning(const ToolSigning& signing);
  int progressPercent() const { return ProgressPercent; }
  QRect progressRect() const { return ProgressRect; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private slots:
  // Window and bottom bar (MainUnit.cpp)
  void FormCreate();
  void FormDestroy();
  void EndeBtnClick();
  void ueberbtnClick();
  void wwwBtnClick();
  void AnswersBtnClick();
  void Setsavedfilename(const QString& name);

  // Tab "EXE erstellen": building the standalone program and its icon (ExeTab.cpp)
  void GoBtn1Click();
  void OpenIconBtnClick();
  void StdIconBtnClick();
  void EXENameBrowseClick();
  void TargetChange();
  void SettingsBtnClick();
  void SurveyProposeBtnClick();
  void SurveyEdChange();

  // Tab "Vorschau" (PreviewTab.cpp). RenderBtnClick writes "formular.htm" into
  // DataFolder; false (after telling the user) when it could not be written.
  bool RenderBtnClick();
  void PageControl2Change(int index);
  void LoadBtnClick();
  void BackBtnClick();
  void FwdBtnClick();
  void ReloadButtonClick();

  // Project commands (ProjectCommands.cpp)
  void NewBtnClick();
  void OpenBtnClick();
  void SaveBtnClick();
  void SaveAsBtnClick();
  // Both report their own failures; an input/output error goes to the general error handler.
  bool SaveFile(const QString& name);
  bool OpenFile(const QString& name);

  // Tab "Formularfelder" (FieldListTab.cpp)
  void NewFieldBtnClick();
  void EditFieldBtnClick();
  void ListView1DblClick();
  void DelFieldBtnClick();
  void UpBtnClick();
  void DownBtnClick();

  // Progress in the status bar (MainProgress.cpp)
  void SetProStatus(int value);
  void WMUser(int wParam);

 private:
  struct Ui;

  void connectHandlers();
  void connectKeys();
  bool FormCloseQuery();
  void saveWindowState();
  void restoreWindowState();

  // The window is placed by its outer rectangle, frame included, as the INI file keeps it. The
  // frame's size is known only once the platform has framed the window, so until then the
  // rectangle is kept and the window is fitted to it as soon as the frame is known.
  void placeOuter(const QRect& outer);
  void fitToWantedOuter();
  QRect normalOuterGeometry() const;

  // The project as the controls hold it, and back.
  Project projectFromControls() const;
  ProjectSettings settingsFromControls() const;
  void settingsToControls(const ProjectSettings& settings);

  // The row selected in ListView1, or -1.
  int selectedRow() const;
  void selectRow(int row);
  void moveSelectedRow(bool up);

  // The view of the preview, made on first use; null (after telling the user) when the browser
  // engine cannot be loaded.
  browser::FormPageView* browser();
  // A plugin that could not be loaded, named with the loader's words.
  void showPluginFailure(const std::filesystem::path& plugin, const QString& error);

  void loadIconAtStartUp();
  std::string iconFilePath() const;
  // Renders the picture into IconBitmap and "theicon.bmp"; a file that cannot be written is
  // named to the user and both stay as they were.
  void useIconPicture(const Picture& picture);
  // The data folder, made when it is missing. A folder that cannot be made shows as the file
  // that cannot be written in it.
  std::filesystem::path preparedDataFolder() const;
  void PaintBox1Paint(QPainter& canvas);

  // Paints the progress bar into the panel's rectangle and remembers the rectangle.
  void StatusBar1DrawPanel(QPainter& canvas, const QRect& rect);
  void SBarPaintMore(QPainter& canvas);
  void SBarRepaintAll();

  FieldListModel* const fieldModel_;
  const std::unique_ptr<Ui> ui_;
  TEditFieldsForm* EditFieldsForm = nullptr;
  QWidget* AnswersForm =
      nullptr;  // "Auswertung", made on first use, then shown again as it was left

  const WorkingFolders folders_;
  const QString iniFile_;
  QString ProgramFolder;
  QString DataFolder;
  QString SavedFileName;
  QString openDialogFolder_;
  QString saveDialogFolder_;
  QString openDialogName_;  // the name last chosen in each dialog
  QString saveDialogName_;
  IconBitmap IconBitmap_;
  std::uint32_t IconPos = 0;  // where the prototype keeps its icon pixels; 0 until found
  // The same for the Linux viewer: the two hold their icons at different offsets.
  std::uint32_t IconPosLinux = 0;
  QString formMailAddress_;  // empty: the build's default address
  ToolSigning signing_;      // of the Windows programs built
  // The form-mail address for pages (Windows-1252), or nothing after the refusal was shown.
  std::optional<FormMailAddress> pageAction() const;
  int ProgressPercent = 0;
  QRect ProgressRect;
  QRect wantedOuter_;     // the outer rectangle still to be fitted to, or none
  QMargins normalFrame_;  // the frame last seen around the window in its normal state
  bool destroyed_ = false;
};

}  // namespace vantrel
