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

// Success once the server took the mail (250 after DATA); otherwise libcurl's words on why not.
Status sendBySmtp(const SmtpSettings& settings, const std::string& sender,
                  const std::string& recipient, std::string_view mail);

}  // namespace vantrel::formmail
