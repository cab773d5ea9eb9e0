#pragma once
// "Einstellungen": the address of the user's own form-mail receiver, to which the pages the
// tool writes post their answers. Empty means the build's default address. OK takes only an
// address a page can use; otherwise a German message says why and the dialog stays open.

#include <QDialog>

class QLineEdit;

namespace vantrel {

class FormMailDialog : public QDialog {
  Q_OBJECT

 public:
  FormMailDialog(const QString& address, QWidget* parent = nullptr);

  // The address as accepted, trimmed of blanks at its ends.
  QString address() const;

  void accept() override;

 private:
  QLineEdit* AddressEd = nullptr;
};

}  // namespace vantrel
