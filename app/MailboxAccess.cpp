#include "app/MailboxAccess.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QSettings>

#include "answers/mailbox/ImapConnection.h"
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

// Runs a keyring job to its end; the jobs report through the event loop.
void runToEnd(QKeychain::Job& job) {
  job.setAutoDelete(false);
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  job.start();
  loop.exec();
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
  QKeychain::ReadPasswordJob job(kKeyringService);
  job.setKey(keyringKey(address));
  runToEnd(job);
  if (job.error() != QKeychain::NoError) return std::nullopt;
  return job.textData().toStdString();
}

QString storePasswordInKeyring(const answers::MailboxAddress& address,
                               const std::string& password) {
  QKeychain::WritePasswordJob job(kKeyringService);
  job.setKey(keyringKey(address));
  job.setTextData(QString::fromStdString(password));
  runToEnd(job);
  return job.error() == QKeychain::NoError ? QString() : job.errorString();
}

void forgetPasswordInKeyring(const answers::MailboxAddress& address) {
  QKeychain::DeletePasswordJob job(kKeyringService);
  job.setKey(keyringKey(address));
  runToEnd(job);
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
