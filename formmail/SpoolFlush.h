#pragma once
// Sends the mails that wait in the spool Maildir because the SMTP server had failed. Run by
// the operator (`vantrel-formmail --flush-spool --config FILE`, e.g. from a timer); a mail
// leaves the spool once the server has accepted it, or refused it for good (it then waits in
// failed/ for the operator).

#include <string>
#include <vector>

#include "formmail/Config.h"

namespace vantrel::formmail {

struct FlushReport {
  std::size_t sent = 0;
  std::vector<std::string> problems;  // one line per mail that stays, for the operator
  // One line per mail the server refused for good: moved to the spool's failed/ folder and
  // never tried again.
  std::vector<std::string> refused;
};

[[nodiscard]] FlushReport flushSpool(const Config& config);

}  // namespace vantrel::formmail
