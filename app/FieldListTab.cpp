// The tab "Formularfelder": the field list, its editor and the order of its rows.

#include <QItemSelectionModel>
#include <QTreeView>

#include "app/FieldListModel.h"
#include "app/FieldListView.h"
#include "app/MainFormUi.h"
#include "gui/EditFieldsFUnit.h"
#include "gui/MessageBox.h"

namespace vantrel {
namespace {

const QString kDeleteQuestion = QStringLiteral("Hiermit löschen Sie das Textfeld.");

}  // namespace

int TMainForm::selectedRow() const {
  const QModelIndexList rows = ui_->ListView1->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void TMainForm::selectRow(int row) {
  if (row < 0 || row >= fieldModel_->rowCount()) {
    ui_->ListView1->selectionModel()->clearSelection();
    return;
  }
  const QModelIndex index = fieldModel_->index(row, 0);
  ui_->ListView1->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ui_->ListView1->scrollTo(index);
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
  ui_->ListView1->selectionModel()->clearSelection();
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

}  // namespace vantrel
