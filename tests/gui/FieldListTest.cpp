#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "app/FieldListModel.h"
#include "gui/EditFieldsFUnit.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"
#include "widgets/SpinEdit.h"

namespace vantrel::test {

namespace {

FormField row(const char* name, const char* type = "Textfeld") {
  FormField field;
  field.InternalName = name;
  field.TypeText = type;
  field.CaptionText = std::string("Caption ") + name;
  field.Content = std::string("Content ") + name;
  field.Width = "40";
  field.Height = "5";
  field.MaxChars = "0";
  field.OptionalFlag = "Ja";
  field.PreselectedFlag = "Nein";
  return field;
}

void fillList(TMainForm& form, const std::string& names) {
  for (char c : names) fieldListOf(form)->appendField(row(std::string(1, c).c_str()));
}

std::string namesOf(TMainForm& form) {
  std::string names;
  for (const auto& field : fieldListOf(form)->fields().rows()) names += field.InternalName;
  return names;
}

// Fills the editor like a user and presses OK.
void typeIntoEditor(TEditFieldsForm* editor, const QString& name, int type, bool mandatory) {
  named<QLineEdit>(editor, "NameEd")->setText(name);
  named<QComboBox>(editor, "FieldTyp")->setCurrentIndex(type);
  named<QCheckBox>(editor, "PflichtCheck")->setChecked(mandatory);
  QTest::mouseClick(named<QPushButton>(editor, "OkBtn"), Qt::LeftButton);
}

}  // namespace

void TestFieldList::newFieldAppendsWhatTheEditorHolds() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  selectRow(form, 0);
  QVERIFY(whileModal(
      fixture.editor, [&] { named<QPushButton>(&form, "NewFieldBtn")->click(); },
      [&] { typeIntoEditor(fixture.editor, QStringLiteral("Alter"), 1, true); }));
  QCOMPARE(fieldListOf(form)->rowCount(), 3);
  const FormField& added = fieldListOf(form)->fieldAt(2);
  QCOMPARE(added.InternalName, std::string("Alter"));
  QCOMPARE(added.TypeText, std::string("Mehrzeiliges Textfeld"));
  QCOMPARE(added.Width, std::string("40"));
  QCOMPARE(added.Height, std::string("5"));
  QCOMPARE(added.MaxChars, std::string("0"));
  QCOMPARE(added.OptionalFlag, std::string("Nein"));
  QCOMPARE(added.PreselectedFlag, std::string("Nein"));
  QCOMPARE(selectedRow(form), 0);  // the new row is not selected
  QVERIFY(messages.shown.isEmpty());

  // The list view shows "Nein" under "Optional".
  const QModelIndex optional = fieldListOf(form)->index(2, FieldListModel::OptionalColumn);
  QCOMPARE(fieldListOf(form)->data(optional).toString(), QStringLiteral("Nein"));
  QCOMPARE(fieldListOf(form)->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Höhe"));

  // A cancelled new field adds nothing.
  QVERIFY(whileModal(
      fixture.editor, [&] { named<QPushButton>(&form, "NewFieldBtn")->click(); },
      [&] { named<QPushButton>(fixture.editor, "CancelBtn")->click(); }));
  QCOMPARE(fieldListOf(form)->rowCount(), 3);
}

void TestFieldList::newFieldAfterACancelledEditShowsThatRowsValues() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  FormField stored = row("Farbe", "Ankreuzfeld");
  stored.OptionalFlag = "Nein";
  stored.PreselectedFlag = "Ja";
  fieldListOf(form)->appendField(stored);
  selectRow(form, 0);
  QVERIFY(whileModal(
      fixture.editor, [&] { named<QPushButton>(&form, "EditFieldBtn")->click(); },
      [&] { named<QPushButton>(fixture.editor, "CancelBtn")->click(); }));
  QCOMPARE(fieldListOf(form)->fieldAt(0), stored);

  FieldEditorValues seen;
  QVERIFY(whileModal(
      fixture.editor, [&] { named<QPushButton>(&form, "NewFieldBtn")->click(); },
      [&] {
        seen = fixture.editor->values();
        named<QPushButton>(fixture.editor, "CancelBtn")->click();
      }));
  QCOMPARE(seen.name, std::string("Farbe"));
  QCOMPARE(seen.typeIndex, 3);
  QCOMPARE(seen.content, std::string("Content Farbe"));
  QVERIFY(seen.mandatory);
  QVERIFY(seen.preselected);
}

void TestFieldList::editWritesBackInPlaceAndKeepsTheSelection() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fillList(form, "ABC");
  selectRow(form, 1);
  QVERIFY(whileModal(
      fixture.editor, [&] { named<QPushButton>(&form, "EditFieldBtn")->click(); },
      [&] {
        QCOMPARE(named<QLineEdit>(fixture.editor, "NameEd")->text(), QStringLiteral("B"));
        named<QLineEdit>(fixture.editor, "DescEd")->setText(QStringLiteral("Größe in cm"));
        typeIntoEditor(fixture.editor, QStringLiteral("Groesse"), 0, false);
      }));
  QCOMPARE(namesOf(form), std::string("AGroesseC"));
  QCOMPARE(fieldListOf(form)->fieldAt(1).CaptionText, std::string("Gr\xF6\xDF"
                                                                  "e in cm"));
  QCOMPARE(selectedRow(form), 1);
}

void TestFieldList::editOfAnUnknownTypeKeepsTheEditorsType() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  FormField odd = row("X", "Dropdown");
  odd.PreselectedFlag = "";
  fieldListOf(form)->appendField(odd);
  named<QComboBox>(fixture.editor, "FieldTyp")->setCurrentIndex(6);
  selectRow(form, 0);
  FieldEditorValues seen;
  QVERIFY(whileModal(
      fixture.editor, [&] { named<QPushButton>(&form, "EditFieldBtn")->click(); },
      [&] {
        seen = fixture.editor->values();
        named<QPushButton>(fixture.editor, "CancelBtn")->click();
      }));
  QCOMPARE(seen.typeIndex, 6);
  QVERIFY(seen.preselected);  // anything but "Nein" ticks the box
}

void TestFieldList::withoutSelectionNothingHappens() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  bool editorShown = false;
  QTimer::singleShot(0, fixture.editor, [&] {
    editorShown = fixture.editor->isVisible();
    if (editorShown) fixture.editor->reject();
  });
  named<QPushButton>(&form, "EditFieldBtn")->click();
  named<QPushButton>(&form, "DelFieldBtn")->click();
  named<QToolButton>(&form, "UpBtn")->click();
  named<QToolButton>(&form, "DownBtn")->click();
  QTest::mouseDClick(named<QTreeView>(&form, "ListView1")->viewport(), Qt::LeftButton, {},
                     QPoint(5, 200));
  QApplication::processEvents();
  QVERIFY(!editorShown);
  QVERIFY(messages.shown.isEmpty());
  QCOMPARE(namesOf(form), std::string("AB"));
}

void TestFieldList::deleteAsksAndOnlyOkRemoves() {
  MainFormFixture fixture;
  MessageBoxRecorder messages;
  TMainForm& form = *fixture.form;
  fillList(form, "A");
  selectRow(form, 0);
  messages.answers = {IDCANCEL};
  named<QPushButton>(&form, "DelFieldBtn")->click();
  QCOMPARE(namesOf(form), std::string("A"));
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text, QStringLiteral("Hiermit löschen Sie das Textfeld."));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Textfeld löschen"));
  QCOMPARE(messages.shown[0].flags, MB_OKCANCEL | MB_ICONQUESTION);

  named<QPushButton>(&form, "DelFieldBtn")->click();
  QCOMPARE(fieldListOf(form)->rowCount(), 0);
  QCOMPARE(selectedRow(form), -1);
}

void TestFieldList::escapePressesDeleteOnlyOnTheFirstTab() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  MessageBoxRecorder messages;
  messages.answers = {IDCANCEL, IDCANCEL, IDCANCEL};
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  selectRow(form, 1);
  auto* list = named<QTreeView>(&form, "ListView1");
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Escape);
  QCOMPARE(messages.shown.size(), 1);
  auto* email = named<QLineEdit>(&form, "emailEd");
  email->setFocus();
  QTest::keyClick(email, Qt::Key_Escape);
  QCOMPARE(messages.shown.size(), 2);
  QCOMPARE(messages.shown[1].title, QStringLiteral("Textfeld löschen"));

  auto* tabs = named<QTabWidget>(&form, "PageControl2");
  tabs->setCurrentIndex(2);
  QTest::keyClick(named<QLineEdit>(&form, "NameED"), Qt::Key_Escape);
  tabs->setCurrentIndex(1);
  QTest::keyClick(tabs, Qt::Key_Escape);
  QCOMPARE(messages.shown.size(), 2);
  QCOMPARE(namesOf(form), std::string("AB"));
}

void TestFieldList::movesFollowTheSelectedRow() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  fillList(form, "ABC");
  selectRow(form, 1);
  named<QToolButton>(&form, "UpBtn")->click();
  QCOMPARE(namesOf(form), std::string("BAC"));
  QCOMPARE(selectedRow(form), 0);
  named<QToolButton>(&form, "UpBtn")->click();  // first row: nothing
  QCOMPARE(namesOf(form), std::string("BAC"));

  fieldListOf(form)->setFields(FieldList());
  fillList(form, "ABC");
  selectRow(form, 1);
  named<QToolButton>(&form, "DownBtn")->click();
  QCOMPARE(namesOf(form), std::string("ACB"));
  QCOMPARE(selectedRow(form), 2);
  named<QToolButton>(&form, "DownBtn")->click();  // last row: stays last and selected
  QCOMPARE(namesOf(form), std::string("ACB"));
  QCOMPARE(selectedRow(form), 2);
  QCOMPARE(named<QTreeView>(&form, "ListView1")->selectionModel()->selectedRows().size(), 1);
  QCOMPARE(fieldListOf(form)->fieldAt(2).Content, std::string("Content B"));
}

void TestFieldList::nameColumnIsEditedInPlaceUnfiltered() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  selectRow(form, 0);
  const QModelIndex name = fieldListOf(form)->index(0, FieldListModel::NameColumn);
  auto* list = named<QTreeView>(&form, "ListView1");
  list->edit(name);
  auto* editor = list->viewport()->findChild<QLineEdit*>();
  QVERIFY(editor);
  editor->selectAll();
  typeText(editor, QStringLiteral("1. Größe"));
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(fieldListOf(form)->fieldAt(0).InternalName, std::string("1. Gr\xF6\xDF"
                                                                       "e"));
  QCOMPARE(fieldListOf(form)->flags(fieldListOf(form)->index(0, 1)) & Qt::ItemIsEditable,
           Qt::ItemFlags());
}

void TestFieldList::doubleClickEditsTheSelectedRow() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  selectRow(form, 1);
  QString shownName;
  QVERIFY(whileModal(
      fixture.editor,
      [&] {
        auto* list = named<QTreeView>(&form, "ListView1");
        const QRect cell = list->visualRect(fieldListOf(form)->index(1, 2));
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
      },
      [&] {
        shownName = named<QLineEdit>(fixture.editor, "NameEd")->text();
        named<QPushButton>(fixture.editor, "CancelBtn")->click();
      }));
  QCOMPARE(shownName, QStringLiteral("B"));
}

// A double click on the name of the row that is already selected starts as a click that would
// rename the row in place; the double click must take its place, before and after the editor.
void TestFieldList::doubleClickOnTheSelectedNameOpensOnlyTheEditor() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowActive(fixture.form.get()));
  MessageBoxRecorder messages;
  messages.answers = {IDCANCEL};
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  selectRow(form, 1);
  auto* list = named<QTreeView>(&form, "ListView1");
  QWidget* viewport = list->viewport();
  const QPoint name =
      list->visualRect(fieldListOf(form)->index(1, FieldListModel::NameColumn)).center();
  const int longerThanADoubleClick = QApplication::doubleClickInterval() + 200;
  bool editorShown = false;
  QVERIFY(whileModal(
      fixture.editor,
      [&] {
        // The events of a real double click: press, release, press, double click,
        // and the last release once the editor has closed.
        QTest::mousePress(viewport, Qt::LeftButton, {}, name);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, name);
        QTest::mousePress(viewport, Qt::LeftButton, {}, name);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, name);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, name);
      },
      [&] {
        editorShown = fixture.editor->isVisible();
        QTest::qWait(longerThanADoubleClick);
        named<QPushButton>(fixture.editor, "CancelBtn")->click();
      }));
  QTest::qWait(longerThanADoubleClick);
  QVERIFY(editorShown);
  const auto inPlaceEditor = viewport->findChild<QLineEdit*>();
  QVERIFY(!inPlaceEditor || !inPlaceEditor->isVisible());
  // Escape goes to the window again: it asks before deleting the selected row.
  QTest::keyClick(list, Qt::Key_Escape);
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].title, QStringLiteral("Textfeld löschen"));
  QCOMPARE(namesOf(form), std::string("AB"));
}

}  // namespace vantrel::test
