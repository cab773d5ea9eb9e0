// The main window's layout: every control with its object name, caption, picture and size.

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/FieldListModel.h"
#include "app/FieldListView.h"
#include "app/MainFormUi.h"
#include "app/ProgressPanel.h"
#include "gui/Maker.h"
#include "gui/TabChain.h"
#include "project/SurveyKey.h"
#include "widgets/ButtonsXP.h"
#include "widgets/Fonts.h"
#include "widgets/ImageBtnUnit.h"
#include "widgets/PaintBox.h"
#include "widgets/Pictures.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextEdge.h"

namespace vantrel {
namespace {

const QColor kHeaderBandColour(240, 202, 166);
const QColor kDecorativePanelColour(192, 220, 192);

// The in-place editor of the name column takes only what Windows-1252 can hold, at any length.
class NameColumnDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      restrictToWin1252(line);
      liftLengthLimit(line);
    }
    return editor;
  }
};

QLabel* makeHeaderBand(QWidget* parent, const QString& text) {
  auto* band = new QLabel(text, parent);
  band->setFixedHeight(33);
  // A long heading is cut at the window edge rather than widening the window.
  band->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  band->setAutoFillBackground(true);
  band->setFrameStyle(QFrame::Panel | QFrame::Raised);
  band->setLineWidth(1);
  band->setContentsMargins(6, 0, 6, 0);
  QPalette palette = band->palette();
  palette.setColor(QPalette::Window, kHeaderBandColour);
  palette.setColor(QPalette::WindowText, Qt::black);
  band->setPalette(palette);
  QFont font = band->font();
  font.setBold(true);
  band->setFont(font);
  return band;
}

template <typename Button>
Button* makeButton(QWidget* parent, const char* objectName, const QString& caption,
                   const QString& hint = QString()) {
  auto* button = new Button(parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setText(caption);
  if (!hint.isEmpty()) button->setToolTip(hint);
  return button;
}

QString picturePath(const char* name) {
  return QStringLiteral(":/controls/pictures/%1.svg").arg(QString::fromLatin1(name));
}

TBitBtnXP* makeGlyphButton(QWidget* parent, const char* objectName, const QString& caption,
                           const char* glyph) {
  auto* button = makeButton<TBitBtnXP>(parent, objectName, caption);
  button->setGlyph(pictureFromResource(picturePath(glyph), QSize(16, 16)), 1);
  button->setAutoDefault(false);
  return button;
}

QCheckBox* makeCheckBox(QWidget* parent, const char* objectName, const QString& caption,
                        bool checked) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(objectName));
  box->setChecked(checked);
  return box;
}

TImageBtn* makePictureButton(QWidget* parent, const char* objectName, const QString& hint,
                             const QString& picture) {
  auto* button = new TImageBtn(parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setToolTip(hint);
  button->setPicture(pictureFromResource(QStringLiteral(":/controls/pictures/%1.svg").arg(picture),
                                         QSize(101, 30)));
  button->setPicture2(pictureFromResource(
      QStringLiteral(":/controls/pictures/%1_down.svg").arg(picture), QSize(101, 30)));
  button->setFixedSize(101, 30);
  return button;
}

QLineEdit* makeWin1252Edit(QWidget* parent, const char* objectName,
                           const QString& text = QString()) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(QString::fromLatin1(objectName));
  restrictToWin1252(edit);
  liftLengthLimit(edit);
  return edit;
}

void setUpFieldListView(QTreeView* view, FieldListModel& fields) {
  view->setModel(&fields);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSortingEnabled(false);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  view->setItemDelegateForColumn(FieldListModel::NameColumn, new NameColumnDelegate(view));
  view->header()->setStretchLastSection(false);
  view->header()->setSectionsMovable(false);
  for (int c = 0; c < FieldListModel::ColumnCount; ++c) {
    view->setColumnWidth(c, FieldListModel::columnWidth(c));
  }
  // The selection stays visible when the list loses the focus.
  QPalette palette = view->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight,
                   palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  view->setPalette(palette);
}

QWidget* makeExeDecoration(QWidget* parent) {
  auto* decoration = new QWidget(parent);
  decoration->setObjectName(QStringLiteral("Panel7"));
  decoration->setFixedWidth(209);
  decoration->setAutoFillBackground(true);
  QPalette decorationPalette = decoration->palette();
  decorationPalette.setColor(QPalette::Window, kDecorativePanelColour);
  decoration->setPalette(decorationPalette);
  auto* decorationColumn = new QVBoxLayout(decoration);
  auto* bigCaption = new QLabel(QStringLiteral("EXE-Datei erstellen..."), decoration);
  bigCaption->setObjectName(QStringLiteral("Label7"));
  // The heavy face is loaded only when the tab is first shown.
  whenFirstShown(bigCaption, [bigCaption] {
    QFont captionFont(kHeavyFontFamily, 14);
    captionFont.setBold(true);
    bigCaption->setFont(captionFont);
  });
  bigCaption->setWordWrap(true);
  QPalette captionPalette = bigCaption->palette();
  captionPalette.setColor(QPalette::WindowText, QColor(128, 0, 0));
  bigCaption->setPalette(captionPalette);
  decorationColumn->addWidget(bigCaption);
  auto* decorationPicture = new QLabel(decoration);
  decorationPicture->setObjectName(QStringLiteral("Image1"));
  setPictureWhenShown(decorationPicture, picturePath("exe_decoration"));
  decorationPicture->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  decorationColumn->addWidget(decorationPicture);
  decorationColumn->addStretch();
  return decoration;
}

}  // namespace

void TMainForm::Ui::setupUi(TMainForm& window, FieldListModel& fields) {
  window.setObjectName(QStringLiteral("MainForm"));
  window.setFont(QFont(kDialogFontFamily, 8));
  auto* central = new QWidget(&window);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(buildToolBar(&window));
  column->addWidget(buildTabs(window, fields, central), 1);
  column->addWidget(buildBottomBar(&window));
  window.setCentralWidget(central);
  buildStatusBar(window);
  setTabOrder();
}

// Tab walks the window as it is read: the tool bar, the tabs, each tab's controls from top left
// to bottom right (group by group), then the bottom bar from left to right, and round to the
// tool bar again. The tab control stands in the chain as well as its bar, which takes its
// focus, so that it is not left behind at the end. Of two radio buttons Tab stops only at
// the one that is chosen; the arrow keys move between them.
void TMainForm::Ui::setTabOrder() {
  QList<QWidget*> order = {NewBtn, OpenBtn, SaveBtn, SaveAsBtn, SettingsBtn};
  order << PageControl2 << PageControl2->tabBar();
  order << NewFieldBtn << EditFieldBtn << DelFieldBtn << emailEd << ListView1 << UpBtn << DownBtn;
  order << BackButton << FwdButton << HomeBtn << ReloadButton;
  order << TargetWindows << TargetLinux << EXENameEdit << EXENameBrowseBtn << GoBtn1
        << AutoStartCheck << OpenIconBtn << StdIconBtn;
  order << DefSizeCheck << FullScreenCheck << WidthEd << HeightEd << FixedSizeCheck;
  for (QCheckBox* box : CheckBox) order << box;
  order << NameED << SurveyEd << SurveyProposeBtn;
  order << wwwBtn << AnswersBtn << ueberbtn << endebtn;
  setTabChain(order);
  makeOneChoice({TargetWindows, TargetLinux});
  makeOneChoice({DefSizeCheck, FullScreenCheck});
}

QWidget* TMainForm::Ui::buildToolBar(QWidget* parent) {
  auto* bar = new QWidget(parent);
  bar->setObjectName(QStringLiteral("ToolBar1"));
  bar->setFixedHeight(27);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(1, 1, 1, 1);
  row->setSpacing(0);
  const auto addToolButton = [&](QToolButton*& button, const char* name, const QString& caption,
                                 const QString& hint, const char* glyph) {
    button = makeButton<QToolButton>(bar, name, caption, hint);
    button->setIcon(iconFromResource(picturePath(glyph)));
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setFixedSize(121, 25);
    // Reached with Tab; a click leaves the focus where it is, so a number typed in a spin edit
    // is saved as typed.
    button->setFocusPolicy(Qt::TabFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    row->addWidget(button);
  };
  addToolButton(NewBtn, "NewBtn", QStringLiteral("&Neu"), QStringLiteral("Neues Projekt erstellen"),
                "tb_new");
  addToolButton(OpenBtn, "OpenBtn", QStringLiteral("Ö&ffnen..."),
                QStringLiteral("Projekt öffnen..."), "tb_open");
  addToolButton(SaveBtn, "SaveBtn", QStringLiteral("&Speichern"),
                QStringLiteral("Projekt speichern"), "tb_save");
  addToolButton(SaveAsBtn, "SaveAsBtn", QStringLiteral("Speichern &unter..."),
                QStringLiteral("Projekt speichern unter..."), "tb_saveas");
  addToolButton(SettingsBtn, "SettingsBtn", QStringLiteral("E&instellungen..."),
                QStringLiteral("Adresse Ihres Formular-Empfängers..."), "glyph_web");
  row->addStretch();
  return bar;
}

QTabWidget* TMainForm::Ui::buildTabs(TMainForm& window, FieldListModel& fields, QWidget* parent) {
  PageControl2 = new QTabWidget(parent);
  PageControl2->setObjectName(QStringLiteral("PageControl2"));
  PageControl2->addTab(buildFieldsTab(&window, fields), iconFromResource(picturePath("tab_fields")),
                       QStringLiteral("F&ormularfelder"));
  PageControl2->addTab(buildPreviewTab(&window), iconFromResource(picturePath("tab_preview")),
                       QStringLiteral("&Vorschau"));
  PageControl2->addTab(buildExeTab(window, &window), iconFromResource(picturePath("tab_exe")),
                       QStringLiteral("E&XE erstellen"));
  PageControl2->tabBar()->setAttribute(Qt::WA_Hover);
  PageControl2->setCurrentIndex(0);
  return PageControl2;
}

QWidget* TMainForm::Ui::buildFieldsTab(QWidget* parent, FieldListModel& fields) {
  TabSheet3 = new QWidget(parent);
  TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  auto* column = new QVBoxLayout(TabSheet3);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  column->addWidget(makeHeaderBand(
      TabSheet3, QStringLiteral("Formularfelder - hier können Sie neue Formularfelder anlegen und "
                                "bestehende bearbeiten")));

  auto* buttons = new QHBoxLayout();
  buttons->setContentsMargins(6, 0, 6, 0);
  NewFieldBtn =
      makeGlyphButton(TabSheet3, "NewFieldBtn", QStringLiteral("N&eues Feld..."), "glyph_newfield");
  EditFieldBtn = makeGlyphButton(TabSheet3, "EditFieldBtn", QStringLiteral("Feld &bearbeiten..."),
                                 "glyph_editfield");
  DelFieldBtn = makeGlyphButton(TabSheet3, "DelFieldBtn", QStringLiteral("Feld &löschen"),
                                "glyph_deletefield");
  for (auto* button : {NewFieldBtn, EditFieldBtn, DelFieldBtn}) buttons->addWidget(button);
  buttons->addStretch();
  column->addLayout(buttons);

  auto* emailLabel = new QLabel(
      QStringLiteral("Ihre e&Mail Adresse (an die das Formular gesendet wird):"), TabSheet3);
  emailLabel->setContentsMargins(6, 0, 6, 0);
  column->addWidget(emailLabel);
  emailEd = makeWin1252Edit(TabSheet3, "emailEd");
  emailLabel->setBuddy(emailEd);
  auto* emailRow = new QHBoxLayout();
  emailRow->setContentsMargins(6, 0, 6, 0);
  emailRow->addWidget(emailEd);
  column->addLayout(emailRow);

  auto* listRow = new QHBoxLayout();
  listRow->setContentsMargins(6, 0, 0, 6);
  listRow->setSpacing(2);
  ListView1 = new FieldListView(TabSheet3);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  setUpFieldListView(ListView1, fields);
  listRow->addWidget(ListView1, 1);
  listRow->addWidget(buildMoveStrip(TabSheet3));
  column->addLayout(listRow, 1);
  return TabSheet3;
}

QWidget* TMainForm::Ui::buildMoveStrip(QWidget* parent) {
  auto* strip = new QWidget(parent);
  strip->setObjectName(QStringLiteral("MoveStrip"));
  strip->setFixedWidth(24);
  auto* stripColumn = new QVBoxLayout(strip);
  stripColumn->setContentsMargins(0, 0, 0, 0);
  stripColumn->setSpacing(2);
  UpBtn =
      makeButton<QToolButton>(strip, "UpBtn", QString(), QStringLiteral("Nach oben verschieben"));
  DownBtn = makeButton<QToolButton>(strip, "DownBtn", QString(),
                                    QStringLiteral("Nach unten verschieben"));
  UpBtn->setIcon(iconFromResource(picturePath("arrow_up")));
  DownBtn->setIcon(iconFromResource(picturePath("arrow_down")));
  for (auto* button : {UpBtn, DownBtn}) {
    button->setAutoRaise(true);
    button->setFixedSize(22, 22);
    stripColumn->addWidget(button);
  }
  stripColumn->addStretch();
  return strip;
}

QWidget* TMainForm::Ui::buildPreviewTab(QWidget* parent) {
  TabSheet5 = new QWidget(parent);
  TabSheet5->setObjectName(QStringLiteral("TabSheet5"));
  auto* column = new QVBoxLayout(TabSheet5);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  column->addWidget(makeHeaderBand(
      TabSheet5,
      QStringLiteral("Vorschau - Hier können Sie sehen wie das Ergebnis später aussehen wird")));
  auto* buttons = new QHBoxLayout();
  buttons->setContentsMargins(6, 0, 6, 0);
  BackButton = makeGlyphButton(TabSheet5, "BackButton", QStringLiteral("&Zurück"), "glyph_back");
  FwdButton = makeGlyphButton(TabSheet5, "FwdButton", QStringLiteral("Vor&wärts"), "glyph_forward");
  HomeBtn = makeGlyphButton(TabSheet5, "HomeBtn", QStringLiteral("S&tartseite"), "glyph_home");
  ReloadButton =
      makeGlyphButton(TabSheet5, "ReloadButton", QStringLiteral("Neu &laden"), "glyph_reload");
  for (auto* button : {BackButton, FwdButton, HomeBtn, ReloadButton}) buttons->addWidget(button);
  buttons->addStretch();
  column->addLayout(buttons);
  // The embedded browser WebBrowser1 is placed in this area.
  BrowserArea = new QWidget(TabSheet5);
  BrowserArea->setObjectName(QStringLiteral("BrowserArea"));
  auto* browserLayout = new QVBoxLayout(BrowserArea);
  browserLayout->setContentsMargins(0, 0, 0, 0);
  column->addWidget(BrowserArea, 1);
  return TabSheet5;
}

QWidget* TMainForm::Ui::buildExeTab(TMainForm& window, QWidget* parent) {
  TabSheet6 = new QWidget(parent);
  TabSheet6->setObjectName(QStringLiteral("TabSheet6"));
  auto* column = new QVBoxLayout(TabSheet6);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(makeHeaderBand(
      TabSheet6, QStringLiteral("EXE Datei erstellen - Dateinamen festlegen und Go! auf klicken")));
  auto* body = new QHBoxLayout();
  body->setContentsMargins(0, 0, 0, 0);
  column->addLayout(body, 1);
  body->addWidget(makeExeDecoration(TabSheet6));

  auto* settings = new QWidget(TabSheet6);
  auto* grid = new QGridLayout(settings);
  grid->setContentsMargins(6, 4, 4, 4);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(2);
  body->addWidget(settings, 1);
  addOutputRows(grid, settings);
  grid->addWidget(buildIconGroup(window, settings), 3, 0, 1, 2);
  grid->addWidget(buildSizeGroup(settings), 4, 0);
  grid->addWidget(buildElementsGroup(settings), 4, 1);
  grid->setRowStretch(5, 1);
  return TabSheet6;
}

// Output file, Go! and start after building.
void TMainForm::Ui::addOutputRows(QGridLayout* grid, QWidget* parent) {
  auto* outputLabel = new QLabel(QStringLiteral("&Ausgabe Datei:"), parent);
  EXENameEdit = makeWin1252Edit(parent, "EXENameEdit");
  outputLabel->setBuddy(EXENameEdit);
  EXENameBrowseBtn = makeButton<QToolButton>(parent, "EXENameBrowseBtn", QStringLiteral("..."));
  auto* outputRow = new QHBoxLayout();
  outputRow->setSpacing(0);
  outputRow->addWidget(EXENameEdit, 1);
  outputRow->addWidget(EXENameBrowseBtn);
  // The target system beside the output file's caption: it decides the output's name.
  auto* captionRow = new QHBoxLayout();
  captionRow->addWidget(outputLabel);
  captionRow->addStretch();
  captionRow->addWidget(new QLabel(QStringLiteral("Zielsystem:"), parent));
  TargetWindows = makeButton<QRadioButton>(parent, "TargetWindows", QStringLiteral("Windows"));
  TargetLinux = makeButton<QRadioButton>(parent, "TargetLinux", QStringLiteral("Linux"));
  TargetWindows->setChecked(true);
  captionRow->addWidget(TargetWindows);
  captionRow->addWidget(TargetLinux);
  grid->addLayout(captionRow, 0, 0, 1, 2);
  grid->addLayout(outputRow, 1, 0, 1, 2);
  GoBtn1 = makePictureButton(parent, "GoBtn1", QStringLiteral("Erstellt die EXE-Datei..."),
                             QStringLiteral("go"));
  AutoStartCheck = makeCheckBox(parent, "AutoStartCheck",
                                QStringLiteral("&Datei nach dem Erstellen ausführen"), false);
  auto* goRow = new QHBoxLayout();
  goRow->addWidget(GoBtn1);
  goRow->addWidget(AutoStartCheck);
  goRow->addStretch();
  grid->addLayout(goRow, 2, 0, 1, 2);
}

// The survey key under the project name it is proposed from: letters, digits and "-" only. One
// row, so that the tab keeps the window's size; no letter of the tab is free for a mnemonic.
void TMainForm::Ui::addSurveyRows(QGridLayout* grid, QWidget* parent) {
  auto* surveyLabel = new QLabel(QStringLiteral("Umfrage-Kennung:"), parent);
  SurveyEd = new QLineEdit(parent);
  SurveyEd->setObjectName(QStringLiteral("SurveyEd"));
  SurveyEd->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[A-Za-z0-9-]{0,%1}").arg(kSurveyKeyMaxLength)), SurveyEd));
  surveyLabel->setBuddy(SurveyEd);
  SurveyProposeBtn =
      makeButton<QToolButton>(parent, "SurveyProposeBtn", QStringLiteral("Vorschlag"),
                              QStringLiteral("Kennung aus dem Projektnamen"));
  auto* surveyRow = new QHBoxLayout();
  surveyRow->setSpacing(2);
  surveyRow->addWidget(surveyLabel);
  surveyRow->addWidget(SurveyEd, 1);
  surveyRow->addWidget(SurveyProposeBtn);
  grid->addLayout(surveyRow, 7, 0, 1, 2);
}

// The icon of the program to build, painted by the window.
QWidget* TMainForm::Ui::buildIconGroup(TMainForm& window, QWidget* parent) {
  auto* iconGroup = new QGroupBox(QStringLiteral("Icon der EXE Datei"), parent);
  iconGroup->setObjectName(QStringLiteral("IconGroup"));
  auto* iconRow = new QHBoxLayout(iconGroup);
  PaintBox1 =
      new PaintBox([&window](QPainter& canvas) { window.PaintBox1Paint(canvas); }, iconGroup);
  PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
  PaintBox1->setFixedSize(32, 32);
  OpenIconBtn =
      makeGlyphButton(iconGroup, "OpenIconBtn", QStringLiteral("I&con laden..."), "glyph_iconload");
  StdIconBtn = makeGlyphButton(iconGroup, "StdIconBtn", QStringLiteral("Icon &zurücksetzen..."),
                               "glyph_iconreset");
  iconRow->addWidget(PaintBox1);
  iconRow->addWidget(OpenIconBtn);
  iconRow->addWidget(StdIconBtn);
  iconRow->addStretch();
  return iconGroup;
}

// Window size of the program to build.
QWidget* TMainForm::Ui::buildSizeGroup(QWidget* parent) {
  auto* sizeGroup = new QGroupBox(QStringLiteral("Fenstergröße"), parent);
  sizeGroup->setObjectName(QStringLiteral("SizeGroup"));
  auto* sizeGrid = new QGridLayout(sizeGroup);
  sizeGrid->setContentsMargins(6, 4, 6, 4);
  sizeGrid->setSpacing(2);
  DefSizeCheck =
      makeButton<QRadioButton>(sizeGroup, "DefSizeCheck", QStringLiteral("Definierte &Größe"));
  FullScreenCheck =
      makeButton<QRadioButton>(sizeGroup, "FullScreenCheck", QStringLiteral("&Maximale Größe"));
  DefSizeCheck->setChecked(true);
  WidthEd = new SpinEdit(64, 1280, 10, 600, sizeGroup);
  WidthEd->setObjectName(QStringLiteral("WidthEd"));
  HeightEd = new SpinEdit(64, 1280, 10, 440, sizeGroup);
  HeightEd->setObjectName(QStringLiteral("HeightEd"));
  FixedSizeCheck =
      makeCheckBox(sizeGroup, "FixedSizeCheck", QStringLiteral("Feste Größe (&kein Menü)"), false);
  sizeGrid->addWidget(DefSizeCheck, 0, 0, 1, 3);
  sizeGrid->addWidget(FullScreenCheck, 1, 0, 1, 3);
  auto* widthLabel = new QLabel(QStringLiteral("&Breite:"), sizeGroup);
  widthLabel->setBuddy(WidthEd);
  auto* heightLabel = new QLabel(QStringLiteral("&Höhe:"), sizeGroup);
  heightLabel->setBuddy(HeightEd);
  sizeGrid->addWidget(widthLabel, 2, 0);
  sizeGrid->addWidget(WidthEd, 2, 1);
  sizeGrid->addWidget(new QLabel(QStringLiteral("Pixel"), sizeGroup), 2, 2);
  sizeGrid->addWidget(heightLabel, 3, 0);
  sizeGrid->addWidget(HeightEd, 3, 1);
  sizeGrid->addWidget(new QLabel(QStringLiteral("Pixel"), sizeGroup), 3, 2);
  sizeGrid->addWidget(FixedSizeCheck, 4, 0, 1, 3);
  return sizeGroup;
}

// Which window elements the program to build shows, and its name.
QWidget* TMainForm::Ui::buildElementsGroup(QWidget* parent) {
  auto* elementsGroup = new QGroupBox(QStringLiteral("Fensterelemente"), parent);
  elementsGroup->setObjectName(QStringLiteral("ElementsGroup"));
  auto* elementsGrid = new QGridLayout(elementsGroup);
  elementsGrid->setContentsMargins(6, 2, 6, 2);
  elementsGrid->setHorizontalSpacing(4);
  elementsGrid->setVerticalSpacing(0);
  // Mnemonics where a letter is still free on this tab and in the tool bar and bottom bar,
  // which show on every tab; the rest have none.
  const QString elementCaptions[10] = {
      QStringLiteral("S&tatusbar"),    QStringLiteral("Tool &Leiste"), QStringLiteral("Drucken"),
      QStringLiteral("B&eenden"),      QStringLiteral("Über"),         QStringLiteral("Zurück"),
      QStringLiteral("Vor&wärts"),     QStringLiteral("Startseite"),   QStringLiteral("Neu laden"),
      QStringLiteral("Beenden Button")};
  for (int i = 0; i < 10; ++i) {
    const QByteArray name = "CheckBox" + QByteArray::number(i + 1);
    CheckBox[i] = makeCheckBox(elementsGroup, name.constData(), elementCaptions[i], true);
    elementsGrid->addWidget(CheckBox[i], i % 5, i / 5);
  }
  auto* nameLabel = new QLabel(QStringLiteral("&Projekt Name:"), elementsGroup);
  NameED = makeWin1252Edit(elementsGroup, "NameED", QStringLiteral("Vantrel"));
  nameLabel->setBuddy(NameED);
  elementsGrid->addWidget(nameLabel, 5, 0, 1, 2);
  elementsGrid->addWidget(NameED, 6, 0, 1, 2);
  addSurveyRows(elementsGrid, elementsGroup);
  return elementsGroup;
}

QWidget* TMainForm::Ui::buildBottomBar(QWidget* parent) {
  auto* bar = new QWidget(parent);
  bar->setObjectName(QStringLiteral("Panel1"));
  bar->setFixedHeight(41);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(6, 5, 6, 5);
  wwwBtn = makeButton<QToolButton>(bar, "wwwBtn", kMakerWebAddress,
                                   QStringLiteral("Auf zur Brixtel Homepage..."));
  wwwBtn->setAutoRaise(true);
  // Reached with Tab, like the tool bar; a click leaves the focus where it is.
  wwwBtn->setFocusPolicy(Qt::TabFocus);
  ueberbtn = makePictureButton(bar, "ueberbtn", QStringLiteral("Informationen über das Programm"),
                               QStringLiteral("ueber"));
  endebtn = makePictureButton(bar, "endebtn", QStringLiteral("Hiermit verlassen Sie das Programm"),
                              QStringLiteral("ende"));
  // The answers that come back belong to no tab: their window opens from here, where the row
  // has room and the tool bar and the tabs stay as they are.
  AnswersBtn =
      makeGlyphButton(bar, "AnswersBtn", QStringLiteral("Auswe&rtung..."), "glyph_answers");
  AnswersBtn->setToolTip(QStringLiteral("Die Antworten auf Ihr Formular auswerten..."));
  AnswersBtn->setFocusPolicy(Qt::TabFocus);
  row->addWidget(wwwBtn);
  row->addStretch();
  row->addWidget(AnswersBtn);
  row->addWidget(ueberbtn);
  row->addWidget(endebtn);
  return bar;
}

// The second panel is the progress bar, which the window paints.
void TMainForm::Ui::buildStatusBar(TMainForm& window) {
  StatusBar1 = new QStatusBar(&window);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(19);
  auto* firstPanel = new QWidget(StatusBar1);
  firstPanel->setObjectName(QStringLiteral("StatusPanel0"));
  firstPanel->setFixedWidth(250);
  progressPanel = new ProgressPanel(
      [&window](QPainter& canvas, const QRect& rect) { window.StatusBar1DrawPanel(canvas, rect); },
      [&window](QPainter& canvas) { window.SBarPaintMore(canvas); }, StatusBar1);
  progressPanel->setFixedWidth(50);
  StatusBar1->addWidget(firstPanel);
  StatusBar1->addWidget(progressPanel);
  window.setStatusBar(StatusBar1);
}

}  // namespace vantrel
