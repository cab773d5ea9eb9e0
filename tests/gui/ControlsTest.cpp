#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <memory>

#include "app/FormMailDialog.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"
#include "widgets/ImageBtnUnit.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextEdge.h"

namespace vantrel::test {

namespace {

struct SpinEditInWindow {
  QWidget window;
  SpinEdit* spin = new SpinEdit(&window);
  QLineEdit* other = new QLineEdit(&window);
  SpinEditInWindow(int minValue, int maxValue, int start) {
    spin->setLimits(minValue, maxValue);
    spin->setValue(start);
    other->move(0, 40);
    window.show();
    spin->setFocus();
    QApplication::processEvents();
  }
  void retype(const QString& text) {
    spin->setFocus();
    spin->setText(QString());
    QTest::keyClicks(spin, text);
  }
  void leave() {
    other->setFocus();
    QApplication::processEvents();
  }
};

QPixmap filled(QColor colour) {
  QPixmap pixmap(101, 30);
  pixmap.fill(colour);
  return pixmap;
}

}  // namespace

void TestControls::spinEditTakesOnlyDigitsAndSigns() {
  SpinEditInWindow box(1, 10000, 40);
  box.retype(QStringLiteral("1a2b-+"));
  QCOMPARE(box.spin->text(), QStringLiteral("12-+"));
  box.retype(QStringLiteral("x"));
  QCOMPARE(box.spin->text(), QString());
}

void TestControls::spinEditReadsAsTypedUntilItLosesTheFocus() {
  SpinEditInWindow box(64, 1280, 600);
  box.retype(QStringLiteral("5000"));
  QCOMPARE(box.spin->value(), 5000);
  QCOMPARE(box.spin->text(), QStringLiteral("5000"));
  box.leave();
  QCOMPARE(box.spin->value(), 1280);
  QCOMPARE(box.spin->text(), QStringLiteral("1280"));

  box.retype(QStringLiteral("3"));
  QCOMPARE(box.spin->value(), 3);
  box.leave();
  QCOMPARE(box.spin->text(), QStringLiteral("64"));
}

void TestControls::spinEditTextThatIsNoNumberReadsAsTheLowerLimit() {
  SpinEditInWindow box(64, 1280, 600);
  for (const char* text : {"", "-", "+", "1-2", "99999999999"}) {
    box.retype(QString::fromLatin1(text));
    QCOMPARE(box.spin->value(), 64);
  }
  box.leave();
  QCOMPARE(box.spin->text(), QStringLiteral("64"));
}

void TestControls::spinEditLimitsApplyWhenTheProgramSetsAValue() {
  SpinEditInWindow box(64, 1280, 600);
  box.spin->setValue(2000);
  QCOMPARE(box.spin->text(), QStringLiteral("1280"));
  box.spin->setValue(10);
  QCOMPARE(box.spin->text(), QStringLiteral("64"));
  box.spin->setIncrement(10);
  box.spin->setValue(1275);
  box.spin->stepBy(1);
  QCOMPARE(box.spin->value(), 1280);
  box.spin->stepBy(-2);
  QCOMPARE(box.spin->value(), 1260);
}

void TestControls::textBoxesRefuseWhatWindows1252CannotHold() {
  QLineEdit edit;
  restrictToWin1252(&edit);
  edit.show();
  typeText(&edit, QStringLiteral("Grüße €"));
  typeText(&edit, QStringLiteral("\u03A9"));  // Greek capital omega
  QCOMPARE(edit.text(), QStringLiteral("Grüße €"));
  QCOMPARE(toModel(edit.text()), std::string("Gr\xFC\xDF"
                                             "e \x80"));
  QCOMPARE(fromModel("Gr\xFC\xDF"
                     "e \x80"),
           QStringLiteral("Grüße €"));
}

// Typing a character Windows-1252 cannot hold leaves the text as it was and says so under the
// box; a character it holds says nothing.
void TestControls::refusedCharacterIsExplainedUnderTheBox() {
  QLineEdit edit;
  restrictToWin1252(&edit);
  edit.show();
  QVERIFY(QTest::qWaitForWindowExposed(&edit));
  QToolTip::hideText();
  typeText(&edit, QStringLiteral("ódname"));
  QVERIFY(!QToolTip::isVisible());
  typeText(&edit, QStringLiteral("\u0141"));  // a Polish L with stroke
  QCOMPARE(edit.text(), QStringLiteral("ódname"));
  QTRY_VERIFY(QToolTip::isVisible());
  QCOMPARE(QToolTip::text(),
           QStringLiteral(
               "Dieses Zeichen kann nicht übernommen werden (nur Zeichen aus Windows-1252)."));
  QToolTip::hideText();
}

// The settings dialog's label names the default address on one line, never broken inside it.
void TestControls::settingsLabelKeepsTheAddressOnOneLine() {
  FormMailDialog dialog{QString()};
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  auto* label = named<QLabel>(&dialog, "AddressLabel");
  QVERIFY(label->text().contains(QStringLiteral("(leer: ")));
  QVERIFY(!label->wordWrap());
  const QFontMetrics metrics(label->font());
  QVERIFY2(label->width() >= metrics.horizontalAdvance(shownCaption(label->text())),
           qPrintable(QString::number(label->width())));
  QVERIFY(label->height() < 2 * metrics.lineSpacing());
  QCOMPARE(label->buddy(), named<QWidget>(&dialog, "AddressEd"));
  QVERIFY(!mnemonicOf(label->text()).isNull());
}

// The e-mail address, the project name, the output file, the field's name, caption and content
// and the name edited in place in the list have no length limit.
void TestControls::textBoxesWithoutALimitTakeMoreThan32767Characters() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  TMainForm& form = *fixture.form;
  fieldListOf(form)->appendField(FormField{"A", "Textfeld", "", "", "40", "5", "0", "Ja", "Nein"});
  auto* list = named<QTreeView>(&form, "ListView1");
  list->edit(fieldListOf(form)->index(0, FieldListModel::NameColumn));
  QList<QLineEdit*> boxes = {
      named<QLineEdit>(&form, "emailEd"),         named<QLineEdit>(&form, "NameED"),
      named<QLineEdit>(&form, "EXENameEdit"),     named<QLineEdit>(fixture.editor, "NameEd"),
      named<QLineEdit>(fixture.editor, "DescEd"), named<QLineEdit>(fixture.editor, "ValueEd"),
      list->viewport()->findChild<QLineEdit*>()};
  const QString longText(40000, u'x');
  for (QLineEdit* box : boxes) {
    QVERIFY(box);
    box->setText(longText);
    QVERIFY2(box->text().size() == longText.size(), qPrintable(box->objectName()));
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClicks(box, QStringLiteral("yz"));
    QVERIFY2(box->text().endsWith(QStringLiteral("xyz")), qPrintable(box->objectName()));
  }
}

void TestControls::imageBtnShowsPressedOnlyWhileHeldOverIt() {
  QWidget window;
  auto* button = new TImageBtn(&window);
  button->setPicture(filled(Qt::white));
  button->setPicture2(filled(Qt::black));
  button->move(10, 10);
  window.resize(200, 100);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QSignalSpy clicks(button, &TImageBtn::clicked);

  QTest::mouseMove(button, QPoint(5, 5));
  QVERIFY(!button->isShowingPressed());

  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
  QVERIFY(button->isShowingPressed());
  QCOMPARE(button->Picture().toImage().pixelColor(0, 0), QColor(Qt::black));
  QMouseEvent outside(QEvent::MouseMove, QPointF(150, 5), button->mapToGlobal(QPointF(150, 5)),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(button, &outside);
  QVERIFY(!button->isShowingPressed());
  QCOMPARE(button->Picture().toImage().pixelColor(0, 0), QColor(Qt::white));
  QMouseEvent back(QEvent::MouseMove, QPointF(20, 5), button->mapToGlobal(QPointF(20, 5)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(button, &back);
  QVERIFY(button->isShowingPressed());
  QApplication::sendEvent(button, &outside);
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(150, 5));
  QVERIFY(!button->isShowingPressed());
  QCOMPARE(clicks.count(), 0);

  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
  QCOMPARE(clicks.count(), 1);
  QCOMPARE(button->Picture().toImage().pixelColor(0, 0), QColor(Qt::white));
}

void TestControls::imageBtnRightPressShowsPressedButNeverClicks() {
  QWidget window;
  auto* button = new TImageBtn(&window);
  button->setPicture(filled(Qt::white));
  button->setPicture2(filled(Qt::black));
  window.show();
  QSignalSpy clicks(button, &TImageBtn::clicked);
  QTest::mousePress(button, Qt::RightButton, {}, QPoint(5, 5));
  QVERIFY(button->isShowingPressed());
  QTest::mouseRelease(button, Qt::RightButton, {}, QPoint(5, 5));
  QVERIFY(!button->isShowingPressed());
  QCOMPARE(clicks.count(), 0);
  // The normal picture survives repeated presses.
  QTest::mousePress(button, Qt::RightButton, {}, QPoint(5, 5));
  QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
  QCOMPARE(button->Picture().toImage().pixelColor(0, 0), QColor(Qt::white));
}

}  // namespace vantrel::test
