#include "gui/AboutBoxUnit.h"

#include <qdrawutil.h>

#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "gui/CentredOnScreen.h"
#include "gui/Clock.h"
#include "gui/FailureReport.h"
#include "gui/Maker.h"
#include "gui/Shell.h"
#include "widgets/ButtonsXP.h"
#include "widgets/Fonts.h"
#include "widgets/Pictures.h"

namespace vantrel {
namespace {

// The warm colour of the main window's header bands.
const QColor kPanelColour(240, 202, 166);
const QSize kArtworkSize(306, 322);
const QString kYearPlaceholder = QStringLiteral("XXXX");

const QString kNotice =
    QStringLiteral("Copyright © XXXX Brixtel Computersoftware. Alle Rechte vorbehalten.");
const QString kSelfDescriptionBold = QStringLiteral("Brixtel - kleine Programme, große Wirkung!");
const QString kSelfDescription = QStringLiteral(
    "Software für Büro, Internet und Alltag: einfach zu bedienen, sofort einsetzbar.");

QString commentsText() {
  return QStringLiteral("Dies ist eine Brixtel Computersoftware Produktion. (%1)")
      .arg(kMakerEmailAddress);
}

QString paragraphText() {
  return QStringLiteral(
             "Auf unserer Homepage %1 finden Sie viele weitere Programme von Brixtel, vom kleinen "
             "Helfer für den Alltag bis zum Werkzeug für Ihre eigene Website. Schauen Sie doch "
             "einmal "
             "vorbei, die meisten davon können Sie kostenlos ausprobieren!")
      .arg(kMakerWebAddress);
}

// A panel with a lowered outer and a raised inner bevel around its own colour.
class BevelPanel : public QWidget {
 public:
  explicit BevelPanel(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kPanelColour);
    setPalette(colours);
  }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    const QPalette bevel = QGuiApplication::palette();
    qDrawShadePanel(&painter, rect(), bevel, /*sunken=*/true, 1);
    qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), bevel, /*sunken=*/false, 1);
  }
};

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, bool wrap) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setWordWrap(wrap);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("Info"));
  setFont(QFont(kDialogFontFamily, 8));
  setFixedSize(kClientWidth, kClientHeight);

  buildPanel();
  OKButton = new TBitBtnXP(TBitBtnXP::Kind::OK, this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry((kClientWidth - 75) / 2, 416, 75, 25);

  connectHandler(BitBtnXP1, &QPushButton::clicked, this, &TAboutBox::BitBtnXP1Click);
  FormCreate();
}

void TAboutBox::showEvent(QShowEvent* event) {
  // Placed here, once the window and its frame exist, and after the dialog has placed itself
  // over its owner: this box belongs in the middle of the screen.
  centreOnScreen(*this);
  QDialog::showEvent(event);
  // The box opens with the focus on OK, so Enter closes it rather than opening the web site.
  OKButton->setFocus(Qt::ActiveWindowFocusReason);
}

void TAboutBox::buildPanel() {
  Panel1 = new BevelPanel(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(8, 8, kClientWidth - 16, 398);

  auto* row = new QHBoxLayout(Panel1);
  row->setContentsMargins(14, 14, 16, 14);
  row->setSpacing(16);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
  ProgramIcon->setFixedSize(kArtworkSize);
  ProgramIcon->setPixmap(
      pictureFromResource(QStringLiteral(":/controls/pictures/about_artwork.svg"), kArtworkSize));
  row->addWidget(ProgramIcon, 0, Qt::AlignVCenter);

  auto* column = new QVBoxLayout();
  column->setSpacing(8);
  row->addLayout(column, 1);

  ProductName = makeLabel(Panel1, "ProductName",
                          QStringLiteral("Garantiert ein Original Brixtel Programm"), true);
  QFont headline(kNarrowFontFamily);
  headline.setPixelSize(24);
  headline.setBold(true);
  ProductName->setFont(headline);
  QPalette black = ProductName->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  ProductName->setPalette(black);
  column->addWidget(ProductName);

  Copyright = makeLabel(Panel1, "Copyright", kNotice, true);
  column->addWidget(Copyright);
  Comments = makeLabel(Panel1, "Comments", commentsText(), true);
  column->addWidget(Comments);

  column->addSpacing(6);
  Label1 = makeLabel(Panel1, "Label1", kSelfDescriptionBold, true);
  QFont bold = font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label2 = makeLabel(Panel1, "Label2", kSelfDescription, true);
  auto* selfDescription = new QVBoxLayout();
  selfDescription->setSpacing(2);
  selfDescription->addWidget(Label1);
  selfDescription->addWidget(Label2);
  column->addLayout(selfDescription);

  column->addSpacing(6);
  Label3 = makeLabel(Panel1, "Label3", paragraphText(), true);
  column->addWidget(Label3);
  column->addStretch(1);

  BitBtnXP1 = new TBitBtnXP(kMakerWebAddress, Panel1);
  BitBtnXP1->setObjectName(QStringLiteral("BitBtnXP1"));
  BitBtnXP1->setGlyph(pictureFromResource(QStringLiteral(":/controls/pictures/glyph_web.svg")));
  BitBtnXP1->setFixedSize(220, 27);
  column->addWidget(BitBtnXP1, 0, Qt::AlignLeft);
}

void TAboutBox::FormCreate() {
  const QString year = QString::number(currentLocalDate().year());
  QString notice = Copyright->text();
  const qsizetype at = notice.indexOf(kYearPlaceholder);
  if (at >= 0) notice.replace(at, kYearPlaceholder.size(), year);
  Copyright->setText(notice);
}

void TAboutBox::BitBtnXP1Click() { shellOpen(kMakerWebAddress); }

}  // namespace vantrel
