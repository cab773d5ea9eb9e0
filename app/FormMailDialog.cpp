#include "app/FormMailDialog.h"

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

FormMailDialog::FormMailDialog(const QString& address, QWidget* parent) : QDialog(parent) {
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
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OkBtn"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("CancelBtn"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
  connect(buttons, &QDialogButtonBox::accepted, this, &FormMailDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &FormMailDialog::reject);
  column->addWidget(label);
  column->addWidget(AddressEd);
  column->addWidget(buttons);
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
  QDialog::accept();
}

}  // namespace vantrel
