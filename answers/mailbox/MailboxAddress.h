#pragma once
// Where a mailbox is: `imaps://USER@HOST[:PORT]/FOLDER` (TLS from the first byte) or
// `imap://USER@HOST[:PORT]/FOLDER` (plain connect, then STARTTLS, which is required). The
// password is never part of it.

#include <string>
#include <string_view>

#include "base/Result.h"

namespace vantrel::answers {

struct MailboxAddress {
  bool tlsFromStart = true;  // imaps://, else imap:// with STARTTLS required
  std::string user;          // percent-decoded
  std::string host;          // a name, an IPv4 address or an IPv6 address without brackets
  int port = 993;
  std::string folder = "INBOX";  // percent-decoded, UTF-8

  // "imaps://user@host:port" without the folder: what failures name as the server.
  [[nodiscard]] std::string server() const;
  // The address as it was given, in its canonical form (percent-encoded where needed).
  [[nodiscard]] std::string text() const;
};

// A failure naming `text` when it is not such an address (no user, no host, a password in it,
// a port outside 1..65535, another scheme).
[[nodiscard]] Result<MailboxAddress> parseMailboxAddress(std::string_view text);

// True for text that starts like a mailbox address: how a command line tells it from a path.
[[nodiscard]] bool looksLikeMailboxAddress(std::string_view text);

}  // namespace vantrel::answers
