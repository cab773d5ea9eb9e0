#pragma once
// What "Auswertung" needs around a mailbox on a server: the last mailbox opened, kept in the
// INI without its password; the password in the desktop's keyring (Secret Service, through
// QtKeychain) when the user asks to have it remembered, never in the INI; and the German text
// of a failure, which for a refused certificate shows what the server presented.

#include <QString>
#include <filesystem>
#include <optional>
#include <string>

#include "answers/mailbox/MailboxAddress.h"
#include "base/Failure.h"

namespace vantrel {

struct MailboxChoice {
  answers::MailboxAddress address;
  std::string password;
  std::filesystem::path caFile;  // empty: the system's certificates
  bool rememberPassword = false;
};

// The last mailbox opened, without password; nullopt when none was.
std::optional<MailboxChoice> readLastMailbox(const QString& iniFile);
void writeLastMailbox(const QString& iniFile, const MailboxChoice& choice);

// The password the keyring keeps for the mailbox's server and user, if any.
std::optional<std::string> passwordFromKeyring(const answers::MailboxAddress& address);
// Stores or removes it; the keyring's words when that fails (no keyring running), else empty.
QString storePasswordInKeyring(const answers::MailboxAddress& address, const std::string& password);
void forgetPasswordInKeyring(const answers::MailboxAddress& address);

// The German message of a failure to read the mailbox. A refused certificate is shown with its
// issuer and fingerprint, fetched again without logging in.
QString mailboxFailureText(const Failure& failure, const MailboxChoice& choice);

}  // namespace vantrel
