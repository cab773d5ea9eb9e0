#include "app/FormMailDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/UserMessages.h"
#include "gui/MessageBox.h"
#include "project/FormMailAddress.h"
#include "widgets/TextEdge.h"

namespace vantrel {

namespace {

QLineEdit* labelledEdit(QVBoxLayout* column, const QString& caption, const QString& name,
                        const QString& text, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  label->setBuddy(edit);
  column->addWidget(label);
  column->addWidget(edit);
  return edit;
}

}  // namespace

FormMailDialog::FormMailDialog(const QString& address, QWidget* parent, const ToolSigning& signing)
    : QDialog(parent) {
  setObjectName(QStringLiteral("FormMailDialog"));
  setWindowTitle(QStringLiteral("Einstellungen"));
  auto* column = new QVBoxLayout(this);
  // One line: the default address is never broken in two; the dialog is as wide as it needs.
  auto* label = new QLabel(QStringLiteral("&Adresse Ihres Formular-Empfängers (leer: %1):")
                               .arg(fromModel(FormMailAddress().text())),
                           this);
  label->setObjectName(QStringLiteral("AddressLabel"));
  AddressEd = new QLineEdit(address, this);
  AddressEd->setObjectName(QStringLiteral("AddressEd"));
  AddressEd->setMinimumWidth(420);
  restrictToWin1252(AddressEd);
  label->setBuddy(AddressEd);
  column->addWidget(label);
  column->addWidget(AddressEd);
  SignCheck = new QCheckBox(QStringLiteral("Programme &signieren"), this);
  SignCheck->setObjectName(QStringLiteral("SignCheck"));
  SignCheck->setChecked(signing.enabled);
  column->addWidget(SignCheck);
  CertificateEd =
      labelledEdit(column, QStringLiteral("&Zertifikat (PKCS#12-Datei oder PKCS#11-URI):"),
                   QStringLiteral("CertificateEd"), signing.certificate, this);
  TimestampEd = labelledEdit(column, QStringLiteral("Zeitst&empel-Server (leer: keiner):"),
                             QStringLiteral("TimestampEd"), signing.timestampUrl, this);
  // Created last, so that Tab reaches the buttons after every control above them.
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OkBtn"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("CancelBtn"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
  connect(buttons, &QDialogButtonBox::accepted, this, &FormMailDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &FormMailDialog::reject);
  column->addWidget(buttons);
}

ToolSigning FormMailDialog::signing() const {
  return {SignCheck->isChecked(), CertificateEd->text().trimmed(), TimestampEd->text().trimmed()};
}

QString FormMailDialog::address() const { return AddressEd->text().trimmed(); }

void FormMailDialog::accept() {
  // Empty stands for the default address.
  const Result<FormMailAddress> typed = FormMailAddress::parse(toModel(address()));
  if (!typed) {
    messageBox(QString::fromStdString(germanMessage(typed.failure())), QStringLiteral("Fehler"),
               MB_ICONERROR);
    AddressEd->setFocus();
    return;
  }
  if (SignCheck->isChecked() && CertificateEd->text().trimmed().isEmpty()) {
    messageBox(QStringLiteral("Zum Signieren brauchen Sie ein Zertifikat: eine PKCS#12-Datei oder "
                              "die PKCS#11-URI eines Zertifikats auf einem Token."),
               QStringLiteral("Fehler"), MB_ICONERROR);
    CertificateEd->setFocus();
    return;
  }
  QDialog::accept();
}

}  // namespace vantrel
