#include "formmail/Delivery.h"

#include "formmail/Maildir.h"
#include "formmail/SmtpSender.h"

namespace vantrel::formmail {
namespace {

// Mails travel with CR LF; files in a Maildir use the local line end, as every reader expects.
std::string withUnixLineEnds(std::string_view mail) {
  std::string unix;
  unix.reserve(mail.size());
  for (std::size_t i = 0; i < mail.size(); ++i) {
    if (mail[i] == '\r' && i + 1 < mail.size() && mail[i + 1] == '\n') continue;
    unix += mail[i];
  }
  return unix;
}

class MaildirDelivery : public Delivery {
 public:
  explicit MaildirDelivery(std::filesystem::path maildir) : maildir_(std::move(maildir)) {}

  DeliveryResult deliver(const std::string&, const std::string&, std::string_view mail) override {
    const Result<std::filesystem::path> stored = storeInMaildir(maildir_, withUnixLineEnds(mail));
    if (!stored) return {DeliveryOutcome::Failed, stored.reason()};
    return {DeliveryOutcome::Delivered, stored.value().string()};
  }

 private:
  std::filesystem::path maildir_;
};

class SmtpDelivery : public Delivery {
 public:
  SmtpDelivery(SmtpSettings settings, std::filesystem::path spool)
      : settings_(std::move(settings)), spool_(std::move(spool)) {}

  DeliveryResult deliver(const std::string& sender, const std::string& recipient,
                         std::string_view mail) override {
    const SmtpResult sent = sendBySmtp(settings_, sender, recipient, mail);
    if (sent.verdict == SmtpVerdict::Sent)
      return {DeliveryOutcome::Delivered, "accepted by " + settings_.url};
    // A spooled mail would meet the same refusal at every flush, while the sender was told
    // it will follow.
    if (sent.verdict == SmtpVerdict::Permanent)
      return {DeliveryOutcome::Refused, "SMTP refused the mail for good (" + sent.reason + ")"};
    const std::string why = "SMTP failed (" + sent.reason + ")";
    if (spool_.empty()) return {DeliveryOutcome::Failed, why + ", no spool configured"};
    const Result<std::filesystem::path> stored = storeInMaildir(spool_, withUnixLineEnds(mail));
    if (!stored) return {DeliveryOutcome::Failed, why + ", spool failed too: " + stored.reason()};
    return {DeliveryOutcome::Spooled, why + ", kept in " + stored.value().string()};
  }

 private:
  SmtpSettings settings_;
  std::filesystem::path spool_;
};

}  // namespace

std::unique_ptr<Delivery> makeDelivery(const Config& config) {
  if (config.smtp.empty()) return std::make_unique<MaildirDelivery>(config.maildir);
  SmtpSettings settings;
  settings.url = config.smtp;
  settings.user = config.smtpUser;
  settings.password = config.smtpPassword;
  settings.starttls = config.starttls;
  return std::make_unique<SmtpDelivery>(settings, config.spool);
}

}  // namespace vantrel::formmail
