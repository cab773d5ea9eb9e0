#pragma once
// Sends one mail through an SMTP server with libcurl.

#include <chrono>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace vantrel::formmail {

struct SmtpSettings {
  std::string url;  // smtp://host[:port] or smtps://host[:port]
  std::string user;
  std::string password;
  bool starttls = true;  // for smtp://: refuse to go on without TLS
  std::chrono::seconds connectTimeout{10};
  std::chrono::seconds totalTimeout{60};
};

// Call once per process before any thread sends (libcurl's global set-up is not thread-safe).
void initSmtp();

enum class SmtpVerdict {
  Sent,       // the server took the mail (250 after DATA)
  Temporary,  // no answer, a 4xx, a broken connection: trying again later may succeed
  Permanent,  // a 5xx: the server will refuse this mail again
};

// A struct rather than a Status: the callers tell a temporary failure (spool it, retry) from a
// permanent one (never retry), and both carry the reason for the operator's log.
struct [[nodiscard]] SmtpResult {
  SmtpVerdict verdict = SmtpVerdict::Temporary;
  std::string reason;  // libcurl's words on why not; empty when sent
};

SmtpResult sendBySmtp(const SmtpSettings& settings, const std::string& sender,
                      const std::string& recipient, std::string_view mail);

}  // namespace vantrel::formmail
