#include "app/SigningPassword.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QInputDialog>
#include <QLineEdit>

namespace vantrel {
namespace {

const QString kKeyringService = QStringLiteral("Vantrel Formulare Signatur");

SigningPasswordHandler& handlerInPlace() {
  static SigningPasswordHandler handler;
  return handler;
}

// Runs a keyring job to its end; the keyring answers through the event loop.
void runToEnd(QKeychain::Job& job) {
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  job.setAutoDelete(false);
  job.start();
  loop.exec();
}

std::optional<QString> keptPassword(const QString& certificate) {
  QKeychain::ReadPasswordJob job(kKeyringService);
  job.setKey(certificate);
  runToEnd(job);
  if (job.error() != QKeychain::NoError) return std::nullopt;
  return job.textData();
}

void keepPassword(const QString& certificate, const QString& password) {
  QKeychain::WritePasswordJob job(kKeyringService);
  job.setKey(certificate);
  job.setTextData(password);
  runToEnd(job);  // without a keyring the password is asked for again next time
}

}  // namespace

std::optional<QString> signingPassword(const QString& certificate, QWidget* parent) {
  if (handlerInPlace()) return handlerInPlace()(certificate);
  if (std::optional<QString> kept = keptPassword(certificate)) return kept;
  bool ok = false;
  const QString typed = QInputDialog::getText(parent, QStringLiteral("Programm signieren"),
                                              QStringLiteral("Passwort für %1:").arg(certificate),
                                              QLineEdit::Password, QString(), &ok);
  if (!ok) return std::nullopt;
  keepPassword(certificate, typed);
  return typed;
}

void forgetSigningPassword(const QString& certificate) {
  if (handlerInPlace()) return;
  QKeychain::DeletePasswordJob job(kKeyringService);
  job.setKey(certificate);
  runToEnd(job);
}

SigningPasswordHandler setSigningPasswordHandler(SigningPasswordHandler handler) {
  return std::exchange(handlerInPlace(), std::move(handler));
}

}  // namespace vantrel
