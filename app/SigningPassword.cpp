#include "app/SigningPassword.h"

#include <QInputDialog>
#include <QLineEdit>
#include <utility>

#include "app/Keyring.h"

namespace vantrel {
namespace {

const QString kKeyringService = QStringLiteral("Vantrel Formulare Signatur");

SigningPasswordHandler& handlerInPlace() {
  static SigningPasswordHandler handler;
  return handler;
}

}  // namespace

std::optional<QString> signingPassword(const QString& certificate, QWidget* parent) {
  if (handlerInPlace()) return handlerInPlace()(certificate);
  if (std::optional<QString> kept = keyring::password(kKeyringService, certificate)) return kept;
  bool ok = false;
  const QString typed = QInputDialog::getText(parent, QStringLiteral("Programm signieren"),
                                              QStringLiteral("Passwort für %1:").arg(certificate),
                                              QLineEdit::Password, QString(), &ok);
  if (!ok) return std::nullopt;
  // Without a keyring the password is asked for again next time.
  (void)keyring::keep(kKeyringService, certificate, typed);
  return typed;
}

void forgetSigningPassword(const QString& certificate) {
  if (handlerInPlace()) return;
  keyring::forget(kKeyringService, certificate);
}

SigningPasswordHandler setSigningPasswordHandler(SigningPasswordHandler handler) {
  return std::exchange(handlerInPlace(), std::move(handler));
}

}  // namespace vantrel
