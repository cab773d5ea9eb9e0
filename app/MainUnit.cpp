#include "app/MainUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineView>

#include "app/FieldListModel.h"
#include "app/ProgressPanel.h"
#include "app/VantrelApplication.h"
#include "app/WindowPlacement.h"
#include "gui/AboutBoxUnit.h"
#include "widgets/ButtonsXP.h"
#include "gui/FileDialogs.h"
#include "widgets/PaintBox.h"
#include "widgets/Fonts.h"
#include "widgets/ImageBtnUnit.h"
#include "gui/MessageBox.h"
#include "widgets/Pictures.h"
#include "gui/Shell.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextEdge.h"
#include "widgets/browser/BrowserEngine.h"
#include "icon/BitmapFile.h"
#include "builder/BuildProgram.h"
#include "icon/IconPos.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"
#include "icon/loaders/PictureLoader.h"
#include "page/FormPage.h"
#include "page/PageFile.h"
#include "gui/EditFieldsFUnit.h"

namespace vantrel {

const QEvent::Type ProgressEvent::kType =
    static_cast<QEvent::Type>(QEvent::registerEventType(QEvent::User + 0x0400));

namespace {

const QColor kHeaderBandColour(240, 202, 166);
const QColor kDecorativePanelColour(192, 220, 192);
const QColor kProgressColour(0, 0, 128);

const QString kUntitledCaption = QStringLiteral("Brixtel Vantrel Formulare 1.0 - [Unbenannt.vtq]");
const QString kCloseQuestion = QStringLiteral(
    "Hiermit beenden Sie das Programm! Alle nicht gespeicherten Daten gehen verloren!");
const QString kDeleteQuestion = QStringLiteral("Hiermit löschen Sie das Textfeld.");
const QString kDiscardQuestion =
    QStringLiteral("Hiermit gehen alle nicht gespeicherten Informationen verloren.");
const QString kProjectFilter = QStringLiteral("Vantrel Formulare (*.vtq)");
const QString kProjectSuffix = QStringLiteral("vtq");

std::string pathOf(const QString& name) { return QFile::encodeName(name).toStdString(); }

void showError(const std::exception& error) {
  messageBox(QString::fromUtf8(error.what()), QStringLiteral("Fehler"), MB_OK | MB_ICONERROR);
}

// The in-place editor of the name column takes only what Windows-1252 can hold.
class NameColumnDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) restrictToWin1252(line);
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

// x of the bar's right end: integer arithmetic, truncated toward zero after the product.
int progressEnd(const QRect& panel, int percent) {
  const long long span = static_cast<long long>(panel.width()) * percent / 100;
  return panel.left() + static_cast<int>(span);
}

void drawProgressBar(QPainter& canvas, const QRect& panel, int percent) {
  const int end = progressEnd(panel, percent);
  if (end == panel.left()) return;
  const QRect bar = QRect(QPoint(std::min(panel.left(), end), panel.top()),
                          QPoint(std::max(panel.left(), end) - 1, panel.bottom()));
  canvas.fillRect(bar, kProgressColour);
}

}  // namespace

QString programFolderOf(const QString& programFile) {
  const qsizetype slash = programFile.lastIndexOf(u'/');
  QString folder = slash >= 0 ? programFile.left(slash + 1) : QString();
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder;
}

TMainForm::TMainForm(const QString& programFile, const QString& iniFile, QWidget* parent)
    : QMainWindow(parent), programFile_(programFile), iniFile_(iniFile) {
  setObjectName(QStringLiteral("MainForm"));
  setFont(QFont(kDialogFontFamily, 8));
  fieldModel_ = new FieldListModel(this);

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(buildToolBar());
  PageControl2 = new QTabWidget(central);
  PageControl2->setObjectName(QStringLiteral("PageControl2"));
  PageControl2->addTab(buildFieldsTab(), iconFromResource(picturePath("tab_fields")),
                       QStringLiteral("Formularfelder"));
  PageControl2->addTab(buildPreviewTab(), iconFromResource(picturePath("tab_preview")),
                       QStringLiteral("Vorschau"));
  PageControl2->addTab(buildExeTab(), iconFromResource(picturePath("tab_exe")),
                       QStringLiteral("EXE erstellen"));
  PageControl2->tabBar()->setAttribute(Qt::WA_Hover);
  PageControl2->setCurrentIndex(0);
  connect(PageControl2, &QTabWidget::currentChanged, this, [this](int index) {
    guarded([this, index] { PageControl2Change(index); })();
  });
  column->addWidget(PageControl2, 1);
  column->addWidget(buildBottomBar());
  setCentralWidget(central);
  buildStatusBar();

  resize(638, 512);
  FormCreate();
  restoreWindowState();
}

TMainForm::~TMainForm() { FormDestroy(); }

QWidget* TMainForm::buildToolBar() {
  auto* bar = new QWidget(this);
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
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    row->addWidget(button);
  };
  addToolButton(NewBtn, "NewBtn", QStringLiteral("Neu"), QStringLiteral("Neues Projekt erstellen"), "tb_new");
  addToolButton(OpenBtn, "OpenBtn", QStringLiteral("Öffnen..."), QStringLiteral("Projekt öffnen..."), "tb_open");
  addToolButton(SaveBtn, "SaveBtn", QStringLiteral("Speichern"), QStringLiteral("Projekt speichern"), "tb_save");
  addToolButton(SaveAsBtn, "SaveAsBtn", QStringLiteral("Speichern unter..."),
                QStringLiteral("Projekt speichern unter..."), "tb_saveas");
  connect(NewBtn, &QToolButton::clicked, this, guarded([this] { NewBtnClick(); }));
  connect(OpenBtn, &QToolButton::clicked, this, guarded([this] { OpenBtnClick(); }));
  connect(SaveBtn, &QToolButton::clicked, this, guarded([this] { SaveBtnClick(); }));
  connect(SaveAsBtn, &QToolButton::clicked, this, guarded([this] { SaveAsBtnClick(); }));
  row->addStretch();
  return bar;
}

QWidget* TMainForm::buildFieldsTab() {
  TabSheet3 = new QWidget(this);
  TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  auto* column = new QVBoxLayout(TabSheet3);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  column->addWidget(makeHeaderBand(TabSheet3,
      QStringLiteral("Formularfelder - hier können Sie neue Formularfelder anlegen und "
                     "bestehende bearbeiten")));

  auto* buttons = new QHBoxLayout();
  buttons->setContentsMargins(6, 0, 6, 0);
  NewFieldBtn = makeGlyphButton(TabSheet3, "NewFieldBtn", QStringLiteral("Neues Feld..."), "glyph_newfield");
  EditFieldBtn = makeGlyphButton(TabSheet3, "EditFieldBtn", QStringLiteral("Feld bearbeiten..."), "glyph_editfield");
  DelFieldBtn = makeGlyphButton(TabSheet3, "DelFieldBtn", QStringLiteral("Feld löschen"), "glyph_deletefield");
  for (auto* button : {NewFieldBtn, EditFieldBtn, DelFieldBtn}) buttons->addWidget(button);
  buttons->addStretch();
  column->addLayout(buttons);
  connect(NewFieldBtn, &QPushButton::clicked, this, &TMainForm::NewFieldBtnClick);
  connect(EditFieldBtn, &QPushButton::clicked, this, &TMainForm::EditFieldBtnClick);
  connect(DelFieldBtn, &QPushButton::clicked, this, &TMainForm::DelFieldBtnClick);

  auto* emailLabel = new QLabel(
      QStringLiteral("Ihre eMail Adresse (an die das Formular gesendet wird):"), TabSheet3);
  emailLabel->setContentsMargins(6, 0, 6, 0);
  column->addWidget(emailLabel);
  emailEd = new QLineEdit(TabSheet3);
  emailEd->setObjectName(QStringLiteral("emailEd"));
  restrictToWin1252(emailEd);
  emailLabel->setBuddy(emailEd);
  auto* emailRow = new QHBoxLayout();
  emailRow->setContentsMargins(6, 0, 6, 0);
  emailRow->addWidget(emailEd);
  column->addLayout(emailRow);

  auto* listRow = new QHBoxLayout();
  listRow->setContentsMargins(6, 0, 0, 6);
  listRow->setSpacing(2);
  ListView1 = new QTreeView(TabSheet3);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setModel(fieldModel_);
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setAllColumnsShowFocus(true);
  ListView1->setSortingEnabled(false);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  ListView1->setItemDelegateForColumn(FieldListModel::NameColumn, new NameColumnDelegate(ListView1));
  ListView1->header()->setStretchLastSection(false);
  ListView1->header()->setSectionsMovable(false);
  for (int c = 0; c < FieldListModel::ColumnCount; ++c) {
    ListView1->setColumnWidth(c, FieldListModel::columnWidth(c));
  }
  // The selection stays visible when the list loses the focus.
  QPalette palette = ListView1->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight,
                   palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  ListView1->setPalette(palette);
  ListView1->viewport()->installEventFilter(this);
  listRow->addWidget(ListView1, 1);

  auto* strip = new QWidget(TabSheet3);
  strip->setObjectName(QStringLiteral("MoveStrip"));
  strip->setFixedWidth(24);
  auto* stripColumn = new QVBoxLayout(strip);
  stripColumn->setContentsMargins(0, 0, 0, 0);
  stripColumn->setSpacing(2);
  UpBtn = makeButton<QToolButton>(strip, "UpBtn", QString(), QStringLiteral("Nach oben verschieben"));
  DownBtn = makeButton<QToolButton>(strip, "DownBtn", QString(), QStringLiteral("Nach unten verschieben"));
  UpBtn->setIcon(iconFromResource(picturePath("arrow_up")));
  DownBtn->setIcon(iconFromResource(picturePath("arrow_down")));
  for (auto* button : {UpBtn, DownBtn}) {
    button->setAutoRaise(true);
    button->setFixedSize(22, 22);
    stripColumn->addWidget(button);
  }
  stripColumn->addStretch();
  listRow->addWidget(strip);
  column->addLayout(listRow, 1);
  connect(UpBtn, &QToolButton::clicked, this, &TMainForm::UpBtnClick);
  connect(DownBtn, &QToolButton::clicked, this, &TMainForm::DownBtnClick);
  return TabSheet3;
}

QWidget* TMainForm::buildPreviewTab() {
  TabSheet5 = new QWidget(this);
  TabSheet5->setObjectName(QStringLiteral("TabSheet5"));
  auto* column = new QVBoxLayout(TabSheet5);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(4);
  column->addWidget(makeHeaderBand(TabSheet5,
      QStringLiteral("Vorschau - Hier können Sie sehen wie das Ergebnis später aussehen wird")));
  auto* buttons = new QHBoxLayout();
  buttons->setContentsMargins(6, 0, 6, 0);
  BackButton = makeGlyphButton(TabSheet5, "BackButton", QStringLiteral("Zurück"), "glyph_back");
  FwdButton = makeGlyphButton(TabSheet5, "FwdButton", QStringLiteral("Vorwärts"), "glyph_forward");
  HomeBtn = makeGlyphButton(TabSheet5, "HomeBtn", QStringLiteral("Startseite"), "glyph_home");
  ReloadButton = makeGlyphButton(TabSheet5, "ReloadButton", QStringLiteral("Neu laden"), "glyph_reload");
  for (auto* button : {BackButton, FwdButton, HomeBtn, ReloadButton}) buttons->addWidget(button);
  connect(BackButton, &QPushButton::clicked, this, &TMainForm::BackBtnClick);
  connect(FwdButton, &QPushButton::clicked, this, &TMainForm::FwdBtnClick);
  connect(HomeBtn, &QPushButton::clicked, this, guarded([this] { LoadBtnClick(); }));
  connect(ReloadButton, &QPushButton::clicked, this, &TMainForm::ReloadButtonClick);
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

QWidget* TMainForm::buildExeTab() {
  TabSheet6 = new QWidget(this);
  TabSheet6->setObjectName(QStringLiteral("TabSheet6"));
  auto* column = new QVBoxLayout(TabSheet6);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(makeHeaderBand(TabSheet6,
      QStringLiteral("EXE Datei erstellen - Dateinamen festlegen und Go! auf klicken")));
  auto* body = new QHBoxLayout();
  body->setContentsMargins(0, 0, 0, 0);
  column->addLayout(body, 1);

  auto* decoration = new QWidget(TabSheet6);
  decoration->setObjectName(QStringLiteral("Panel7"));
  decoration->setFixedWidth(209);
  decoration->setAutoFillBackground(true);
  QPalette decorationPalette = decoration->palette();
  decorationPalette.setColor(QPalette::Window, kDecorativePanelColour);
  decoration->setPalette(decorationPalette);
  auto* decorationColumn = new QVBoxLayout(decoration);
  auto* bigCaption = new QLabel(QStringLiteral("EXE-Datei erstellen..."), decoration);
  bigCaption->setObjectName(QStringLiteral("Label7"));
  QFont captionFont(kHeavyFontFamily, 14);
  captionFont.setBold(true);
  bigCaption->setFont(captionFont);
  bigCaption->setWordWrap(true);
  QPalette captionPalette = bigCaption->palette();
  captionPalette.setColor(QPalette::WindowText, QColor(128, 0, 0));
  bigCaption->setPalette(captionPalette);
  decorationColumn->addWidget(bigCaption);
  auto* decorationPicture = new QLabel(decoration);
  decorationPicture->setObjectName(QStringLiteral("Image1"));
  decorationPicture->setPixmap(pictureFromResource(picturePath("exe_decoration")));
  decorationPicture->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  decorationColumn->addWidget(decorationPicture);
  decorationColumn->addStretch();
  body->addWidget(decoration);

  auto* settings = new QWidget(TabSheet6);
  auto* grid = new QGridLayout(settings);
  grid->setContentsMargins(6, 4, 4, 4);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(2);
  body->addWidget(settings, 1);

  // Output file, Go! and start after building.
  auto* outputLabel = new QLabel(QStringLiteral("Ausgabe Datei:"), settings);
  EXENameEdit = new QLineEdit(settings);
  EXENameEdit->setObjectName(QStringLiteral("EXENameEdit"));
  restrictToWin1252(EXENameEdit);
  outputLabel->setBuddy(EXENameEdit);
  EXENameBrowseBtn = makeButton<QToolButton>(settings, "EXENameBrowseBtn", QStringLiteral("..."));
  connect(EXENameBrowseBtn, &QToolButton::clicked, this, &TMainForm::EXENameBrowseClick);
  auto* outputRow = new QHBoxLayout();
  outputRow->setSpacing(0);
  outputRow->addWidget(EXENameEdit, 1);
  outputRow->addWidget(EXENameBrowseBtn);
  grid->addWidget(outputLabel, 0, 0, 1, 2);
  grid->addLayout(outputRow, 1, 0, 1, 2);
  GoBtn1 = makePictureButton(settings, "GoBtn1", QStringLiteral("Erstellt die EXE-Datei..."),
                             QStringLiteral("go"));
  AutoStartCheck = makeCheckBox(settings, "AutoStartCheck",
                                QStringLiteral("Datei nach dem Erstellen ausführen"), false);
  auto* goRow = new QHBoxLayout();
  goRow->addWidget(GoBtn1);
  goRow->addWidget(AutoStartCheck);
  goRow->addStretch();
  grid->addLayout(goRow, 2, 0, 1, 2);

  // The icon of the program to build.
  auto* iconGroup = new QGroupBox(QStringLiteral("Icon der EXE Datei"), settings);
  iconGroup->setObjectName(QStringLiteral("IconGroup"));
  auto* iconRow = new QHBoxLayout(iconGroup);
  PaintBox1 = new PaintBox([this](QPainter& canvas) { PaintBox1Paint(canvas); }, iconGroup);
  PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
  PaintBox1->setFixedSize(32, 32);
  OpenIconBtn = makeGlyphButton(iconGroup, "OpenIconBtn", QStringLiteral("Icon laden..."), "glyph_iconload");
  StdIconBtn = makeGlyphButton(iconGroup, "StdIconBtn", QStringLiteral("Icon zurücksetzen..."), "glyph_iconreset");
  connect(OpenIconBtn, &QPushButton::clicked, this, guarded([this] { OpenIconBtnClick(); }));
  connect(StdIconBtn, &QPushButton::clicked, this, guarded([this] { StdIconBtnClick(); }));
  connect(GoBtn1, &TImageBtn::clicked, this, guarded([this] { GoBtn1Click(); }));
  iconRow->addWidget(PaintBox1);
  iconRow->addWidget(OpenIconBtn);
  iconRow->addWidget(StdIconBtn);
  iconRow->addStretch();
  grid->addWidget(iconGroup, 3, 0, 1, 2);

  // Window size of the program to build.
  auto* sizeGroup = new QGroupBox(QStringLiteral("Fenstergröße"), settings);
  sizeGroup->setObjectName(QStringLiteral("SizeGroup"));
  auto* sizeGrid = new QGridLayout(sizeGroup);
  sizeGrid->setContentsMargins(6, 4, 6, 4);
  sizeGrid->setSpacing(2);
  DefSizeCheck = makeButton<QRadioButton>(sizeGroup, "DefSizeCheck", QStringLiteral("Definierte Größe"));
  FullScreenCheck = makeButton<QRadioButton>(sizeGroup, "FullScreenCheck", QStringLiteral("Maximale Größe"));
  DefSizeCheck->setChecked(true);
  WidthEd = new SpinEdit(64, 1280, 10, 600, sizeGroup);
  WidthEd->setObjectName(QStringLiteral("WidthEd"));
  HeightEd = new SpinEdit(64, 1280, 10, 440, sizeGroup);
  HeightEd->setObjectName(QStringLiteral("HeightEd"));
  FixedSizeCheck = makeCheckBox(sizeGroup, "FixedSizeCheck", QStringLiteral("Feste Größe (kein Menü)"), false);
  sizeGrid->addWidget(DefSizeCheck, 0, 0, 1, 3);
  sizeGrid->addWidget(FullScreenCheck, 1, 0, 1, 3);
  auto* widthLabel = new QLabel(QStringLiteral("Breite:"), sizeGroup);
  widthLabel->setBuddy(WidthEd);
  auto* heightLabel = new QLabel(QStringLiteral("Höhe:"), sizeGroup);
  heightLabel->setBuddy(HeightEd);
  sizeGrid->addWidget(widthLabel, 2, 0);
  sizeGrid->addWidget(WidthEd, 2, 1);
  sizeGrid->addWidget(new QLabel(QStringLiteral("Pixel"), sizeGroup), 2, 2);
  sizeGrid->addWidget(heightLabel, 3, 0);
  sizeGrid->addWidget(HeightEd, 3, 1);
  sizeGrid->addWidget(new QLabel(QStringLiteral("Pixel"), sizeGroup), 3, 2);
  sizeGrid->addWidget(FixedSizeCheck, 4, 0, 1, 3);
  grid->addWidget(sizeGroup, 4, 0);

  // Which window elements the program to build shows.
  auto* elementsGroup = new QGroupBox(QStringLiteral("Fensterelemente"), settings);
  elementsGroup->setObjectName(QStringLiteral("ElementsGroup"));
  auto* elementsGrid = new QGridLayout(elementsGroup);
  elementsGrid->setContentsMargins(6, 4, 6, 4);
  elementsGrid->setHorizontalSpacing(4);
  elementsGrid->setVerticalSpacing(0);
  const QString elementCaptions[10] = {
      QStringLiteral("Statusbar"), QStringLiteral("Tool Leiste"), QStringLiteral("Drucken"),
      QStringLiteral("Beenden"),   QStringLiteral("Über"),        QStringLiteral("Zurück"),
      QStringLiteral("Vorwärts"),  QStringLiteral("Startseite"),  QStringLiteral("Neu laden"),
      QStringLiteral("Beenden Button")};
  for (int i = 0; i < 10; ++i) {
    const QByteArray name = "CheckBox" + QByteArray::number(i + 1);
    CheckBox[i] = makeCheckBox(elementsGroup, name.constData(), elementCaptions[i], true);
    elementsGrid->addWidget(CheckBox[i], i % 5, i / 5);
  }
  auto* nameLabel = new QLabel(QStringLiteral("Projekt Name:"), elementsGroup);
  NameED = new QLineEdit(QStringLiteral("Vantrel"), elementsGroup);
  NameED->setObjectName(QStringLiteral("NameED"));
  restrictToWin1252(NameED);
  nameLabel->setBuddy(NameED);
  elementsGrid->addWidget(nameLabel, 5, 0, 1, 2);
  elementsGrid->addWidget(NameED, 6, 0, 1, 2);
  grid->addWidget(elementsGroup, 4, 1);
  grid->setRowStretch(5, 1);
  return TabSheet6;
}

QWidget* TMainForm::buildBottomBar() {
  auto* bar = new QWidget(this);
  bar->setObjectName(QStringLiteral("Panel1"));
  bar->setFixedHeight(41);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(6, 5, 6, 5);
  wwwBtn = makeButton<QToolButton>(bar, "wwwBtn", kMakerWebAddress,
                                   QStringLiteral("Auf zur Brixtel Homepage..."));
  wwwBtn->setAutoRaise(true);
  wwwBtn->setFocusPolicy(Qt::NoFocus);
  connect(wwwBtn, &QToolButton::clicked, this, &TMainForm::wwwBtnClick);
  ueberbtn = makePictureButton(bar, "ueberbtn", QStringLiteral("Informationen über das Programm"),
                               QStringLiteral("ueber"));
  endebtn = makePictureButton(bar, "endebtn", QStringLiteral("Hiermit verlassen Sie das Programm"),
                              QStringLiteral("ende"));
  connect(endebtn, &TImageBtn::clicked, this, &TMainForm::EndeBtnClick);
  connect(ueberbtn, &TImageBtn::clicked, this, &TMainForm::ueberbtnClick);
  row->addWidget(wwwBtn);
  row->addStretch();
  row->addWidget(ueberbtn);
  row->addWidget(endebtn);
  return bar;
}

void TMainForm::buildStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(19);
  auto* firstPanel = new QWidget(StatusBar1);
  firstPanel->setObjectName(QStringLiteral("StatusPanel0"));
  firstPanel->setFixedWidth(250);
  progressPanel = new ProgressPanel(
      [this](QPainter& canvas, const QRect& rect) { StatusBar1DrawPanel(canvas, rect); },
      [this](QPainter& canvas) { SBarPaintMore(canvas); }, StatusBar1);
  progressPanel->setFixedWidth(50);
  StatusBar1->addWidget(firstPanel);
  StatusBar1->addWidget(progressPanel);
  setStatusBar(StatusBar1);
}

void TMainForm::FormCreate() {
  ProgramFolder = programFolderOf(programFile_);
  openDialogFolder_ = ProgramFolder;
  saveDialogFolder_ = ProgramFolder;
  Setsavedfilename(QString());
  EXENameEdit->setText(ProgramFolder + QStringLiteral("ziel.exe"));
  IconBitmap_ = createIconBitmap();
  loadIconAtStartUp();
}

// The icon of the last run, or the standard icon when "theicon.bmp" cannot be loaded. Start-up
// goes on whatever happens; a folder that cannot be written shows its failures later.
void TMainForm::loadIconAtStartUp() {
  try {
    IconBitmap_ = loadBitmapFile(iconFilePath());
    return;
  } catch (const std::exception&) {
  }
  try {
    StdIconBtnClick();
  } catch (const std::exception&) {
    IconBitmap_ = renderIconBitmap(standardIconPicture());
  }
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
    setWindowTitle(QStringLiteral("Brixtel Vantrel Formulare 1.0 - [%1]").arg(QFileInfo(name).fileName()));
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

void TMainForm::EndeBtnClick() { close(); }

// A new box every time, owned by the main window while it is shown.
void TMainForm::ueberbtnClick() {
  TAboutBox box(this);
  box.exec();
}

void TMainForm::wwwBtnClick() { shellOpen(kMakerWebAddress); }

void TMainForm::EXENameBrowseClick() {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Save;
  request.parent = this;
  request.folder = QFileInfo(EXENameEdit->text()).absolutePath();
  request.fileName = EXENameEdit->text();
  request.filter = QStringLiteral("EXE-Dateien (*.exe)");
  request.defaultSuffix = QStringLiteral("exe");
  if (const auto chosen = chooseFile(request)) EXENameEdit->setText(*chosen);
}

void TMainForm::saveWindowState() {
  if (iniFile_.isEmpty()) return;
  writeWindowState(iniFile_, placementOf(*this), AutoStartCheck->isChecked());
}

void TMainForm::restoreWindowState() {
  if (!iniFile_.isEmpty()) {
    const StoredWindowState state = readWindowState(iniFile_);
    AutoStartCheck->setChecked(state.autoStart);
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

// ---- The icon ----

std::string TMainForm::iconFilePath() const {
  return pathOf(ProgramFolder) + kIconFileName;
}

void TMainForm::StdIconBtnClick() {
  IconBitmap_ = RenderIcon(standardIconPicture(), iconFilePath());
  PaintBox1->update();
}

namespace {

QString pictureFilter() {
  QStringList patterns;
  for (const auto& extension : pictureExtensions()) {
    patterns.append(QStringLiteral("*.") + QString::fromStdString(extension));
  }
  return QStringLiteral("Alle Bilder (%1);;Bitmaps (*.bmp);;Symbole (*.ico);;"
                        "Metadateien (*.wmf *.emf);;JPEG-Bilder (*.jpg *.jpeg);;"
                        "GIF-Bilder (*.gif);;PNG-Bilder (*.png)")
      .arg(patterns.join(u' '));
}

QImage imageOf(const Picture& picture) {
  QImage image(picture.rgba.data(), picture.width, picture.height, picture.width * 4,
               QImage::Format_RGBA8888);
  return image.copy();
}

}  // namespace

// A picture that cannot be loaded raises the loader's error; the icon stays as it was.
void TMainForm::OpenIconBtnClick() {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Open;
  request.parent = this;
  request.title = QStringLiteral("Icon laden");
  request.folder = ProgramFolder;
  request.filter = pictureFilter();
  request.picturePreview = true;
  request.previewLoader = [](const QString& path) {
    return QFileInfo(path).isFile() ? imageOf(loadPicture(pathOf(path))) : QImage();
  };
  const auto chosen = chooseFile(request);
  if (!chosen) return;
  IconBitmap_ = RenderIcon(loadPicture(pathOf(*chosen)), iconFilePath());
  PaintBox1->update();
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

// ---- Building the program ----

namespace {

// Texts of the build are Windows-1252 and flags keep their Windows values.
int showBuildMessage(const exe::BuildMessage& message) {
  return messageBox(fromModel(message.text), message.title ? fromModel(*message.title) : QString(),
                    static_cast<int>(message.flags));
}

void showPageWriteFailed() {
  messageBox(fromModel(kPageWriteFailedMessage), QStringLiteral("Fehler"), MB_OK | MB_ICONERROR);
}

}  // namespace

void TMainForm::GoBtn1Click() {
  exe::BuildJob job;
  job.fields = fieldModel_->fields();
  job.email = toModel(emailEd->text());
  job.settings = settingsFromControls();
  job.outputText = QFile::encodeName(EXENameEdit->text()).toStdString();
  job.supportFolder = pathOf(ProgramFolder);
  job.pageFolder = pathOf(ProgramFolder);
  job.icon = IconBitmap_;
  job.iconPos = IconPos;

  exe::BuildCallbacks callbacks;
  callbacks.show = showBuildMessage;
  callbacks.onEmailMissing = [this] {
    PageControl2->setCurrentIndex(0);
    emailEd->setFocus();
  };
  callbacks.onPageWritten = [](const Status& page) {
    if (!page) showPageWriteFailed();
  };
  const exe::ProgramBuild build = exe::buildProgram(job, callbacks);
  IconPos = build.iconPos;
  if (!build.built()) return;
  // The program runs with the viewer's own icon then; the window has never said so, the
  // log does.
  if (!build.icon) qWarning("%s (%s)", build.icon.reason().c_str(), build.output.c_str());
  if (AutoStartCheck->isChecked()) shellStart(QFile::decodeName(build.output.c_str()));
}

// ---- Form page and preview ----

bool TMainForm::RenderBtnClick() {
  const Status result = writeFormPage(pathOf(ProgramFolder), fieldModel_->fields(), toModel(emailEd->text()));
  if (!result) showPageWriteFailed();
  return result.ok();
}

QWebEngineView* TMainForm::browser() {
  if (!WebBrowser1) {
    WebBrowser1 = new QWebEngineView(BrowserArea);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    browser::setUpForFormPages(WebBrowser1);
    BrowserArea->layout()->addWidget(WebBrowser1);
  }
  return WebBrowser1;
}

void TMainForm::PageControl2Change(int index) {
  if (index == 1) LoadBtnClick();
}

// The page is written anew each time and only then shown: an old page is never passed off
// as the current one.
void TMainForm::LoadBtnClick() {
  if (!RenderBtnClick()) return;
  browser()->load(QUrl::fromLocalFile(ProgramFolder + fromModel(kFormPageFileName)));
}

// The browser keeps its own history; with nothing to go to these do nothing.
void TMainForm::BackBtnClick() {
  if (WebBrowser1) WebBrowser1->back();
}

void TMainForm::FwdBtnClick() {
  if (WebBrowser1) WebBrowser1->forward();
}

void TMainForm::ReloadButtonClick() {
  if (WebBrowser1) WebBrowser1->reload();
}

// ---- Project commands ----

ProjectSettings TMainForm::settingsFromControls() const {
  ProjectSettings settings;
  for (int i = 0; i < kWindowElementCount; ++i) {
    settings.elements[static_cast<std::size_t>(i)] = CheckBox[i]->isChecked();
  }
  settings.width = WidthEd->value();
  settings.height = HeightEd->value();
  settings.definedSize = DefSizeCheck->isChecked();
  settings.fixedSize = FixedSizeCheck->isChecked();
  settings.projectName = toModel(NameED->text());
  return settings;
}

void TMainForm::settingsToControls(const ProjectSettings& settings) {
  for (int i = 0; i < kWindowElementCount; ++i) {
    CheckBox[i]->setChecked(settings.elements[static_cast<std::size_t>(i)]);
  }
  WidthEd->setValue(settings.width);
  HeightEd->setValue(settings.height);
  if (settings.definedSize) {
    DefSizeCheck->setChecked(true);
  } else {
    FullScreenCheck->setChecked(true);
  }
  FixedSizeCheck->setChecked(settings.fixedSize);
  NameED->setText(fromModel(settings.projectName));
}

Project TMainForm::projectFromControls() const {
  Project project;
  project.fields = fieldModel_->fields();
  project.email = toModel(emailEd->text());
  project.settings = settingsFromControls();
  return project;
}

void TMainForm::NewBtnClick() {
  if (messageBox(kDiscardQuestion, QStringLiteral("Datei/Neu"), MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
    return;
  }
  emailEd->clear();
  fieldModel_->setFields(FieldList());
  settingsToControls(newProjectSettings());
  Setsavedfilename(QString());
}

void TMainForm::OpenBtnClick() {
  if (messageBox(kDiscardQuestion, QStringLiteral("Datei/Öffnen"), MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
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
    showError(error);
    return false;
  }
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
    showError(error);
    return false;
  } catch (const NotAProjectFile& error) {
    showError(error);
    return false;
  }
  fieldModel_->setFields(std::move(project.fields));
  emailEd->setText(fromModel(project.email));
  if (project.settings) settingsToControls(*project.settings);
  Setsavedfilename(name);
  return true;
}

// ---- Escape presses "Feld löschen" while the first tab is shown ----

void TMainForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (PageControl2->currentWidget() == TabSheet3) DelFieldBtn->click();
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    ListView1DblClick();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- Field list ----

int TMainForm::selectedRow() const {
  const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void TMainForm::selectRow(int row) {
  if (row < 0 || row >= fieldModel_->rowCount()) {
    ListView1->selectionModel()->clearSelection();
    return;
  }
  const QModelIndex index = fieldModel_->index(row, 0);
  ListView1->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ListView1->scrollTo(index);
}

void TMainForm::NewFieldBtnClick() {
  if (!EditFieldsForm || EditFieldsForm->exec() != QDialog::Accepted) return;
  fieldModel_->appendField(fieldFromEditor(EditFieldsForm->values()));
}

void TMainForm::EditFieldBtnClick() {
  const int row = selectedRow();
  if (row < 0 || !EditFieldsForm) return;
  EditFieldsForm->setValues(
      editorValuesFor(fieldModel_->fieldAt(row), EditFieldsForm->selectedTypeIndex()));
  if (EditFieldsForm->exec() != QDialog::Accepted) return;
  fieldModel_->replaceField(row, fieldFromEditor(EditFieldsForm->values()));
}

void TMainForm::ListView1DblClick() { EditFieldBtnClick(); }

void TMainForm::DelFieldBtnClick() {
  const int row = selectedRow();
  if (row < 0) return;
  if (messageBox(kDeleteQuestion, QStringLiteral("Textfeld löschen"),
                 MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
    return;
  }
  fieldModel_->removeField(row);
  ListView1->selectionModel()->clearSelection();
}

void TMainForm::UpBtnClick() { moveSelectedRow(true); }

void TMainForm::DownBtnClick() { moveSelectedRow(false); }

// Moves as the list view does: a copy goes in at its new place, the original comes out, and
// the copy is selected.
void TMainForm::moveSelectedRow(bool up) {
  const int row = selectedRow();
  const int count = fieldModel_->rowCount();
  const auto plan = up ? planMoveUp(count, row) : planMoveDown(count, row);
  if (!plan) return;
  const FormField moved = fieldModel_->fieldAt(row);
  fieldModel_->insertField(plan->insertAt, moved);
  fieldModel_->removeField(plan->removeAt);
  selectRow(plan->selectAt);
}

// ---- Progress in the status bar ----

bool TMainForm::event(QEvent* event) {
  if (event->type() == ProgressEvent::kType) {
    WMUser(static_cast<ProgressEvent*>(event)->wParam);
    return true;
  }
  return QMainWindow::event(event);
}

void TMainForm::WMUser(int wParam) { SetProStatus(wParam); }

void TMainForm::SetProStatus(int value) {
  if (value < ProgressPercent) {
    ProgressPercent = value;
    SBarRepaintAll();
  } else {
    ProgressPercent = value;
    progressPanel->paintMore();
  }
}

void TMainForm::SBarRepaintAll() { progressPanel->repaintAll(); }

void TMainForm::StatusBar1DrawPanel(QPainter& canvas, const QRect& rect) {
  drawProgressBar(canvas, rect, ProgressPercent);
  ProgressRect = rect;
}

void TMainForm::SBarPaintMore(QPainter& canvas) {
  drawProgressBar(canvas, ProgressRect, ProgressPercent);
}

}  // namespace vantrel
