#pragma once
// The main window's controls. setupUi() makes each with its object name and lays the window
// out; it connects no handler, the window wires those itself (MainUnit.cpp). Only TMainForm
// holds this object.

#include "app/MainUnit.h"
#include "widgets/browser/FormPageView.h"

class QCheckBox;
class QGridLayout;
class QLineEdit;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class QToolButton;
class QWidget;

namespace vantrel {

class FieldListView;
class PaintBox;
class ProgressPanel;
class SpinEdit;
class TBitBtnXP;
class TImageBtn;

struct TMainForm::Ui {
  void setupUi(TMainForm& window, FieldListModel& fields);

  // Tool bar
  QToolButton* NewBtn = nullptr;
  QToolButton* OpenBtn = nullptr;
  QToolButton* SaveBtn = nullptr;
  QToolButton* SaveAsBtn = nullptr;
  QToolButton* SettingsBtn = nullptr;  // the form-mail receiver's address
  QTabWidget* PageControl2 = nullptr;
  // Tab "Formularfelder"
  QWidget* TabSheet3 = nullptr;
  TBitBtnXP* NewFieldBtn = nullptr;
  TBitBtnXP* EditFieldBtn = nullptr;
  TBitBtnXP* DelFieldBtn = nullptr;
  QLineEdit* emailEd = nullptr;
  FieldListView* ListView1 = nullptr;
  QToolButton* UpBtn = nullptr;
  QToolButton* DownBtn = nullptr;
  // Tab "Vorschau"
  QWidget* TabSheet5 = nullptr;
  TBitBtnXP* BackButton = nullptr;
  TBitBtnXP* FwdButton = nullptr;
  TBitBtnXP* HomeBtn = nullptr;
  TBitBtnXP* ReloadButton = nullptr;
  QWidget* BrowserArea = nullptr;
  // Made on first use (TMainForm::browser()): the browser engine is loaded, and shows
  // nothing, before the preview is first asked for. Its widget is named "WebBrowser1".
  browser::FormPageView* WebBrowser1 = nullptr;
  // Tab "EXE erstellen"
  QWidget* TabSheet6 = nullptr;
  QLineEdit* EXENameEdit = nullptr;
  QToolButton* EXENameBrowseBtn = nullptr;
  TImageBtn* GoBtn1 = nullptr;
  QCheckBox* AutoStartCheck = nullptr;
  QRadioButton* TargetWindows = nullptr;  // "Zielsystem": what the build makes
  QRadioButton* TargetLinux = nullptr;
  PaintBox* PaintBox1 = nullptr;
  TBitBtnXP* OpenIconBtn = nullptr;
  TBitBtnXP* StdIconBtn = nullptr;
  QRadioButton* DefSizeCheck = nullptr;
  QRadioButton* FullScreenCheck = nullptr;
  SpinEdit* WidthEd = nullptr;
  SpinEdit* HeightEd = nullptr;
  QCheckBox* FixedSizeCheck = nullptr;
  QCheckBox* CheckBox[10] = {};  // CheckBox1 .. CheckBox10
  QLineEdit* NameED = nullptr;
  // The survey key the page's receiver address carries; kept per project in the tool's INI.
  QLineEdit* SurveyEd = nullptr;
  QToolButton* SurveyProposeBtn = nullptr;  // fills in the key proposed from the project name
  // Bottom bar and status bar
  QToolButton* wwwBtn = nullptr;
  TBitBtnXP* AnswersBtn = nullptr;  // opens the window "Auswertung"
  TImageBtn* ueberbtn = nullptr;
  TImageBtn* endebtn = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  ProgressPanel* progressPanel = nullptr;

 private:
  QWidget* buildToolBar(QWidget* parent);
  QTabWidget* buildTabs(TMainForm& window, FieldListModel& fields, QWidget* parent);
  QWidget* buildFieldsTab(QWidget* parent, FieldListModel& fields);
  QWidget* buildMoveStrip(QWidget* parent);
  QWidget* buildPreviewTab(QWidget* parent);
  QWidget* buildExeTab(TMainForm& window, QWidget* parent);
  void addOutputRows(QGridLayout* grid, QWidget* parent);
  void addSurveyRows(QGridLayout* grid, QWidget* parent);
  QWidget* buildIconGroup(TMainForm& window, QWidget* parent);
  QWidget* buildSizeGroup(QWidget* parent);
  QWidget* buildElementsGroup(QWidget* parent);
  QWidget* buildBottomBar(QWidget* parent);
  void buildStatusBar(TMainForm& window);
  void setTabOrder();
};

}  // namespace vantrel
