#pragma once
// TEditFieldsForm: the modal dialog in which one form field is entered or changed. One
// instance lives as long as the program and keeps its controls' values between uses.

#include <QDialog>

#include "project/FormField.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vantrel {

class SpinEdit;
class TBitBtnXP;

class TEditFieldsForm : public QDialog {
  Q_OBJECT

 public:
  explicit TEditFieldsForm(QWidget* parent = nullptr);

  // The controls as plain values, and back.
  FieldEditorValues values() const;
  void setValues(const FieldEditorValues& values);
  int selectedTypeIndex() const;

 public slots:
  void FormCreate();
  void OkBtnClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildControls();
  void setTabOrder();

  // The controls, reached from outside by their object names only.
  QLineEdit* NameEd = nullptr;
  QComboBox* FieldTyp = nullptr;
  QLineEdit* DescEd = nullptr;
  QLineEdit* ValueEd = nullptr;
  SpinEdit* BreitEd = nullptr;
  SpinEdit* HochEd = nullptr;
  SpinEdit* MaxCharEd = nullptr;
  QCheckBox* PflichtCheck = nullptr;
  QCheckBox* PreselectedCheck = nullptr;
  TBitBtnXP* OkBtn = nullptr;
  TBitBtnXP* CancelBtn = nullptr;
};

}  // namespace vantrel
