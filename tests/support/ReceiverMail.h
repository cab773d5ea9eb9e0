#pragma once
// A mail as the receiver composes it for the form "Anmeldung" (required field "Name"), dated and
// named after its number so that each one is a mail of its own.

#include <chrono>
#include <string>

#include "formmail/MailMessage.h"

namespace vantrel::test {

inline std::string receiverMail(int number, const formmail::PostedFields& fields) {
  formmail::MailEnvelope envelope;
  envelope.sender = "formmail@example.org";
  envelope.recipient = "info@example.org";
  envelope.hostName = "host.example.org";
  envelope.date = std::chrono::system_clock::from_time_t(1'796'664'005 + number);
  envelope.uniqueId = "antwort-" + std::to_string(number);
  return formmail::composeMail(envelope, "Anmeldung", fields, false, "Name");
}

}  // namespace vantrel::test
