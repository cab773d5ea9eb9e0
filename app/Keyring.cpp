#include "app/Keyring.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>

namespace vantrel::keyring {
namespace {

// Runs a keyring job to its end; the keyring answers through the event loop.
void runToEnd(QKeychain::Job& job, const QString& key) {
  job.setAutoDelete(false);
  job.setKey(key);
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  job.start();
  loop.exec();
}

}  // namespace

std::optional<QString> password(const QString& service, const QString& key) {
  QKeychain::ReadPasswordJob job(service);
  runToEnd(job, key);
  if (job.error() != QKeychain::NoError) return std::nullopt;
  return job.textData();
}

QString keep(const QString& service, const QString& key, const QString& password) {
  QKeychain::WritePasswordJob job(service);
  job.setTextData(password);
  runToEnd(job, key);
  return job.error() == QKeychain::NoError ? QString() : job.errorString();
}

void forget(const QString& service, const QString& key) {
  QKeychain::DeletePasswordJob job(service);
  runToEnd(job, key);
}

}  // namespace vantrel::keyring
