#pragma once
// Where a composed mail goes: a Maildir, or an SMTP server with a spool Maildir behind it.

#include <memory>
#include <string>
#include <string_view>

#include "formmail/Config.h"

namespace vantrel::formmail {

enum class DeliveryOutcome {
  Delivered,  // stored in the Maildir, or accepted by the SMTP server
  Spooled,    // the SMTP server failed; the mail waits in the spool Maildir
  Failed,     // nowhere: the post must not be answered as a success
  Refused,    // the SMTP server refused the mail for good: neither kept nor retried
};

// A struct rather than a Result: "spooled" is neither success nor failure (the post gets a page
// of its own), and the detail goes to the operator's log whatever the outcome.
struct [[nodiscard]] DeliveryResult {
  DeliveryOutcome outcome = DeliveryOutcome::Failed;
  std::string detail;  // for the operator's log
};

class Delivery {
 public:
  virtual ~Delivery() = default;
  virtual DeliveryResult deliver(const std::string& sender, const std::string& recipient,
                                 std::string_view mail) = 0;
};

std::unique_ptr<Delivery> makeDelivery(const Config& config);

}  // namespace vantrel::formmail
