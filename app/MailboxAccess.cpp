#include "app/MailboxAccess.h"

#include <QSettings>

#include "answers/mailbox/ImapConnection.h"
#include "app/Keyring.h"
#include "app/WindowPlacement.h"
#include "base/FailureKinds.h"
#include "base/UserMessages.h"

namespace vantrel {
namespace {

const QString kMailboxKey = QStringLiteral("TAnswersForm/Postfach");
const QString kCaFileKey = QStringLiteral("TAnswersForm/Zertifikatsdatei");
const QString kKeyringService = QStringLiteral("vantrel-formulare");

// One entry per server and user: the folders of a mailbox share its password.
QString keyringKey(const answers::MailboxAddress& address) {
  return QString::fromStdString(address.server());
}

}  // namespace

std::optional<MailboxChoice> readLastMailbox(const QString& iniFile) {
  if (iniFile.isEmpty()) return std::nullopt;
  const QSettings ini(iniFile, plainIniFormat());
  const Result<answers::MailboxAddress> address =
      answers::parseMailboxAddress(ini.value(kMailboxKey).toString().toStdString());
  if (!address) return std::nullopt;
  MailboxChoice choice;
  choice.address = address.value();
  choice.caFile = ini.value(kCaFileKey).toString().toStdString();
  return choice;
}

void writeLastMailbox(const QString& iniFile, const MailboxChoice& choice) {
  if (iniFile.isEmpty()) return;
  QSettings ini(iniFile, plainIniFormat());
  ini.setValue(kMailboxKey, QString::fromStdString(choice.address.text()));
  ini.setValue(kCaFileKey, QString::fromStdString(choice.caFile.string()));
  ini.sync();
}

std::optional<std::string> passwordFromKeyring(const answers::MailboxAddress& address) {
  const std::optional<QString> kept = keyring::password(kKeyringService, keyringKey(address));
  if (!kept) return std::nullopt;
  return kept->toStdString();
}

QString storePasswordInKeyring(const answers::MailboxAddress& address,
                               const std::string& password) {
  return keyring::keep(kKeyringService, keyringKey(address), QString::fromStdString(password));
}

void forgetPasswordInKeyring(const answers::MailboxAddress& address) {
  keyring::forget(kKeyringService, keyringKey(address));
}

QString mailboxFailureText(const Failure& failure, const MailboxChoice& choice) {
  QString text = QString::fromStdString(germanMessage(failure));
  if (!failure.is(MailboxFailure::CertificateRefused)) return text;
  answers::ImapConnectOptions options;
  options.timeout = std::chrono::seconds(20);
  const Result<answers::ServerCertificate> shown =
      answers::peekServerCertificate(choice.address, options);
  if (!shown) return text;
  return text + QStringLiteral(
                    "\n\nAusgestellt für: %1\nAusgestellt von: %2\n"
                    "SHA-256-Fingerabdruck: %3\n\nWenn Sie dem Zertifikat vertrauen, "
                    "wählen Sie unter \"Postfach öffnen...\" seine Zertifikatsdatei.")
                    .arg(QString::fromStdString(shown.value().subject),
                         QString::fromStdString(shown.value().issuer),
                         QString::fromStdString(shown.value().sha256));
}

}  // namespace vantrel
