#include "gui/EditFieldsFUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/CentredOnScreen.h"
#include "gui/FailureReport.h"
#include "gui/MessageBox.h"
#include "gui/TabChain.h"
#include "widgets/ButtonsXP.h"
#include "widgets/Fonts.h"
#include "widgets/Pictures.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextEdge.h"

namespace vantrel {
namespace {

const QString kNameNotice = QStringLiteral(
    "Der interne Namen wurde den Regel angepasst. Erlaubte Zeichen sind A-Z,a-z,0-9 "
    "(1. Zeichen darf keine Zahl sein) sowie der Unterstrich _");
const QString kEmptyNameMessage = QStringLiteral(
    "Das Feld benötigt einen internen Namen, dieser wird per eMail übermittelt. Erlaubte "
    "Zeichen sind A-Z,a-z,0-9 (ab 2. Zeichen) sowie der Unterstrich _");
const QString kEmptyContentMessage = QStringLiteral(
    "Das Feld benötigt einen \"Inhalt\", dieser wird per eMail übermittelt, wenn das Feld "
    "ausgewählt wurde.");
const QString kErrorTitle = QStringLiteral("Fehler");

QLineEdit* makeTextBox(QWidget* parent, const char* objectName) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(objectName));
  restrictToWin1252(edit);
  liftLengthLimit(edit);
  return edit;
}

SpinEdit* makeSpinEdit(QWidget* parent, const char* objectName, int minValue, int maxValue,
                       int startValue) {
  auto* spin = new SpinEdit(minValue, maxValue, 1, startValue, parent);
  spin->setObjectName(QString::fromLatin1(objectName));
  return spin;
}

QLabel* makeLabel(QWidget* parent, const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

TEditFieldsForm::TEditFieldsForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("EditFieldsForm"));
  setWindowTitle(QStringLiteral("Formularfeld bearbeiten"));
  // A dialog of fixed size: a title and a close button, nothing to minimise or maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(programIcon());
  setFont(QFont(kDialogFontFamily, 8));
  buildControls();
  setTabOrder();
  setFixedSize(507, 336);
  FormCreate();
}

void TEditFieldsForm::buildControls() {
  NameEd = makeTextBox(this, "NameEd");
  FieldTyp = new QComboBox(this);
  FieldTyp->setObjectName(QStringLiteral("FieldTyp"));
  FieldTyp->setEditable(false);
  for (const auto type : kFieldTypeTexts) FieldTyp->addItem(fromModel(type));
  DescEd = makeTextBox(this, "DescEd");
  ValueEd = makeTextBox(this, "ValueEd");
  BreitEd = makeSpinEdit(this, "BreitEd", 1, 10000, 40);
  HochEd = makeSpinEdit(this, "HochEd", 1, 10000, 5);
  MaxCharEd = makeSpinEdit(this, "MaxCharEd", 0, 10000, 0);
  PflichtCheck = new QCheckBox(QStringLiteral("Feld muss ausgefüllt &werden"), this);
  PflichtCheck->setObjectName(QStringLiteral("PflichtCheck"));
  PreselectedCheck = new QCheckBox(QStringLiteral("Feld ist &vorausgewählt"), this);
  PreselectedCheck->setObjectName(QStringLiteral("PreselectedCheck"));
  // OK validates before it closes the dialog, so it is an ordinary button with the OK look.
  OkBtn = new TBitBtnXP(QStringLiteral("OK"), this);
  OkBtn->setObjectName(QStringLiteral("OkBtn"));
  OkBtn->setGlyph(
      pictureFromResource(QStringLiteral(":/controls/pictures/glyph_ok.svg"), QSize(16, 16)), 1);
  OkBtn->setDefault(true);
  OkBtn->setAutoDefault(false);
  CancelBtn = new TBitBtnXP(TBitBtnXP::Kind::Cancel, this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setAutoDefault(false);
  connectHandler(OkBtn, &QPushButton::clicked, this, &TEditFieldsForm::OkBtnClick);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(2);
  layout->addWidget(makeLabel(
      this,
      QStringLiteral(
          "&Interner Name (zusammenhängende Optionsfelder benötigen den gleichen Namen):"),
      NameEd));
  layout->addWidget(NameEd);
  layout->addWidget(makeLabel(this, QStringLiteral("&Feldtyp:"), FieldTyp));
  layout->addWidget(FieldTyp);
  layout->addWidget(
      makeLabel(this,
                QStringLiteral("&Beschriftung (ist auch der Text für die Typen \"Überschrift\" und "
                               "\"Normaler Text\"):"),
                DescEd));
  layout->addWidget(DescEd);
  auto* valueLabel = makeLabel(
      this,
      QStringLiteral("In&halt (bei Optionsfeldern und Ankreuzfeldern der Name der per eMail "
                     "übermittelt wird wenn ausgewählt):"),
      ValueEd);
  valueLabel->setWordWrap(true);
  layout->addWidget(valueLabel);
  layout->addWidget(ValueEd);

  auto* sizes = new QGridLayout();
  sizes->addWidget(makeLabel(this, QStringLiteral("Breite in &Zeichen:"), BreitEd), 0, 0);
  sizes->addWidget(
      makeLabel(this, QStringLiteral("Höhe in Zei&len (bei mehrzeiligen Feldern):"), HochEd), 0, 1);
  sizes->addWidget(BreitEd, 1, 0, Qt::AlignLeft);
  sizes->addWidget(HochEd, 1, 1, Qt::AlignLeft);
  layout->addLayout(sizes);
  layout->addWidget(makeLabel(
      this,
      QStringLiteral("&Maximale Anzahl von Zeichen (bei Textfeldern; 0=beliebig viele Zeichen):"),
      MaxCharEd));
  layout->addWidget(MaxCharEd, 0, Qt::AlignLeft);

  auto* checks = new QHBoxLayout();
  checks->addWidget(PflichtCheck);
  checks->addWidget(PreselectedCheck);
  checks->addStretch();
  layout->addLayout(checks);
  layout->addStretch();

  auto* separator = new QFrame(this);
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  layout->addWidget(separator);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(OkBtn);
  buttons->addWidget(CancelBtn);
  buttons->addStretch();
  layout->addLayout(buttons);
}

// Name, type, content and the three sizes first, then the buttons, then caption and checks.
void TEditFieldsForm::setTabOrder() {
  setTabChain({NameEd, FieldTyp, ValueEd, BreitEd, HochEd, MaxCharEd, OkBtn, CancelBtn, DescEd,
               PflichtCheck, PreselectedCheck});
}

// Every time it opens, in the middle of the screen rather than over the main window.
void TEditFieldsForm::showEvent(QShowEvent* event) {
  centreOnScreen(*this);
  QDialog::showEvent(event);
}

void TEditFieldsForm::FormCreate() { FieldTyp->setCurrentIndex(0); }

int TEditFieldsForm::selectedTypeIndex() const { return FieldTyp->currentIndex(); }

FieldEditorValues TEditFieldsForm::values() const {
  FieldEditorValues values;
  values.name = toModel(NameEd->text());
  values.typeIndex = selectedTypeIndex();
  values.caption = toModel(DescEd->text());
  values.content = toModel(ValueEd->text());
  values.width = toModel(BreitEd->text());
  values.height = toModel(HochEd->text());
  values.maxChars = toModel(MaxCharEd->text());
  values.mandatory = PflichtCheck->isChecked();
  values.preselected = PreselectedCheck->isChecked();
  return values;
}

// Sizes from a row are shown as stored; the spin edits' limits apply once the user leaves
// them, as with typed text.
void TEditFieldsForm::setValues(const FieldEditorValues& values) {
  NameEd->setText(fromModel(values.name));
  if (values.typeIndex >= 0 && values.typeIndex < FieldTyp->count()) {
    FieldTyp->setCurrentIndex(values.typeIndex);
  }
  DescEd->setText(fromModel(values.caption));
  ValueEd->setText(fromModel(values.content));
  BreitEd->setText(fromModel(values.width));
  HochEd->setText(fromModel(values.height));
  MaxCharEd->setText(fromModel(values.maxChars));
  PflichtCheck->setChecked(values.mandatory);
  PreselectedCheck->setChecked(values.preselected);
}

void TEditFieldsForm::OkBtnClick() {
  const EditorCheck check =
      checkEditorInput(toModel(NameEd->text()), selectedTypeIndex(), toModel(ValueEd->text()));
  if (check.nameChanged) messageBox(kNameNotice, kErrorTitle, MB_OK | MB_ICONERROR);
  NameEd->setText(fromModel(check.filteredName));
  switch (check.verdict) {
    case EditorVerdict::EmptyName:
      messageBox(kEmptyNameMessage, kErrorTitle, MB_OK | MB_ICONERROR);
      return;
    case EditorVerdict::EmptyContent:
      messageBox(kEmptyContentMessage, kErrorTitle, MB_OK | MB_ICONERROR);
      return;
    case EditorVerdict::Accept:
      accept();
      return;
  }
}

}  // namespace vantrel
