#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "app/FieldListModel.h"
#include "widgets/SpinEdit.h"
#include "gui/EditFieldsFUnit.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"

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
  for (char c : names) form.fieldList()->appendField(row(std::string(1, c).c_str()));
}

std::string namesOf(TMainForm& form) {
  std::string names;
  for (const auto& field : form.fieldList()->fields().rows()) names += field.InternalName;
  return names;
}

// Fills the editor like a user and presses OK.
void typeIntoEditor(TEditFieldsForm* editor, const QString& name, int type, bool mandatory) {
  editor->NameEd->setText(name);
  editor->FieldTyp->setCurrentIndex(type);
  editor->PflichtCheck->setChecked(mandatory);
  QTest::mouseClick(editor->OkBtn, Qt::LeftButton);
}

}  // namespace

void TestFieldList::newFieldAppendsWhatTheEditorHolds() {
  MainFormFixture fixture;
  MessageRecorder messages;
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  form.selectRow(0);
  QVERIFY(whileModal(fixture.editor, [&] { form.NewFieldBtn->click(); },
                     [&] { typeIntoEditor(fixture.editor, QStringLiteral("Alter"), 1, true); }));
  QCOMPARE(form.fieldList()->rowCount(), 3);
  const FormField& added = form.fieldList()->fieldAt(2);
  QCOMPARE(added.InternalName, std::string("Alter"));
  QCOMPARE(added.TypeText, std::string("Mehrzeiliges Textfeld"));
  QCOMPARE(added.Width, std::string("40"));
  QCOMPARE(added.Height, std::string("5"));
  QCOMPARE(added.MaxChars, std::string("0"));
  QCOMPARE(added.OptionalFlag, std::string("Nein"));
  QCOMPARE(added.PreselectedFlag, std::string("Nein"));
  QCOMPARE(form.selectedRow(), 0);  // the new row is not selected
  QVERIFY(messages.shown.isEmpty());

  // The list view shows "Nein" under "Optional".
  const QModelIndex optional = form.fieldList()->index(2, FieldListModel::OptionalColumn);
  QCOMPARE(form.fieldList()->data(optional).toString(), QStringLiteral("Nein"));
  QCOMPARE(form.fieldList()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Höhe"));

  // A cancelled new field adds nothing.
  QVERIFY(whileModal(fixture.editor, [&] { form.NewFieldBtn->click(); },
                     [&] { fixture.editor->CancelBtn->click(); }));
  QCOMPARE(form.fieldList()->rowCount(), 3);
}

void TestFieldList::newFieldAfterACancelledEditShowsThatRowsValues() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  FormField stored = row("Farbe", "Ankreuzfeld");
  stored.OptionalFlag = "Nein";
  stored.PreselectedFlag = "Ja";
  form.fieldList()->appendField(stored);
  form.selectRow(0);
  QVERIFY(whileModal(fixture.editor, [&] { form.EditFieldBtn->click(); },
                     [&] { fixture.editor->CancelBtn->click(); }));
  QCOMPARE(form.fieldList()->fieldAt(0), stored);

  FieldEditorValues seen;
  QVERIFY(whileModal(fixture.editor, [&] { form.NewFieldBtn->click(); }, [&] {
    seen = fixture.editor->values();
    fixture.editor->CancelBtn->click();
  }));
  QCOMPARE(seen.name, std::string("Farbe"));
  QCOMPARE(seen.typeIndex, 3);
  QCOMPARE(seen.content, std::string("Content Farbe"));
  QVERIFY(seen.mandatory);
  QVERIFY(seen.preselected);
}

void TestFieldList::editWritesBackInPlaceAndKeepsTheSelection() {
  MainFormFixture fixture;
  MessageRecorder messages;
  TMainForm& form = *fixture.form;
  fillList(form, "ABC");
  form.selectRow(1);
  QVERIFY(whileModal(fixture.editor, [&] { form.EditFieldBtn->click(); }, [&] {
    QCOMPARE(fixture.editor->NameEd->text(), QStringLiteral("B"));
    fixture.editor->DescEd->setText(QStringLiteral("Größe in cm"));
    typeIntoEditor(fixture.editor, QStringLiteral("Groesse"), 0, false);
  }));
  QCOMPARE(namesOf(form), std::string("AGroesseC"));
  QCOMPARE(form.fieldList()->fieldAt(1).CaptionText, std::string("Gr\xF6\xDF" "e in cm"));
  QCOMPARE(form.selectedRow(), 1);
}

void TestFieldList::editOfAnUnknownTypeKeepsTheEditorsType() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  FormField odd = row("X", "Dropdown");
  odd.PreselectedFlag = "";
  form.fieldList()->appendField(odd);
  fixture.editor->FieldTyp->setCurrentIndex(6);
  form.selectRow(0);
  FieldEditorValues seen;
  QVERIFY(whileModal(fixture.editor, [&] { form.EditFieldBtn->click(); }, [&] {
    seen = fixture.editor->values();
    fixture.editor->CancelBtn->click();
  }));
  QCOMPARE(seen.typeIndex, 6);
  QVERIFY(seen.preselected);  // anything but "Nein" ticks the box
}

void TestFieldList::withoutSelectionNothingHappens() {
  MainFormFixture fixture;
  MessageRecorder messages;
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  bool editorShown = false;
  QTimer::singleShot(0, fixture.editor, [&] {
    editorShown = fixture.editor->isVisible();
    if (editorShown) fixture.editor->reject();
  });
  form.EditFieldBtn->click();
  form.DelFieldBtn->click();
  form.UpBtn->click();
  form.DownBtn->click();
  QTest::mouseDClick(form.ListView1->viewport(), Qt::LeftButton, {}, QPoint(5, 200));
  QApplication::processEvents();
  QVERIFY(!editorShown);
  QVERIFY(messages.shown.isEmpty());
  QCOMPARE(namesOf(form), std::string("AB"));
}

void TestFieldList::deleteAsksAndOnlyOkRemoves() {
  MainFormFixture fixture;
  MessageRecorder messages;
  TMainForm& form = *fixture.form;
  fillList(form, "A");
  form.selectRow(0);
  messages.answers = {IDCANCEL};
  form.DelFieldBtn->click();
  QCOMPARE(namesOf(form), std::string("A"));
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].text, QStringLiteral("Hiermit löschen Sie das Textfeld."));
  QCOMPARE(messages.shown[0].title, QStringLiteral("Textfeld löschen"));
  QCOMPARE(messages.shown[0].flags, MB_OKCANCEL | MB_ICONQUESTION);

  form.DelFieldBtn->click();
  QCOMPARE(form.fieldList()->rowCount(), 0);
  QCOMPARE(form.selectedRow(), -1);
}

void TestFieldList::escapePressesDeleteOnlyOnTheFirstTab() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  MessageRecorder messages;
  messages.answers = {IDCANCEL, IDCANCEL, IDCANCEL};
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  form.selectRow(1);
  form.ListView1->setFocus();
  QTest::keyClick(form.ListView1, Qt::Key_Escape);
  QCOMPARE(messages.shown.size(), 1);
  form.emailEd->setFocus();
  QTest::keyClick(form.emailEd, Qt::Key_Escape);
  QCOMPARE(messages.shown.size(), 2);
  QCOMPARE(messages.shown[1].title, QStringLiteral("Textfeld löschen"));

  form.PageControl2->setCurrentIndex(2);
  QTest::keyClick(form.NameED, Qt::Key_Escape);
  form.PageControl2->setCurrentIndex(1);
  QTest::keyClick(form.PageControl2, Qt::Key_Escape);
  QCOMPARE(messages.shown.size(), 2);
  QCOMPARE(namesOf(form), std::string("AB"));
}

void TestFieldList::movesFollowTheSelectedRow() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  fillList(form, "ABC");
  form.selectRow(1);
  form.UpBtn->click();
  QCOMPARE(namesOf(form), std::string("BAC"));
  QCOMPARE(form.selectedRow(), 0);
  form.UpBtn->click();  // first row: nothing
  QCOMPARE(namesOf(form), std::string("BAC"));

  form.fieldList()->setFields(FieldList());
  fillList(form, "ABC");
  form.selectRow(1);
  form.DownBtn->click();
  QCOMPARE(namesOf(form), std::string("ACB"));
  QCOMPARE(form.selectedRow(), 2);
  form.DownBtn->click();  // last row: stays last and selected
  QCOMPARE(namesOf(form), std::string("ACB"));
  QCOMPARE(form.selectedRow(), 2);
  QCOMPARE(form.ListView1->selectionModel()->selectedRows().size(), 1);
  QCOMPARE(form.fieldList()->fieldAt(2).Content, std::string("Content B"));
}

void TestFieldList::nameColumnIsEditedInPlaceUnfiltered() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  form.selectRow(0);
  const QModelIndex name = form.fieldList()->index(0, FieldListModel::NameColumn);
  form.ListView1->edit(name);
  auto* editor = form.ListView1->viewport()->findChild<QLineEdit*>();
  QVERIFY(editor);
  editor->selectAll();
  typeText(editor, QStringLiteral("1. Größe"));
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(form.fieldList()->fieldAt(0).InternalName, std::string("1. Gr\xF6\xDF" "e"));
  QCOMPARE(form.fieldList()->flags(form.fieldList()->index(0, 1)) & Qt::ItemIsEditable,
           Qt::ItemFlags());
}

void TestFieldList::doubleClickEditsTheSelectedRow() {
  MainFormFixture fixture;
  QVERIFY(QTest::qWaitForWindowExposed(fixture.form.get()));
  TMainForm& form = *fixture.form;
  fillList(form, "AB");
  form.selectRow(1);
  QString shownName;
  QVERIFY(whileModal(fixture.editor,
                     [&] {
                       const QRect cell = form.ListView1->visualRect(form.fieldList()->index(1, 2));
                       QTest::mouseDClick(form.ListView1->viewport(), Qt::LeftButton, {}, cell.center());
                     },
                     [&] {
                       shownName = fixture.editor->NameEd->text();
                       fixture.editor->CancelBtn->click();
                     }));
  QCOMPARE(shownName, QStringLiteral("B"));
}

}  // namespace vantrel::test
