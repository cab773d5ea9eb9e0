#pragma once
// Passwords kept in the desktop's keyring (the Secret Service, through QtKeychain), never in
// the INI file. Each user of the keyring has a service name of its own and keys within it.

#include <QString>
#include <optional>

namespace vantrel::keyring {

// The password kept under `key`; nothing when there is none or no keyring answers.
std::optional<QString> password(const QString& service, const QString& key);
// Keeps it; the keyring's words when that fails (no keyring running), else empty.
QString keep(const QString& service, const QString& key, const QString& password);
void forget(const QString& service, const QString& key);

}  // namespace vantrel::keyring
