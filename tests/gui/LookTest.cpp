#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QResource>
#include <QScreen>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>
#include <cstring>
#include <memory>

#include "gui/AboutBoxUnit.h"
#include "gui/Clock.h"
#include "gui/Maker.h"
#include "gui/Shell.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/LookTests.h"
#include "widgets/ButtonsXP.h"
#include "widgets/Fonts.h"
#include "widgets/Pictures.h"
#include "widgets/PixelFile.h"

namespace vantrel::test {

namespace {

using GlyphState = TBitBtnXP::GlyphState;

const QColor kNormal(200, 0, 0);
const QColor kDisabled(128, 128, 128);
const QColor kPressed(0, 0, 200);
const QColor kDown(0, 160, 0);

// A strip of square, single-coloured images side by side.
QPixmap strip(std::initializer_list<QColor> colours, int side = 16) {
  QPixmap pixmap(side * int(colours.size()), side);
  QPainter painter(&pixmap);
  int left = 0;
  for (const QColor& colour : colours) {
    painter.fillRect(left, 0, side, side, colour);
    left += side;
  }
  return pixmap;
}

QColor centreOf(const QPixmap& pixmap) {
  return pixmap.toImage().pixelColor(pixmap.width() / 2, pixmap.height() / 2);
}

QColor drawnAt(QWidget* widget, QPoint point) { return widget->grab().toImage().pixelColor(point); }

// Fixes the date the windows see for as long as it lives.
class FixedDate {
 public:
  explicit FixedDate(QDate date) : previous_(setDateSource([date] { return date; })) {}
  ~FixedDate() { setDateSource(std::move(previous_)); }
  FixedDate(const FixedDate&) = delete;
  FixedDate& operator=(const FixedDate&) = delete;

 private:
  DateSource previous_;
};

class ShellRecorder {
 public:
  ShellRecorder()
      : previous_(setShellOpenHandler([this](const QString& a) { opened.append(a); })) {}
  ~ShellRecorder() { setShellOpenHandler(std::move(previous_)); }
  ShellRecorder(const ShellRecorder&) = delete;
  ShellRecorder& operator=(const ShellRecorder&) = delete;
  QStringList opened;

 private:
  ShellOpenHandler previous_;
};

template <typename T>
T* child(QObject* parent, const char* name) {
  auto* found = parent->findChild<T*>(QString::fromLatin1(name));
  if (!found) qWarning("no child %s", name);
  return found;
}

}  // namespace

void TestLook::glyphStripIsCutIntoOneImagePerState() {
  TBitBtnXP button;
  button.setGlyph(strip({kNormal, kDisabled, kPressed, kDown}));
  QCOMPARE(button.NumGlyphs(), 4);
  QCOMPARE(button.glyphFor(GlyphState::Normal).size(), QSize(16, 16));
  QCOMPARE(centreOf(button.glyphFor(GlyphState::Normal)), kNormal);
  QCOMPARE(centreOf(button.glyphFor(GlyphState::Disabled)), kDisabled);
  QCOMPARE(centreOf(button.glyphFor(GlyphState::Pressed)), kPressed);
  QCOMPARE(centreOf(button.glyphFor(GlyphState::Down)), kDown);
  // The last column of each image belongs to that image, not to its neighbour.
  QCOMPARE(button.glyphFor(GlyphState::Disabled).toImage().pixelColor(15, 0), kDisabled);

  // Two images: normal and disabled; pressed and held down borrow the normal one.
  button.setGlyph(strip({kNormal, kDisabled}));
  QCOMPARE(button.NumGlyphs(), 2);
  QCOMPARE(centreOf(button.glyphFor(GlyphState::Pressed)), kNormal);
  QCOMPARE(centreOf(button.glyphFor(GlyphState::Down)), kNormal);

  // One image: the disabled look is made from it, same size, but not the same picture.
  button.setGlyph(strip({kNormal}));
  QCOMPARE(button.NumGlyphs(), 1);
  const QPixmap made = button.glyphFor(GlyphState::Disabled);
  QCOMPARE(made.size(), QSize(16, 16));
  QVERIFY(centreOf(made) != kNormal);

  // A strip that is no row of squares counts as one image unless told otherwise.
  QPixmap wide(40, 16);
  wide.fill(kNormal);
  button.setGlyph(wide);
  QCOMPARE(button.NumGlyphs(), 1);
  QCOMPARE(button.glyphFor(GlyphState::Normal).width(), 40);
  button.setGlyph(strip({kNormal, kDisabled, kPressed}, 10), 3);
  QCOMPARE(centreOf(button.glyphFor(GlyphState::Pressed)), kPressed);
  button.setNumGlyphs(0);
  QCOMPARE(button.NumGlyphs(), 1);
  button.setNumGlyphs(9);
  QCOMPARE(button.NumGlyphs(), TBitBtnXP::kMaxGlyphs);
}

void TestLook::glyphFollowsTheButtonsState() {
  QWidget window;
  auto* button = new TBitBtnXP(QStringLiteral("Neu laden"), &window);
  button->setGlyph(strip({kNormal, kDisabled, kPressed, kDown}));
  button->setGeometry(10, 10, 160, 30);
  window.resize(200, 60);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  const QPoint glyphCentre = button->glyphRect().center();

  QCOMPARE(drawnAt(button, glyphCentre), kNormal);
  button->setDown(true);
  QCOMPARE(centreOf(button->currentGlyph()), kPressed);
  QCOMPARE(drawnAt(button, glyphCentre), kPressed);
  button->setDown(false);
  button->setCheckable(true);
  button->setChecked(true);
  QCOMPARE(drawnAt(button, glyphCentre), kDown);
  button->setChecked(false);
  button->setCheckable(false);
  button->setEnabled(false);
  QCOMPARE(drawnAt(button, glyphCentre), kDisabled);
  button->setEnabled(true);

  // A press with the mouse shows the pressed image until the release, then clicks as usual.
  QSignalSpy clicks(button, &QPushButton::clicked);
  QTest::mousePress(button, Qt::LeftButton, {}, glyphCentre);
  QCOMPARE(drawnAt(button, glyphCentre), kPressed);
  QTest::mouseRelease(button, Qt::LeftButton, {}, glyphCentre);
  QCOMPARE(drawnAt(button, glyphCentre), kNormal);
  QCOMPARE(clicks.count(), 1);
}

void TestLook::glyphSitsLeftOfTheCaptionAndThePairIsCentred() {
  TBitBtnXP button(QStringLiteral("Feld bearbeiten..."));
  button.setGlyph(strip({kNormal}));
  button.resize(220, 30);
  const QRect glyph = button.glyphRect();
  const QRect caption = button.captionRect();
  QCOMPARE(glyph.size(), QSize(16, 16));
  QCOMPARE(caption.left() - (glyph.right() + 1), 4);
  QVERIFY(qAbs(caption.width() - button.fontMetrics().horizontalAdvance(button.text())) <= 1);
  const int pairCentre = (glyph.left() + caption.right() + 1) / 2;
  QVERIFY2(qAbs(pairCentre - 110) <= 2, qPrintable(QString::number(pairCentre)));
  QVERIFY(qAbs(glyph.center().y() - caption.center().y()) <= 1);

  button.setSpacing(10);
  QCOMPARE(button.captionRect().left() - (button.glyphRect().right() + 1), 10);

  // Without a caption the glyph alone is centred; without a glyph the caption alone.
  TBitBtnXP glyphOnly;
  glyphOnly.setGlyph(strip({kNormal}));
  glyphOnly.resize(100, 30);
  QVERIFY(qAbs(glyphOnly.glyphRect().center().x() - 50) <= 1);
  TBitBtnXP captionOnly(QStringLiteral("OK"));
  captionOnly.resize(100, 30);
  QVERIFY(qAbs(captionOnly.captionRect().center().x() - 50) <= 1);

  // The size it asks for holds glyph, gap and caption.
  QVERIFY(button.sizeHint().width() >= 16 + 10 + caption.width());
}

void TestLook::kindOkIsTheDefaultButtonThatAcceptsItsDialog() {
  QDialog dialog;
  auto* ok = new TBitBtnXP(TBitBtnXP::Kind::OK, &dialog);
  auto* other = new TBitBtnXP(QStringLiteral("Noch etwas"), &dialog);
  other->move(0, 40);
  QCOMPARE(ok->text(), QStringLiteral("OK"));
  QCOMPARE(ok->kind(), TBitBtnXP::Kind::OK);
  QCOMPARE(ok->modalResult(), TBitBtnXP::ModalResult::OK);
  QVERIFY(ok->isDefault());
  QCOMPARE(ok->Glyph().toImage(),
           pictureFromResource(QStringLiteral(":/controls/pictures/glyph_ok.svg")).toImage());

  // Enter in the dialog presses the default button even while another button has the focus.
  dialog.open();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QSignalSpy clicks(ok, &QPushButton::clicked);
  QTest::keyClick(&dialog, Qt::Key_Return);
  QCOMPARE(clicks.count(), 1);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QVERIFY(!dialog.isVisible());

  // A click does the same, and the owner's own handler still runs.
  bool handled = false;
  connect(ok, &QPushButton::clicked, &dialog, [&] { handled = true; });
  dialog.setResult(QDialog::Rejected);
  dialog.open();
  ok->click();
  QVERIFY(handled);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestLook::kindCancelRejectsAndCustomButtonsLeaveTheDialogOpen() {
  QDialog dialog;
  auto* cancel = new TBitBtnXP(TBitBtnXP::Kind::Cancel, &dialog);
  auto* custom = new TBitBtnXP(QStringLiteral("Feld bearbeiten..."), &dialog);
  QCOMPARE(cancel->text(), QStringLiteral("Abbrechen"));
  QVERIFY(!cancel->isDefault());
  QVERIFY(!cancel->Glyph().isNull());
  QCOMPARE(custom->kind(), TBitBtnXP::Kind::Custom);
  QCOMPARE(custom->modalResult(), TBitBtnXP::ModalResult::None);

  dialog.open();
  custom->click();
  QVERIFY(dialog.isVisible());
  dialog.setResult(QDialog::Accepted);
  cancel->click();
  QVERIFY(!dialog.isVisible());
  QCOMPARE(dialog.result(), int(QDialog::Rejected));

  // Outside a dialog a button with a result is an ordinary button.
  QWidget window;
  auto* loose = new TBitBtnXP(TBitBtnXP::Kind::OK, &window);
  window.show();
  loose->click();
  QVERIFY(window.isVisible());
}

void TestLook::aboutBoxHasItsTitleSizeAndTexts() {
  TAboutBox box;
  QCOMPARE(box.windowTitle(), QStringLiteral("Info"));
  QCOMPARE(box.size(), QSize(664, 453));
  QCOMPARE(box.minimumSize(), box.maximumSize());
  QVERIFY(!(box.windowFlags() & Qt::WindowContextHelpButtonHint));

  auto* name = child<QLabel>(&box, "ProductName");
  QVERIFY(name);
  QCOMPARE(name->text(), QStringLiteral("Garantiert ein Original Brixtel Programm"));
  QCOMPARE(name->font().family(), QStringLiteral("Arial Narrow"));
  QVERIFY(name->font().bold());
  QCOMPARE(name->font().pixelSize(), 24);
  QCOMPARE(name->palette().color(QPalette::WindowText), QColor(Qt::black));
  QCOMPARE(
      child<QLabel>(&box, "Comments")->text(),
      QStringLiteral("Dies ist eine Brixtel Computersoftware Produktion. (info@brixtel.example)"));
  QVERIFY(child<QLabel>(&box, "Comments")->wordWrap());
  QVERIFY(child<QLabel>(&box, "Label1")->font().bold());
  QVERIFY(!child<QLabel>(&box, "Label2")->font().bold());
  const QString paragraph = child<QLabel>(&box, "Label3")->text();
  QVERIFY(paragraph.contains(kMakerWebAddress));
  QCOMPARE(paragraph.count(QRegularExpression(QStringLiteral("[.!?](\\s|$)"))), 2);

  auto* icon = child<QLabel>(&box, "ProgramIcon");
  QCOMPARE(icon->size(), QSize(306, 322));
  QCOMPARE(icon->pixmap().size(), QSize(306, 322));
  QCOMPARE(child<TBitBtnXP>(&box, "BitBtnXP1")->text(), kMakerWebAddress);
  auto* ok = child<TBitBtnXP>(&box, "OKButton");
  QCOMPARE(ok->kind(), TBitBtnXP::Kind::OK);

  // Every element sits on the warm panel except the OK button, which sits below it.
  auto* panel = child<QWidget>(&box, "Panel1");
  for (const char* element : {"ProgramIcon", "ProductName", "Copyright", "Comments", "Label1",
                              "Label2", "Label3", "BitBtnXP1"}) {
    QCOMPARE(box.findChild<QWidget*>(QString::fromLatin1(element))->parentWidget(), panel);
  }
  QVERIFY(ok->geometry().top() > panel->geometry().bottom());
  QVERIFY(box.rect().contains(ok->geometry()));
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  const QImage picture = panel->grab().toImage();
  QCOMPARE(picture.pixelColor(panel->width() - 5, panel->height() - 5), QColor(240, 202, 166));
  // The bevels: lowered outside (dark at the top left), raised inside (light at the top left).
  QVERIFY(qGray(picture.pixel(0, 10)) < qGray(picture.pixel(1, 10)));
  QVERIFY(qGray(picture.pixel(panel->width() - 1, 10)) >
          qGray(picture.pixel(panel->width() - 2, 10)));
}

void TestLook::aboutBoxShowsTheYearOfItsCreation() {
  std::unique_ptr<TAboutBox> first;
  {
    FixedDate date(QDate(2031, 5, 17));
    first = std::make_unique<TAboutBox>();
  }
  const QString notice = child<QLabel>(first.get(), "Copyright")->text();
  QVERIFY2(notice.contains(QStringLiteral("2031")), qPrintable(notice));
  QVERIFY(!notice.contains(QStringLiteral("XXXX")));
  QCOMPARE(notice, QStringLiteral(
                       "Copyright \u00A9 2031 Brixtel Computersoftware. Alle Rechte vorbehalten."));

  // A box made later shows its own year; the first one keeps the year it was made with.
  FixedDate later(QDate(2040, 1, 1));
  TAboutBox second;
  QVERIFY(child<QLabel>(&second, "Copyright")->text().contains(QStringLiteral("2040")));
  QCOMPARE(child<QLabel>(first.get(), "Copyright")->text(), notice);
}

void TestLook::aboutBoxIsCentredOnTheScreenNotOverItsOwner() {
  QWidget owner;
  owner.setGeometry(0, 0, 200, 150);
  owner.show();
  TAboutBox box(&owner);
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  const QPoint screenCentre = box.screen()->availableGeometry().center();
  const QPoint boxCentre = box.frameGeometry().center();
  QVERIFY2((boxCentre - screenCentre).manhattanLength() <= 2,
           qPrintable(QDebug::toString(box.frameGeometry())));
}

void TestLook::aboutBoxButtonOpensTheMakersAddressAndStaysOpen() {
  ShellRecorder shell;
  MessageBoxRecorder messages;
  TAboutBox box;
  box.open();
  child<TBitBtnXP>(&box, "BitBtnXP1")->click();
  QCOMPARE(shell.opened, QStringList{kMakerWebAddress});
  QVERIFY(box.isVisible());
  QVERIFY(messages.shown.isEmpty());
}

void TestLook::aboutBoxClosesWithItsOkButton() {
  TAboutBox box;
  int result = -1;
  const bool ran = whileModal(
      &box, [&] { result = box.exec(); }, [&] { child<TBitBtnXP>(&box, "OKButton")->click(); });
  QVERIFY(ran);
  QCOMPARE(result, int(QDialog::Accepted));

  // It opens with the focus on OK: Enter closes it and opens nothing.
  ShellRecorder shell;
  TAboutBox second;
  result = -1;
  QWidget* focused = nullptr;
  QVERIFY(whileModal(
      &second, [&] { result = second.exec(); },
      [&] {
        QVERIFY(QTest::qWaitForWindowActive(&second));
        focused = QApplication::focusWidget();
        QTest::keyClick(focused, Qt::Key_Return);
      }));
  QCOMPARE(focused, child<QWidget>(&second, "OKButton"));
  QCOMPARE(result, int(QDialog::Accepted));
  QVERIFY(shell.opened.isEmpty());
}

void TestLook::layoutFontsMapToInstalledNeighbours() {
  installFontSubstitutes();
  QCOMPARE(QFontInfo(QFont(kDialogFontFamily, 8)).family(), QStringLiteral("Liberation Sans"));
  QCOMPARE(QFontInfo(QFont(kNarrowFontFamily, 12)).family(),
           QStringLiteral("Liberation Sans Narrow"));
  QFont heavy(kHeavyFontFamily, 14);
  heavy.setBold(true);
  QCOMPARE(QFontInfo(heavy).family(), QStringLiteral("Lato Black"));
  // The narrow face really is narrower than the dialog face at the same size.
  const QString sample = QStringLiteral("Garantiert ein Original Brixtel Programm");
  QFont narrow(kNarrowFontFamily);
  narrow.setPixelSize(24);
  QFont regular(kDialogFontFamily);
  regular.setPixelSize(24);
  QVERIFY(QFontMetrics(narrow).horizontalAdvance(sample) <
          QFontMetrics(regular).horizontalAdvance(sample));
}

void TestLook::everyPictureRendersAtItsSize() {
  struct Expected {
    const char* name;
    QSize size;
  };
  const QSize glyph(16, 16);
  const QSize pictureButton(101, 30);
  const Expected pictures[] = {
      {"ueber", pictureButton},
      {"ueber_down", pictureButton},
      {"ende", pictureButton},
      {"ende_down", pictureButton},
      {"go", pictureButton},
      {"go_down", pictureButton},
      {"tb_new", glyph},
      {"tb_open", glyph},
      {"tb_save", glyph},
      {"tb_saveas", glyph},
      {"tab_fields", glyph},
      {"tab_preview", glyph},
      {"tab_exe", glyph},
      {"arrow_up", glyph},
      {"arrow_down", glyph},
      {"glyph_newfield", glyph},
      {"glyph_editfield", glyph},
      {"glyph_deletefield", glyph},
      {"glyph_back", glyph},
      {"glyph_forward", glyph},
      {"glyph_home", glyph},
      {"glyph_reload", glyph},
      {"glyph_iconload", glyph},
      {"glyph_iconreset", glyph},
      {"glyph_ok", glyph},
      {"glyph_cancel", glyph},
      {"glyph_web", glyph},
      {"exe_decoration", QSize(190, 200)},
      {"about_artwork", QSize(306, 322)},
  };
  for (const auto& expected : pictures) {
    const QString path =
        QStringLiteral(":/controls/pictures/%1.svg").arg(QString::fromLatin1(expected.name));
    const QImage image = pictureFromResource(path).toImage();
    QVERIFY2(image.size() == expected.size, qPrintable(path));
    // The pictures shown from the start are drawn by the build, the two larger ones when shown;
    // what the build drew must be what the drawing shows now (a stale copy differs).
    const bool drawnWhenShown = std::strcmp(expected.name, "exe_decoration") == 0 ||
                                std::strcmp(expected.name, "about_artwork") == 0;
    QVERIFY2(
        QResource(
            QStringLiteral(":/controls/rendered/%1.argb").arg(QString::fromLatin1(expected.name)))
                .isValid() != drawnWhenShown,
        qPrintable(path));
    QSvgRenderer drawing(path);
    QImage drawnNow(expected.size, QImage::Format_ARGB32_Premultiplied);
    drawnNow.fill(Qt::transparent);
    QPainter painter(&drawnNow);
    drawing.render(&painter);
    painter.end();
    QVERIFY2(image.convertToFormat(QImage::Format_ARGB32_Premultiplied) == drawnNow,
             qPrintable(path));
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) painted += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    QVERIFY2(painted > image.width() * image.height() / 5, qPrintable(path));
  }
  const QIcon icon = programIcon();
  for (const int side : {16, 24, 32, 48, 64, 128}) {
    QVERIFY2(icon.availableSizes().contains(QSize(side, side)), qPrintable(QString::number(side)));
  }
  // Pixel files that do not hold exactly one picture of a sensible size are refused.
  const QByteArray whole = pixelFileOf(QImage(3, 2, QImage::Format_ARGB32_Premultiplied));
  QCOMPARE(whole.size(), 8 + 3 * 2 * 4);
  QVERIFY(imageFromPixelFile(whole).has_value());
  QByteArray tooLarge = whole;
  tooLarge[1] = 0x7f;  // width 32515 of a 3 x 2 picture's bytes
  QByteArray noHeight = whole;
  noHeight[4] = 0;
  for (const QByteArray& damaged :
       {whole.first(7), whole.chopped(1), whole + QByteArray(1, '\0'), tooLarge, noHeight}) {
    QVERIFY(!imageFromPixelFile(damaged).has_value());
  }
  // Each picture button looks different while held down.
  for (const char* name : {"ueber", "ende", "go"}) {
    const QString normal =
        QStringLiteral(":/controls/pictures/%1.svg").arg(QString::fromLatin1(name));
    const QString pressed =
        QStringLiteral(":/controls/pictures/%1_down.svg").arg(QString::fromLatin1(name));
    QVERIFY(pictureFromResource(normal).toImage() != pictureFromResource(pressed).toImage());
  }
}

}  // namespace vantrel::test
