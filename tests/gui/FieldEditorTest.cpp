#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "gui/EditFieldsFUnit.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"
#include "widgets/ButtonsXP.h"
#include "widgets/SpinEdit.h"

namespace vantrel::test {

namespace {

const QString kNotice = QStringLiteral(
    "Der interne Namen wurde den Regel angepasst. Erlaubte Zeichen sind A-Z,a-z,0-9 "
    "(1. Zeichen darf keine Zahl sein) sowie der Unterstrich _");
const QString kEmptyName = QStringLiteral(
    "Das Feld benötigt einen internen Namen, dieser wird per eMail übermittelt. Erlaubte "
    "Zeichen sind A-Z,a-z,0-9 (ab 2. Zeichen) sowie der Unterstrich _");
const QString kEmptyContent = QStringLiteral(
    "Das Feld benötigt einen \"Inhalt\", dieser wird per eMail übermittelt, wenn das Feld "
    "ausgewählt wurde.");

struct EditorRun {
  bool accepted = false;
  bool stayedOpen = false;
};

// Shows the editor modally, lets `act` work in it, and reports how it ended.
EditorRun runEditor(TEditFieldsForm& editor, const std::function<void()>& act) {
  EditorRun run;
  whileModal(
      &editor, [&] { run.accepted = editor.exec() == QDialog::Accepted; }, act, &run.stayedOpen);
  return run;
}

}  // namespace

void TestFieldEditor::startsWithItsInitialValuesAndTabOrder() {
  TEditFieldsForm editor;
  QCOMPARE(editor.windowTitle(), QStringLiteral("Formularfeld bearbeiten"));
  QCOMPARE(editor.size(), QSize(507, 336));
  QCOMPARE(named<QComboBox>(&editor, "FieldTyp")->count(), 8);
  QCOMPARE(named<QComboBox>(&editor, "FieldTyp")->currentIndex(), 0);
  QCOMPARE(named<QComboBox>(&editor, "FieldTyp")->itemText(6), QStringLiteral("Überschrift"));
  QVERIFY(!named<QComboBox>(&editor, "FieldTyp")->isEditable());
  const FieldEditorValues values = editor.values();
  QCOMPARE(values.width, std::string("40"));
  QCOMPARE(values.height, std::string("5"));
  QCOMPARE(values.maxChars, std::string("0"));
  QVERIFY(!values.mandatory);
  QVERIFY(!values.preselected);
  QCOMPARE(named<SpinEdit>(&editor, "MaxCharEd")->minValue(), 0);
  QCOMPARE(named<SpinEdit>(&editor, "BreitEd")->maxValue(), 10000);
  QVERIFY(named<TBitBtnXP>(&editor, "OkBtn")->isDefault());

  QList<QWidget*> expected;
  for (const char* name : {"NameEd", "FieldTyp", "ValueEd", "BreitEd", "HochEd", "MaxCharEd",
                           "OkBtn", "CancelBtn", "DescEd", "PflichtCheck", "PreselectedCheck"}) {
    expected.append(named<QWidget>(&editor, name));
  }
  editor.show();
  editor.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&editor));
  named<QLineEdit>(&editor, "NameEd")->setFocus();
  for (qsizetype i = 0; i + 1 < expected.size(); ++i) {
    QWidget* focused = QApplication::focusWidget();
    QVERIFY2(focused == expected[i] || expected[i]->isAncestorOf(focused),
             qPrintable(expected[i]->objectName()));
    QTest::keyClick(focused, Qt::Key_Tab);
  }
  QVERIFY(QApplication::focusWidget() == named<QCheckBox>(&editor, "PreselectedCheck"));
  editor.hide();
}

void TestFieldEditor::nameFilterNoticeThenCloses() {
  TEditFieldsForm editor;
  MessageBoxRecorder messages;
  const auto run = runEditor(editor, [&] {
    named<QLineEdit>(&editor, "NameEd")->setText(QStringLiteral("1. Frage"));
    named<TBitBtnXP>(&editor, "OkBtn")->click();
  });
  QVERIFY(run.accepted);
  QCOMPARE(messages.texts(), QStringList{kNotice});
  QCOMPARE(messages.shown[0].title, QStringLiteral("Fehler"));
  QCOMPARE(messages.shown[0].flags, MB_OK | MB_ICONERROR);
  QCOMPARE(named<QLineEdit>(&editor, "NameEd")->text(), QStringLiteral("Frage"));

  messages.shown.clear();
  QVERIFY(runEditor(editor, [&] {
            named<QLineEdit>(&editor, "NameEd")->setText(QStringLiteral("Größe"));
            named<TBitBtnXP>(&editor, "OkBtn")->click();
          }).accepted);
  QCOMPARE(named<QLineEdit>(&editor, "NameEd")->text(), QStringLiteral("Gre"));
  QCOMPARE(messages.texts(), QStringList{kNotice});

  messages.shown.clear();
  QVERIFY(runEditor(editor, [&] {
            named<QLineEdit>(&editor, "NameEd")->setText(QStringLiteral("Alter"));
            named<TBitBtnXP>(&editor, "OkBtn")->click();
          }).accepted);
  QVERIFY(messages.shown.isEmpty());
}

void TestFieldEditor::nameThatFiltersToNothingGivesBothMessages() {
  TEditFieldsForm editor;
  MessageBoxRecorder messages;
  const auto run = runEditor(editor, [&] {
    named<QLineEdit>(&editor, "NameEd")->setText(QStringLiteral("12"));
    named<TBitBtnXP>(&editor, "OkBtn")->click();
  });
  QVERIFY(run.stayedOpen);
  QCOMPARE(messages.texts(), (QStringList{kNotice, kEmptyName}));
  QCOMPARE(named<QLineEdit>(&editor, "NameEd")->text(), QString());
}

void TestFieldEditor::emptyNameGivesOnlyTheNameMessage() {
  TEditFieldsForm editor;
  MessageBoxRecorder messages;
  named<QComboBox>(&editor, "FieldTyp")->setCurrentIndex(4);
  const auto run = runEditor(editor, [&] { named<TBitBtnXP>(&editor, "OkBtn")->click(); });
  QVERIFY(run.stayedOpen);
  QCOMPARE(messages.texts(), QStringList{kEmptyName});
}

void TestFieldEditor::optionFieldsAndCheckBoxesNeedContent() {
  TEditFieldsForm editor;
  MessageBoxRecorder messages;
  for (int type : {2, 3}) {
    messages.shown.clear();
    const auto run = runEditor(editor, [&] {
      named<QLineEdit>(&editor, "NameEd")->setText(QStringLiteral("Wahl"));
      named<QComboBox>(&editor, "FieldTyp")->setCurrentIndex(type);
      named<QLineEdit>(&editor, "ValueEd")->clear();
      named<TBitBtnXP>(&editor, "OkBtn")->click();
    });
    QVERIFY(run.stayedOpen);
    QCOMPARE(messages.texts(), QStringList{kEmptyContent});
  }
  messages.shown.clear();
  QVERIFY(runEditor(editor, [&] {
            named<QLineEdit>(&editor, "ValueEd")->setText(QStringLiteral(" "));
            named<TBitBtnXP>(&editor, "OkBtn")->click();
          }).accepted);
  QVERIFY(messages.shown.isEmpty());
}

void TestFieldEditor::cancelClosesWithoutAnyCheck() {
  TEditFieldsForm editor;
  MessageBoxRecorder messages;
  auto run = runEditor(editor, [&] {
    named<QLineEdit>(&editor, "NameEd")->setText(QStringLiteral("1 2 3"));
    QTest::keyClick(named<QLineEdit>(&editor, "NameEd"), Qt::Key_Escape);
  });
  QVERIFY(!run.accepted);
  QVERIFY(!run.stayedOpen);
  run = runEditor(editor, [&] { named<TBitBtnXP>(&editor, "CancelBtn")->click(); });
  QVERIFY(!run.accepted);
  QVERIFY(messages.shown.isEmpty());
  QCOMPARE(named<QLineEdit>(&editor, "NameEd")->text(), QStringLiteral("1 2 3"));
}

void TestFieldEditor::spinEditConfirmedWithEnterKeepsTheTypedText() {
  TEditFieldsForm editor;
  MessageBoxRecorder messages;
  const auto run = runEditor(editor, [&] {
    named<QLineEdit>(&editor, "NameEd")->setText(QStringLiteral("Alter"));
    named<SpinEdit>(&editor, "BreitEd")->setFocus();
    named<SpinEdit>(&editor, "BreitEd")->setText(QString());
    QTest::keyClicks(named<SpinEdit>(&editor, "BreitEd"), QStringLiteral("0"));
    QTest::keyClick(named<SpinEdit>(&editor, "BreitEd"), Qt::Key_Return);
  });
  QVERIFY(run.accepted);
  QCOMPARE(editor.values().width, std::string("0"));
}

void TestFieldEditor::spinEditConfirmedWithAClickIsBroughtIntoItsLimits() {
  TEditFieldsForm editor;
  MessageBoxRecorder messages;
  const auto run = runEditor(editor, [&] {
    named<QLineEdit>(&editor, "NameEd")->setText(QStringLiteral("Alter"));
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    named<SpinEdit>(&editor, "BreitEd")->setFocus();
    named<SpinEdit>(&editor, "BreitEd")->setText(QString());
    QTest::keyClicks(named<SpinEdit>(&editor, "BreitEd"), QStringLiteral("0"));
    QTest::mouseClick(named<TBitBtnXP>(&editor, "OkBtn"), Qt::LeftButton);
  });
  QVERIFY(run.accepted);
  QCOMPARE(editor.values().width, std::string("1"));
}

// As a user sees it: the window is active, so closing the dialog takes the focus from the
// spin edit; what was typed and confirmed with Enter is what the row gets.
void TestFieldEditor::sizesConfirmedWithEnterAreStoredAsTypedInTheActiveWindow() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowActive(fixture.form.get()));
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  struct Case {
    const char* spin;
    const char* typed;
    std::string FormField::*member;
  };
  const Case cases[] = {{"BreitEd", "0", &FormField::Width},
                        {"BreitEd", "99999", &FormField::Width},
                        {"HochEd", "0", &FormField::Height},
                        {"MaxCharEd", "99999", &FormField::MaxChars}};
  int row = 0;
  for (const Case& c : cases) {
    QVERIFY(whileModal(
        fixture.editor, [&] { named<QPushButton>(&form, "NewFieldBtn")->click(); },
        [&] {
          QVERIFY(QTest::qWaitForWindowActive(fixture.editor));
          named<QLineEdit>(fixture.editor, "NameEd")->setText(QStringLiteral("Alter"));
          auto* spin = named<SpinEdit>(fixture.editor, c.spin);
          spin->setFocus();
          spin->setText(QString());
          QTest::keyClicks(spin, QString::fromLatin1(c.typed));
          QTest::keyClick(spin, Qt::Key_Return);
        }));
    QCOMPARE(fieldListOf(form)->rowCount(), row + 1);
    QVERIFY2(fieldListOf(form)->fieldAt(row).*c.member == c.typed, c.spin);
    ++row;
  }
  QVERIFY(messages.shown.isEmpty());
}

void TestFieldEditor::opensCentredOnTheScreenWhereverTheMainWindowIs() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  QVERIFY(QTest::qWaitForWindowActive(&form));
  for (const QPoint& mainWindowAt : {QPoint(0, 0), QPoint(150, 250)}) {
    form.move(mainWindowAt);
    QRect editorFrame;
    QVERIFY(whileModal(
        fixture.editor, [&] { named<QPushButton>(&form, "NewFieldBtn")->click(); },
        [&] {
          QVERIFY(QTest::qWaitForWindowExposed(fixture.editor));
          editorFrame = fixture.editor->frameGeometry();
          named<QPushButton>(fixture.editor, "CancelBtn")->click();
        }));
    const QPoint screenCentre = form.screen()->availableGeometry().center();
    QVERIFY2((editorFrame.center() - screenCentre).manhattanLength() <= 2,
             qPrintable(QDebug::toString(editorFrame)));
  }
}

}  // namespace vantrel::test
