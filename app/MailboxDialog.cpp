#include "app/MailboxDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "answers/mailbox/MailboxReader.h"
#include "app/LocalPath.h"
#include "gui/FailureReport.h"
#include "gui/FileDialogs.h"
#include "gui/MessageBox.h"

namespace vantrel {
namespace {

constexpr int kImapsPort = 993;
constexpr int kImapPort = 143;
constexpr int kTlsFromStart = 0;  // the index of "TLS" in the encryption list

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

MailboxDialog::MailboxDialog(const MailboxChoice& initial, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("MailboxDialog"));
  setWindowTitle(QStringLiteral("Postfach öffnen"));
  auto* form = new QFormLayout();
  ServerEd = named(new QLineEdit(QString::fromStdString(initial.address.host), this), "ServerEd");
  SecurityCombo = named(new QComboBox(this), "SecurityCombo");
  SecurityCombo->addItems({QStringLiteral("TLS (imaps)"), QStringLiteral("STARTTLS (imap)")});
  SecurityCombo->setCurrentIndex(initial.address.tlsFromStart ? kTlsFromStart : 1);
  PortSpin = named(new QSpinBox(this), "PortSpin");
  PortSpin->setRange(1, 65535);
  PortSpin->setValue(initial.address.port);
  UserEd = named(new QLineEdit(QString::fromStdString(initial.address.user), this), "UserEd");
  PasswordEd = named(new QLineEdit(QString::fromStdString(initial.password), this), "PasswordEd");
  PasswordEd->setEchoMode(QLineEdit::Password);
  RememberCheck = named(new QCheckBox(QStringLiteral("Passwort &merken"), this), "RememberCheck");
  RememberCheck->setChecked(initial.rememberPassword);
  FolderCombo = named(new QComboBox(this), "FolderCombo");
  FolderCombo->setEditable(true);
  FolderCombo->setEditText(QString::fromStdString(initial.address.folder));
  auto* loadFolders =
      named(new QPushButton(QStringLiteral("Ordner &laden"), this), "LoadFoldersBtn");
  loadFolders->setAutoDefault(false);
  CaFileEd =
      named(new QLineEdit(QString::fromStdString(initial.caFile.string()), this), "CaFileEd");
  CaFileEd->setPlaceholderText(QStringLiteral("Zertifikate des Systems"));
  auto* chooseCaFile =
      named(new QPushButton(QStringLiteral("Datei &wählen..."), this), "CaFileBtn");
  chooseCaFile->setAutoDefault(false);

  auto* folderRow = new QHBoxLayout();
  folderRow->addWidget(FolderCombo, 1);
  folderRow->addWidget(loadFolders);
  auto* caFileRow = new QHBoxLayout();
  caFileRow->addWidget(CaFileEd, 1);
  caFileRow->addWidget(chooseCaFile);
  form->addRow(QStringLiteral("&Server:"), ServerEd);
  form->addRow(QStringLiteral("&Verschlüsselung:"), SecurityCombo);
  form->addRow(QStringLiteral("Po&rt:"), PortSpin);
  form->addRow(QStringLiteral("&Benutzername:"), UserEd);
  form->addRow(QStringLiteral("&Passwort:"), PasswordEd);
  form->addRow(QString(), RememberCheck);
  form->addRow(QStringLiteral("&Ordner:"), folderRow);
  form->addRow(QStringLiteral("&Zertifikatsdatei:"), caFileRow);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("MailboxButtons"));
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Öffnen"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
  auto* column = new QVBoxLayout(this);
  column->addLayout(form);
  column->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &MailboxDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &MailboxDialog::reject);
  connectHandler(loadFolders, &QPushButton::clicked, this, &MailboxDialog::LoadFoldersBtnClick);
  connectHandler(chooseCaFile, &QPushButton::clicked, this, &MailboxDialog::CaFileBtnClick);
  connectHandler(SecurityCombo, &QComboBox::currentIndexChanged, this,
                 &MailboxDialog::SecurityChanged);
}

MailboxChoice MailboxDialog::choice() const {
  MailboxChoice chosen;
  chosen.address.tlsFromStart = SecurityCombo->currentIndex() == kTlsFromStart;
  chosen.address.host = ServerEd->text().trimmed().toStdString();
  chosen.address.port = PortSpin->value();
  chosen.address.user = UserEd->text().trimmed().toStdString();
  const QString folder = FolderCombo->currentText().trimmed();
  chosen.address.folder = folder.isEmpty() ? std::string("INBOX") : folder.toStdString();
  chosen.password = PasswordEd->text().toStdString();
  chosen.caFile = pathOf(CaFileEd->text().trimmed());
  chosen.rememberPassword = RememberCheck->isChecked();
  return chosen;
}

QString MailboxDialog::missingEntry() const {
  if (ServerEd->text().trimmed().isEmpty()) return QStringLiteral("Bitte den Server angeben.");
  if (UserEd->text().trimmed().isEmpty()) return QStringLiteral("Bitte den Benutzernamen angeben.");
  if (PasswordEd->text().isEmpty()) return QStringLiteral("Bitte das Passwort angeben.");
  return QString();
}

void MailboxDialog::accept() {
  const QString missing = missingEntry();
  if (!missing.isEmpty()) {
    messageBox(missing, QStringLiteral("Postfach öffnen"), MB_OK | MB_ICONWARNING);
    return;
  }
  QDialog::accept();
}

void MailboxDialog::SecurityChanged(int index) {
  // The other kind's usual port follows; a port of the user's own stays.
  const int usual = index == kTlsFromStart ? kImapsPort : kImapPort;
  if (PortSpin->value() == kImapsPort || PortSpin->value() == kImapPort) PortSpin->setValue(usual);
}

void MailboxDialog::LoadFoldersBtnClick() {
  const QString missing = missingEntry();
  if (!missing.isEmpty()) {
    messageBox(missing, QStringLiteral("Postfach öffnen"), MB_OK | MB_ICONWARNING);
    return;
  }
  const MailboxChoice chosen = choice();
  answers::ImapConnectOptions options;
  options.caFile = chosen.caFile;
  options.timeout = std::chrono::seconds(20);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const Result<std::vector<std::string>> folders =
      answers::listMailboxFolders(chosen.address, chosen.password, options);
  QApplication::restoreOverrideCursor();
  if (!folders) {
    showFailure(mailboxFailureText(folders.failure(), chosen), FailureReporter::Command);
    return;
  }
  const QString typed = FolderCombo->currentText();
  FolderCombo->clear();
  for (const std::string& folder : folders.value())
    FolderCombo->addItem(QString::fromStdString(folder));
  FolderCombo->setEditText(typed);
}

void MailboxDialog::CaFileBtnClick() {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Open;
  request.parent = this;
  request.title = QStringLiteral("Zertifikatsdatei wählen");
  request.filter = QStringLiteral("Zertifikate (*.pem *.crt *.cer);;Alle Dateien (*)");
  const auto chosen = chooseFile(request);
  if (chosen) CaFileEd->setText(*chosen);
}

}  // namespace vantrel
