#pragma once
// "Postfach öffnen": server, port, the kind of encryption, user name, password with "Passwort
// merken", the folder (typed, or chosen from the list the server gives once the rest is filled
// in) and, for a server whose certificate the system does not trust, a certificate file.
// OK takes only a choice that names server, user and password; otherwise a German message says
// what is missing and the dialog stays open.

#include <QDialog>

#include "app/MailboxAccess.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace vantrel {

class MailboxDialog : public QDialog {
  Q_OBJECT

 public:
  // `initial` fills the fields: the last mailbox, or the defaults of a new one.
  explicit MailboxDialog(const MailboxChoice& initial, QWidget* parent = nullptr);

  [[nodiscard]] MailboxChoice choice() const;
  void accept() override;

 private slots:
  void LoadFoldersBtnClick();
  void CaFileBtnClick();
  void SecurityChanged(int index);

 private:
  [[nodiscard]] QString missingEntry() const;

  QLineEdit* ServerEd = nullptr;
  QComboBox* SecurityCombo = nullptr;
  QSpinBox* PortSpin = nullptr;
  QLineEdit* UserEd = nullptr;
  QLineEdit* PasswordEd = nullptr;
  QCheckBox* RememberCheck = nullptr;
  QComboBox* FolderCombo = nullptr;
  QLineEdit* CaFileEd = nullptr;
};

}  // namespace vantrel
