#pragma once
// The receiver's configuration: an INI file with one section [formmail].

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "formmail/FormParser.h"
#include "formmail/Limits.h"

namespace vantrel::formmail {

struct Config {
  // Whole addresses ("info@example.org") and whole domains ("@example.org"), lower case.
  std::vector<std::string> allow;
  std::string sender;
  std::filesystem::path maildir;  // delivery when no smtp is set
  std::string smtp;               // smtp:// or smtps:// URL; when set, mail goes out this way
  std::string smtpUser;
  std::string smtpPassword;
  bool starttls = true;
  std::filesystem::path spool;  // Maildir that keeps what the SMTP server refused
  std::size_t maxBody = kMaxBody.byDefault;
  FormLimits limits;
  unsigned ratePerMinute = kRatePerMinute.byDefault;  // 0: no rate limit
  std::filesystem::path rateState;                    // shared counter file of the CGI program
  // The standalone server's; the CGI program leaves these to the web server.
  unsigned headerTimeoutSeconds = kHeaderTimeout.byDefault;
  unsigned requestTimeoutSeconds = kRequestTimeout.byDefault;
  std::size_t bodyMemory = kBodyMemory.byDefault;
  std::string honeypot;
  std::string successRedirect;
};

// A failure's reason is English, for the operator's log: "line 4: unknown key 'alow'".
Result<Config> parseConfig(std::string_view text);
Result<Config> loadConfig(const std::filesystem::path& path);

// A plain mailbox address local@domain with no blanks, brackets, quotes or control
// characters: the only form that is ever written into a header or an SMTP envelope.
[[nodiscard]] bool isPlainAddress(std::string_view address);

// Whether the allow list names the address itself or its whole domain.
[[nodiscard]] bool isAllowedRecipient(const Config& config, std::string_view address);

}  // namespace vantrel::formmail
