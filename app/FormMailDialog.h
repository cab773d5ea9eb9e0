#pragma once
// "Einstellungen": the address of the user's own form-mail receiver, to which the pages the
// tool writes post their answers. Empty means the build's default address. OK takes only an
// address a page can use; otherwise a German message says why and the dialog stays open.
// Below it "Programme signieren": the certificate built Windows programs are signed with (a
// PKCS#12 file or a PKCS#11 URI) and a time stamp server; OK wants a certificate when signing.

#include <QDialog>

#include "app/ToolSettings.h"

class QCheckBox;
class QLineEdit;

namespace vantrel {

class FormMailDialog : public QDialog {
  Q_OBJECT

 public:
  FormMailDialog(const QString& address, QWidget* parent = nullptr,
                 const ToolSigning& signing = {});

  // The address as accepted, trimmed of blanks at its ends.
  QString address() const;
  ToolSigning signing() const;

  void accept() override;

 private:
  QLineEdit* AddressEd = nullptr;
  QCheckBox* SignCheck = nullptr;
  QLineEdit* CertificateEd = nullptr;
  QLineEdit* TimestampEd = nullptr;
};

}  // namespace vantrel
