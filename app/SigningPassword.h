#pragma once
// The password of the certificate the tool signs with: from the desktop's keyring (QtKeychain)
// when it holds one for this certificate, otherwise asked for once and then kept there. It is
// never written to the INI file and never put on a command line.
// Tests swap the whole lookup for a handler that answers without keyring or dialog.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace vantrel {

// Nothing when the user cancelled the question.
using SigningPasswordHandler = std::function<std::optional<QString>(const QString& certificate)>;

std::optional<QString> signingPassword(const QString& certificate, QWidget* parent);

// Forgets the kept password, after the signer refused it, so that the next build asks again.
void forgetSigningPassword(const QString& certificate);

// Replaces the lookup; returns the one in place. An empty handler restores keyring and dialog.
SigningPasswordHandler setSigningPasswordHandler(SigningPasswordHandler handler);

}  // namespace vantrel
